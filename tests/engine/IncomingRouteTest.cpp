#include "messaging/IncomingRouteUnit.h"

#include "messaging/ChatServiceUnit.h"
#include "node/LogRecorderUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "support/CaseName.h"
#include "support/ChatFixtures.h"
#include "support/ServerFixture.h"
#include "text/MsgLangUnit.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

TFilesArrival Arrival() {
    TFilesArrival arrival;
    arrival.Data = IncomingRecord();
    arrival.SenderFolder = QStringLiteral("/rx/");
    arrival.ReceivedNames = {QStringLiteral("a")};
    return arrival;
}

// The desktop's side of the routing, recorded.
struct TRecorder {
    QList<TLogRecord> Logged; // by a log recorder on the same chat service
    QList<TBroadcastData> ToChat;
    QList<TQueueItem> PoppedUp;
    QList<QPair<TOnlineNotify, TRequestDialogMode>> Requests;
    int Sounds = 0;
    bool ChatWindowOpen = false;
    TIncomingSettings Settings;

    TIncomingActions Actions() {
        TIncomingActions a;
        a.ShowInChatWindow = [this](const TBroadcastData& r) {
            if (ChatWindowOpen) ToChat << r;
            return ChatWindowOpen;
        };
        a.PopUp = [this](const TQueueItem& item) { PoppedUp << item; };
        a.OpenRequest = [this](const TOnlineNotify& n, TRequestDialogMode mode) { Requests << qMakePair(n, mode); };
        a.PlaySound = [this] { ++Sounds; };
        return a;
    }
};

class RouteFixture : public ::testing::Test {
protected:
    TServerQueue Queue;
    TRecorder Rec;
    TIncomingRouter Router{Queue, Rec.Actions(), [this] { return Rec.Settings; }};
};

// ---- decisions: open chat window / pop-up setting / queue ----

enum class TArrival { Message, Refusal, Broadcast, Files, FilesToDialog, Offer };

struct TRouteCase {
    const char* Name;
    TArrival Arrival;
    bool ChatWindowOpen;
    bool AutoPopup;
    bool PlaySound;
    TDelivery Delivery;
    int Queued;
    int PoppedUp;
    int ToChat;
    int Sounds;
};
void PrintTo(const TRouteCase& c, std::ostream* os) { *os << c.Name; }

class RouteDecisions : public RouteFixture, public ::testing::WithParamInterface<TRouteCase> {};

TEST_P(RouteDecisions, DeliversByTheRule) {
    const TRouteCase& c = GetParam();
    Rec.ChatWindowOpen = c.ChatWindowOpen;
    Rec.Settings = {c.AutoPopup, c.PlaySound};
    TDelivery delivery{};
    switch (c.Arrival) {
    case TArrival::Message: delivery = Router.MessageArrived(IncomingRecord(), TChatKind::Message); break;
    case TArrival::Refusal: delivery = Router.MessageArrived(IncomingRecord(), TChatKind::Refusal); break;
    case TArrival::Broadcast: delivery = Router.BroadcastArrived(IncomingRecord()); break;
    case TArrival::Files:
    case TArrival::FilesToDialog:
        delivery = Router.FilesArrived(Arrival(), c.Arrival == TArrival::FilesToDialog);
        break;
    case TArrival::Offer: {
        TOnlineNotify offer;
        offer.SenderHandle = 4;
        offer.NickName = QStringLiteral("Ann");
        delivery = Router.OfferArrived(offer);
        break;
    }
    }
    EXPECT_EQ(delivery, c.Delivery);
    EXPECT_EQ(Queue.Count(), c.Queued);
    EXPECT_EQ(Rec.PoppedUp.size(), c.PoppedUp);
    EXPECT_EQ(Rec.ToChat.size(), c.ToChat);
    EXPECT_EQ(Rec.Sounds, c.Sounds);
    if (c.Queued == 1) {
        const TQueueItemKind expected = c.Arrival == TArrival::Broadcast ? qiBroadcast
                                        : c.Arrival == TArrival::Offer   ? qiFileRequest
                                        : c.Arrival == TArrival::Files   ? qiFiles
                                                                         : qiMessage;
        EXPECT_EQ(KindOf(*Queue.Head()), expected);
    }
    if (c.PoppedUp == 1 && c.Arrival == TArrival::Files) {
        const auto* files = std::get_if<TQueuedFiles>(&Rec.PoppedUp[0]);
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->Arrival.SenderFolder, QStringLiteral("/rx/"));
        EXPECT_EQ(files->Arrival.ReceivedNames, QStringList{QStringLiteral("a")});
    }
}

constexpr bool Y = true;
constexpr bool N = false;

INSTANTIATE_TEST_SUITE_P(
    Table, RouteDecisions,
    ::testing::Values(
        // A chat window takes a message whatever the settings; nothing queued, no sound.
        TRouteCase{"MessageChatOpen", TArrival::Message, Y, N, Y, TDelivery::ChatWindow, 0, 0, 1, 0},
        TRouteCase{"MessageChatOpenPopup", TArrival::Message, Y, Y, Y, TDelivery::ChatWindow, 0, 0, 1, 0},
        TRouteCase{"MessagePopup", TArrival::Message, N, Y, Y, TDelivery::PopUp, 0, 1, 0, 0},
        TRouteCase{"MessageQueued", TArrival::Message, N, N, Y, TDelivery::Queue, 1, 0, 0, 1},
        TRouteCase{"MessageQueuedSilently", TArrival::Message, N, N, N, TDelivery::Queue, 1, 0, 0, 0},
        // A refusal goes the same way as a message.
        TRouteCase{"RefusalChatOpen", TArrival::Refusal, Y, N, Y, TDelivery::ChatWindow, 0, 0, 1, 0},
        TRouteCase{"RefusalQueued", TArrival::Refusal, N, N, Y, TDelivery::Queue, 1, 0, 0, 1},
        // A broadcast never goes into a chat window.
        TRouteCase{"BroadcastChatOpen", TArrival::Broadcast, Y, N, Y, TDelivery::Queue, 1, 0, 0, 1},
        TRouteCase{"BroadcastPopup", TArrival::Broadcast, N, Y, Y, TDelivery::PopUp, 0, 1, 0, 0},
        // Files: the live receive dialog is the waiting window.
        TRouteCase{"FilesToDialog", TArrival::FilesToDialog, N, N, Y, TDelivery::ChatWindow, 0, 0, 0, 0},
        TRouteCase{"FilesPopup", TArrival::Files, N, Y, Y, TDelivery::PopUp, 0, 1, 0, 0},
        TRouteCase{"FilesQueued", TArrival::Files, N, N, Y, TDelivery::Queue, 1, 0, 0, 1},
        TRouteCase{"OfferPopup", TArrival::Offer, N, Y, Y, TDelivery::PopUp, 0, 1, 0, 0},
        TRouteCase{"OfferQueued", TArrival::Offer, N, N, Y, TDelivery::Queue, 1, 0, 0, 1},
        TRouteCase{"OfferQueuedSilently", TArrival::Offer, N, N, N, TDelivery::Queue, 1, 0, 0, 0}),
    TCaseName());

// ---- withdrawn requests ----

TEST_F(RouteFixture, WithdrawalMarksTheQueuedRequestOrTellsTheUser) {
    TOnlineNotify offer;
    offer.SenderHandle = 11;
    offer.ComputerName = QStringLiteral("PC-ANN");
    offer.IPAddress = QStringLiteral("127.0.0.1");
    Router.OfferArrived(offer);
    ASSERT_EQ(Queue.Count(), 1);

    // A live dialog was told: nothing else happens.
    EXPECT_EQ(Router.OfferCanceled(offer, true), TDelivery::ChatWindow);
    EXPECT_EQ(KindOf(*Queue.Head()), qiFileRequest);
    EXPECT_TRUE(Rec.Requests.isEmpty());

    EXPECT_EQ(Router.OfferCanceled(offer, false), TDelivery::Queue);
    EXPECT_EQ(KindOf(*Queue.Head()), qiFileRequestCanceled);
    EXPECT_TRUE(Rec.Requests.isEmpty());

    // Nothing left to mark: the dialog in mode Cancelled tells the user.
    EXPECT_EQ(Router.OfferCanceled(offer, false), TDelivery::PopUp);
    ASSERT_EQ(Rec.Requests.size(), 1);
    EXPECT_EQ(Rec.Requests[0].second, TRequestDialogMode::Cancelled);
    EXPECT_EQ(Rec.Requests[0].first.SenderHandle, 11);
}

TEST_F(RouteFixture, WithdrawalWithPopupNeverTouchesTheQueue) {
    TOnlineNotify offer;
    offer.SenderHandle = 11;
    Queue.Add(TQueuedRequest{offer}); // left over from before the setting changed
    Rec.Settings.AutoPopupForm = true;
    EXPECT_EQ(Router.OfferCanceled(offer, false), TDelivery::PopUp);
    EXPECT_EQ(KindOf(*Queue.Head()), qiFileRequest);
    ASSERT_EQ(Rec.Requests.size(), 1);
}

TEST_F(RouteFixture, AFloodingSendersSurplusIsSilentAndItsWithdrawalsOpenNothing) {
    TOnlineNotify offer;
    offer.ComputerName = QStringLiteral("EVIL");
    offer.IPAddress = QStringLiteral("127.0.0.1");
    const int cap = TQueueLimits{}.PerSender;
    for (int i = 0; i < cap + 5; ++i) {
        offer.SenderHandle = i;
        Router.OfferArrived(offer);
    }
    EXPECT_EQ(Queue.Count(), cap);
    EXPECT_EQ(Rec.Sounds, cap); // the five left out made no sound
    // The withdrawal of one that was left out finds no queued request: it is one of the counted.
    EXPECT_EQ(Router.OfferCanceled(offer, false), TDelivery::Queue);
    EXPECT_TRUE(Rec.Requests.isEmpty());
    // Another sender's withdrawal still tells the user.
    offer.ComputerName = QStringLiteral("PC-ANN");
    EXPECT_EQ(Router.OfferCanceled(offer, false), TDelivery::PopUp);
    EXPECT_EQ(Rec.Requests.size(), 1);
}

// ---- through the chat service, with the node's recorder: what it answers itself is never logged ----

class RouteFromChat : public TServerFixture {
protected:
    RouteFromChat() {
        Chat.RegisterEvents(Sink);
        Recorder.Connect(Chat);
        Router.Connect(Chat);
        QObject::connect(&Chat, &TChatService::MessageAutoReplied,
                         [this](const TBroadcastData&, const QString&, bool) { ++AutoReplied; });
    }
    TChatService Chat{Client, Local};
    TServerQueue Queue;
    TRecorder Rec;
    TMessageLang Lang{1033};
    TLogRecorder Recorder{[this](TLogRecord record) { Rec.Logged << record; }, Lang};
    TIncomingRouter Router{Queue, Rec.Actions(), [this] { return Rec.Settings; }};
    int AutoReplied = 0;
};

TEST_F(RouteFromChat, AutoRepliedMessageIsNeverLoggedNorQueued) {
    Settings[bpState_Busy_AutoReply] = true;
    Local.SetOnlineState(TOnlineState::Busy);
    Sink.Post(WM_PEER_MESSAGE, 0, 0, TPeerMessage{IncomingRecord()});
    ASSERT_TRUE(WaitUntil([&] { return AutoReplied == 1; }));
    EXPECT_TRUE(Rec.Logged.isEmpty());
    EXPECT_TRUE(Queue.IsEmpty());
    EXPECT_EQ(Rec.Sounds, 0);

    // A refusal and a broadcast are never answered: each is logged once and queued.
    Sink.Post(WM_PEER_MESSAGE, 1, 0, TPeerRefusal{IncomingRecord("Ref")});
    Sink.Post(WM_PEER_BROADCAST, 0, 0, TPeerBroadcast{IncomingRecord("Bc")});
    ASSERT_TRUE(WaitUntil([&] { return Rec.Logged.size() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(Rec.Logged.size(), 2);
    EXPECT_EQ(Rec.Logged[0].Nick, QStringLiteral("Ref"));
    EXPECT_EQ(Rec.Logged[1].LogType, ltBroadcast);
    EXPECT_EQ(Queue.Count(), 2);
    EXPECT_EQ(AutoReplied, 1);
}

TEST_F(RouteFromChat, OnlineMessageIsLoggedOnceAndQueued) {
    Local.SetOnlineState(TOnlineState::Online);
    Sink.Post(WM_PEER_MESSAGE, 0, 0, TPeerMessage{IncomingRecord()});
    ASSERT_TRUE(WaitUntil([&] { return Queue.Count() == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(Rec.Logged.size(), 1);
    EXPECT_EQ(KindOf(*Queue.Head()), qiMessage);
    EXPECT_EQ(AutoReplied, 0);
}

// A received message's bytes count against its source until the chat log has
// its record; the front end's queue does not keep them.
TEST_F(RouteFromChat, ReceivedBytesAreHeldByTheLogRecordOnly) {
    Local.SetOnlineState(TOnlineState::Online);
    auto budget = TIntakeBudget::Create(1000, 1000);
    TIntakeHold hold = budget->TryAcquire(QStringLiteral("10.0.0.9"), 100);
    Sink.Post(WM_PEER_MESSAGE, 0, 0, TPeerMessage{IncomingRecord(), hold});
    hold.reset();
    ASSERT_TRUE(WaitUntil([&] { return Queue.Count() == 1; }));
    ASSERT_EQ(Rec.Logged.size(), 1);
    EXPECT_EQ(budget->Used(), 100);
    Rec.Logged.clear();
    EXPECT_EQ(budget->Used(), 0);
    EXPECT_EQ(Queue.Count(), 1);
}

} // namespace
