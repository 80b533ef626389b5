#include "support/CaseName.h"
#include "support/TransferFixture.h"
#include "transfer/FileCodecUnit.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <functional>
#include <ostream>

namespace {

class TransferHandshake : public TTransferFixture {
protected:
    TRecipient Me() const { return {QStringLiteral("Me"), QStringLiteral("MYPC"), QStringLiteral("127.0.0.1"), {}, QStringLiteral("{ME}")}; }
    std::unique_ptr<TOutgoingTransfer> Outgoing() {
        MakeFile(QStringLiteral("a.txt"), "alpha");
        return Service.CreateOutgoing(Me(), {TSendRow{Src("a.txt"), false, {}}});
    }
    // Answers itself while Busy or Away, with the given reply text.
    void SetAutoReply(TOnlineState state, const QString& text) {
        const bool busy = state == TOnlineState::Busy;
        Settings[busy ? bpState_Busy_AutoReply : bpState_Away_AutoReply] = true;
        Settings[busy ? spState_Busy_AutoReplyContent : spState_Away_AutoReplyContent] = text;
        Local.SetOnlineState(state);
    }
};

TEST_F(TransferHandshake, AutoAcceptWhileBusyStreamsWithoutAnyOffer) {
    SetAutoReply(TOnlineState::Busy, QStringLiteral("busy"));
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return !replied.isEmpty(); }));
    EXPECT_TRUE(replied[0][0].toBool());
    EXPECT_EQ(out->State(), TOutgoingTransfer::tsTransferring);
    EXPECT_EQ(out->PeerHandle(), 0);
    QSignalSpy finished(out.get(), &TOutgoingTransfer::Finished);
    QSignalSpy begun(out.get(), &TOutgoingTransfer::FileBegin);
    QSignalSpy progress(out.get(), &TOutgoingTransfer::Progress);
    QSignalSpy fileDone(out.get(), &TOutgoingTransfer::FileDone);
    out->Start();
    ASSERT_TRUE(WaitUntil([&] { return !finished.isEmpty() && !Log.Arrivals.isEmpty(); }));
    EXPECT_TRUE(out->Result().AllSent());
    EXPECT_EQ(out->State(), TOutgoingTransfer::tsFinished);
    // What a progress dialog shows, in order, on the main thread.
    ASSERT_EQ(begun.size(), 1);
    EXPECT_EQ(begun[0][1].toLongLong(), 5);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last()[1].toLongLong(), 5);
    EXPECT_EQ(progress.last()[2].toLongLong(), 5);
    ASSERT_EQ(fileDone.size(), 1);
    EXPECT_EQ(fileDone[0][1].value<TFileOutcome>().Kind, TFileOutcomeKind::Sent);
    EXPECT_EQ(out->SentLines(), QStringList{QStringLiteral("<File>") + Src("a.txt")});
    EXPECT_TRUE(Log.Offers.isEmpty());
    EXPECT_EQ(Log.Arrivals[0].first.Data.RequestHandle, 0);
    EXPECT_FALSE(Log.Arrivals[0].second);
    EXPECT_EQ(ReadAll(Inbox() + "a.txt"), "alpha");
}

TEST_F(TransferHandshake, AwayDeclinesWithItsTextAndDropsTheLaterCancel) {
    Settings[bpAutoFileTrans] = false;
    SetAutoReply(TOnlineState::Away, QStringLiteral("out to lunch"));
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return !replied.isEmpty(); }));
    EXPECT_FALSE(replied[0][0].toBool());
    EXPECT_EQ(replied[0][1].toString(), QStringLiteral("[Auto-reply Message]: out to lunch"));
    EXPECT_EQ(out->State(), TOutgoingTransfer::tsDeclined);
    EXPECT_TRUE(Log.Offers.isEmpty());
    // A declined offer is closed without a message...
    EXPECT_FALSE(out->Withdraw());
    // ...and a cancel that comes anyway is dropped while Away.
    const QByteArray cancel = EncodeFileRequestCanceled(Self, out->Handle(), 0, Lang);
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"), cancel));
    // The receiver takes datagrams in order: once this one is handled, so was the cancel.
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"), EncodeFileRequestDialogHandle(1, 2)));
    ASSERT_TRUE(WaitUntil([&] { return !Log.Handles.isEmpty(); }));
    EXPECT_TRUE(Log.Cancels.isEmpty());
    Local.SetOnlineState(TOnlineState::Online);
    // Once Online the same datagram is posted: proof that the first was dropped, not slow.
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"), cancel));
    ASSERT_TRUE(WaitUntil([&] { return !Log.Cancels.isEmpty(); }));
    EXPECT_EQ(Log.Cancels.size(), 1);
}

TEST_F(TransferHandshake, AcceptedByHandTheStreamNamesTheReceiveDialog) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    QSignalSpy peer(out.get(), &TOutgoingTransfer::PeerHandleArrived);
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Offers.isEmpty(); }));
    const TOnlineNotify offer = Log.Offers[0];
    EXPECT_EQ(offer.SenderHandle, out->Handle());
    EXPECT_EQ(offer.IPAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(offer.UserId, QStringLiteral("{ME}"));
    // The offer names what comes, and the receiving side's progress counts against it.
    EXPECT_EQ(offer.Offered.Files, 1);
    EXPECT_EQ(offer.Offered.Bytes, 5);
    EXPECT_EQ(offer.Offered.Names, QStringList{QStringLiteral("a.txt")});
    TOwnerProbe dialog;
    const qint32 own = Service.Handles().Allocate(&dialog);
    QList<TReceiveProgress> reports;
    QObject::connect(&Service, &TTransferService::ReceiveProgress, [&](qint32 h, const TReceiveProgress& p) {
        if (h == own) reports << p;
    });
    ASSERT_TRUE(Service.SendDialogHandle(offer, own));
    ASSERT_TRUE(WaitUntil([&] { return !peer.isEmpty(); }));
    EXPECT_EQ(out->PeerHandle(), own);
    ASSERT_TRUE(Service.AnswerOffer(offer, own, true));
    ASSERT_TRUE(WaitUntil([&] { return !replied.isEmpty(); }));
    EXPECT_TRUE(replied[0][0].toBool());
    out->Start();
    ASSERT_TRUE(WaitUntil([&] { return !Log.Arrivals.isEmpty() && dialog.Ids.contains(WM_FILE_RECEIVED); }));
    EXPECT_EQ(Log.Arrivals[0].first.Data.RequestHandle, own);
    EXPECT_TRUE(Log.Arrivals[0].second);
    ASSERT_TRUE(WaitUntil([&] { return !reports.isEmpty() && reports.last().Final; }));
    EXPECT_EQ(reports.last().TotalFiles, 1);
    EXPECT_EQ(reports.last().TotalBytes, 5);
    EXPECT_EQ(reports.last().Bytes, 5);
}

TEST_F(TransferHandshake, ADeclineByHandReachesTheWaitingSender) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Offers.isEmpty(); }));
    ASSERT_TRUE(Service.AnswerOffer(Log.Offers[0], 0, false));
    ASSERT_TRUE(WaitUntil([&] { return !replied.isEmpty(); }));
    EXPECT_FALSE(replied[0][0].toBool());
    EXPECT_EQ(replied[0][1].toString(), QString());
}

TEST_F(TransferHandshake, CancelBeforeTheReceiverSaidItsHandleCarriesZero) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Offers.isEmpty(); }));
    EXPECT_TRUE(out->Withdraw());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Cancels.isEmpty(); }));
    EXPECT_EQ(Log.Cancels[0].first.SenderHandle, out->Handle());
    EXPECT_EQ(Log.Cancels[0].first.ReceiverHandle, 0);
    EXPECT_FALSE(Log.Cancels[0].second); // no dialog: the queue's business
}

TEST_F(TransferHandshake, ACancelReachesTheLiveReceiveDialog) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    TOwnerProbe dialog;
    const qint32 own = Service.Handles().Allocate(&dialog);
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"), EncodeFileRequestCanceled(Self, 77, own, Lang)));
    ASSERT_TRUE(WaitUntil([&] { return dialog.Ids.contains(WM_FILE_REQUESTCANCELED); }));
    ASSERT_EQ(Log.Cancels.size(), 1);
    EXPECT_TRUE(Log.Cancels[0].second);
}

TEST_F(TransferHandshake, AHandleThisNodeNeverIssuedChangesNothing) {
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    const qint32 stranger = out->Handle() + 1000;
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"), EncodeFileRequestDialogHandle(stranger, 55)));
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"),
                                     EncodeFileRequestReply(Self, stranger, true, false, {}, Lang)));
    ASSERT_TRUE(WaitUntil([&] { return !Log.Handles.isEmpty() && !Log.Replies.isEmpty(); }));
    EXPECT_FALSE(Log.Handles[0].second);
    EXPECT_FALSE(Log.Replies[0].second);
    EXPECT_EQ(out->PeerHandle(), 0);
    EXPECT_EQ(out->State(), TOutgoingTransfer::tsComposing);
}

TEST_F(TransferHandshake, AReplyForAnOfferNotWaitingChangesNothing) {
    ASSERT_TRUE(StartWith());
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    ASSERT_TRUE(Client.SendToAddress(QStringLiteral("127.0.0.1"),
                                     EncodeFileRequestReply(Self, out->Handle(), true, false, {}, Lang)));
    ASSERT_TRUE(WaitUntil([&] { return !Log.Replies.isEmpty(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(Log.Replies[0].second);
    EXPECT_TRUE(replied.isEmpty());
    EXPECT_EQ(out->State(), TOutgoingTransfer::tsComposing);
}

TEST_F(TransferHandshake, AStreamNobodyAcceptedIsNotStored) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    MakeFile(QStringLiteral("pushed.txt"), "unasked");
    const TSendResult result = RunSend(Plan(QStringList{Src("pushed.txt")}, 12345));
    EXPECT_TRUE(result.Connected);
    // An offer accepted by hand lets its own stream in, and only that one.
    TOnlineNotify offer;
    offer.IPAddress = QStringLiteral("127.0.0.1");
    offer.SenderHandle = 1;
    ASSERT_TRUE(Service.AnswerOffer(offer, 999, true));
    MakeFile(QStringLiteral("allowed.txt"), "ok");
    ASSERT_TRUE(RunSend(Plan(QStringList{Src("allowed.txt")}, 999)).AllSent());
    RunSend(Plan(QStringList{Src("allowed.txt")}, 999)); // used up: refused, whatever the sender saw
    ASSERT_TRUE(WaitUntil([&] { return !Log.Arrivals.isEmpty(); }));
    EXPECT_EQ(Log.Arrivals.size(), 1);
    EXPECT_EQ(Log.Arrivals[0].first.ReceivedNames, QStringList{QStringLiteral("allowed.txt")});
    EXPECT_FALSE(QFileInfo::exists(Inbox() + "pushed.txt"));
}

TEST_F(TransferHandshake, DestroyingATransferReleasesItsHandle) {
    ASSERT_TRUE(StartWith());
    qint32 handle = 0;
    {
        auto out = Outgoing();
        handle = out->Handle();
        EXPECT_NE(handle, 0);
        EXPECT_EQ(Service.Handles().Owner(handle), out.get());
    }
    EXPECT_EQ(Service.Handles().Owner(handle), nullptr);
}

// ---- accepted offers that never stream ----

TOnlineNotify OfferFrom(const QString& address, qint32 senderHandle) {
    TOnlineNotify offer;
    offer.IPAddress = address;
    offer.SenderHandle = senderHandle;
    offer.NickName = QStringLiteral("Mallory");
    offer.ComputerName = QStringLiteral("EVIL");
    return offer;
}

TEST_F(TransferHandshake, AnAcceptedOfferWithoutStreamExpiresAndALateStreamIsRefused) {
    Settings[bpAutoFileTrans] = false;
    TTransferLimits limits;
    limits.AcceptedExpiryMs = 50;
    Service.SetLimits(limits);
    ASSERT_TRUE(StartWith());
    TOwnerProbe dialog;
    const qint32 own = Service.Handles().Allocate(&dialog);
    QSignalSpy expired(&Service, &TTransferService::AcceptedOfferExpired);
    ASSERT_TRUE(Service.AnswerOffer(OfferFrom(QStringLiteral("127.0.0.1"), 1), own, true));
    EXPECT_EQ(Service.AcceptedWaiting(), 1);
    ASSERT_TRUE(WaitUntil([&] { return !expired.isEmpty() && dialog.Ids.contains(WM_FILE_TERMINATED); }));
    EXPECT_EQ(expired[0][1].value<qint32>(), own);
    EXPECT_EQ(Service.AcceptedWaiting(), 0);
    EXPECT_EQ(Service.Handles().Owner(own), nullptr);
    EXPECT_EQ(Service.Handles().Count(), 0);
    // Neither by its handle nor by its address does the stream get in now,
    // whatever the sender saw.
    MakeFile(QStringLiteral("late.txt"), "late");
    RunSend(Plan(QStringList{Src("late.txt")}, own));
    RunSend(Plan(QStringList{Src("late.txt")}, 0));
    // A fresh offer's stream comes after them: once it is in, they were handled.
    TOwnerProbe next;
    const qint32 fresh = Service.Handles().Allocate(&next);
    limits.AcceptedExpiryMs = 60000;
    Service.SetLimits(limits);
    ASSERT_TRUE(Service.AnswerOffer(OfferFrom(QStringLiteral("127.0.0.1"), 2), fresh, true));
    MakeFile(QStringLiteral("fresh.txt"), "fresh");
    ASSERT_TRUE(RunSend(Plan(QStringList{Src("fresh.txt")}, fresh)).AllSent());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Arrivals.isEmpty(); }));
    EXPECT_EQ(Log.Arrivals.size(), 1);
    EXPECT_EQ(Log.Arrivals[0].first.ReceivedNames, QStringList{QStringLiteral("fresh.txt")});
    EXPECT_FALSE(QFileInfo::exists(Inbox() + "late.txt"));
    EXPECT_TRUE(Log.Terminations.isEmpty()); // the sender terminated nothing: no record of it
}

TEST_F(TransferHandshake, AnOfferStreamedInTimeDoesNotExpire) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    TOwnerProbe dialog;
    const qint32 own = Service.Handles().Allocate(&dialog);
    QSignalSpy expired(&Service, &TTransferService::AcceptedOfferExpired);
    ASSERT_TRUE(Service.AnswerOffer(OfferFrom(QStringLiteral("127.0.0.1"), 1), own, true));
    MakeFile(QStringLiteral("ok.txt"), "ok");
    ASSERT_TRUE(RunSend(Plan(QStringList{Src("ok.txt")}, own)).AllSent());
    ASSERT_TRUE(WaitUntil([&] { return dialog.Ids.contains(WM_FILE_RECEIVED); }));
    EXPECT_EQ(Service.AcceptedWaiting(), 0);
    EXPECT_TRUE(expired.isEmpty());
    EXPECT_EQ(Service.Handles().Owner(own), &dialog);
}

TEST_F(TransferHandshake, AStreamThatNamesNoFileLeavesTheOfferWaiting) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    TOwnerProbe dialog;
    const qint32 own = Service.Handles().Allocate(&dialog);
    ASSERT_TRUE(Service.AnswerOffer(OfferFrom(QStringLiteral("127.0.0.1"), 1), own, true));
    // The header alone, then silence: no event, so the admission must not vanish with it.
    ASSERT_TRUE(RawRequest(EncodeFileHeader(Self, own, Lang)));
    EXPECT_EQ(Service.AcceptedWaiting(), 1);
    MakeFile(QStringLiteral("real.txt"), "real");
    ASSERT_TRUE(RunSend(Plan(QStringList{Src("real.txt")}, own)).AllSent());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Arrivals.isEmpty(); }));
    EXPECT_EQ(ReadAll(Inbox() + "real.txt"), "real");
}

struct TSourceCapCase {
    std::string Name;
    int FromLoopback; // accepted offers of 127.0.0.1 waiting for their stream
    int FromOther;    // of another address
    bool Declined;    // the next offer of 127.0.0.1 is declined by the listener
};
void PrintTo(const TSourceCapCase& c, std::ostream* os) { *os << c.Name; }

class TransferSourceCap : public TransferHandshake, public ::testing::WithParamInterface<TSourceCapCase> {};

TEST_P(TransferSourceCap, ASourceAtItsCapIsDeclinedAndCounted) {
    const TSourceCapCase& c = GetParam();
    Settings[bpAutoFileTrans] = false;
    TTransferLimits limits;
    limits.AcceptedPerSource = 2;
    Service.SetLimits(limits);
    ASSERT_TRUE(StartWith());
    for (int i = 0; i < c.FromLoopback; ++i)
        Service.AnswerOffer(OfferFrom(QStringLiteral("127.0.0.1"), 100 + i), 500 + i, true);
    for (int i = 0; i < c.FromOther; ++i) Service.AnswerOffer(OfferFrom(QStringLiteral("10.9.9.9"), 200 + i), 600 + i, true);
    ASSERT_EQ(Service.AcceptedWaiting(), c.FromLoopback + c.FromOther);
    // The answers to 127.0.0.1 came to this very listener (the policy keeps the others in): wait until they are in.
    ASSERT_TRUE(WaitUntil([&] { return Log.Replies.size() == c.FromLoopback; }));
    auto out = Outgoing();
    QSignalSpy replied(out.get(), &TOutgoingTransfer::Replied);
    ASSERT_TRUE(out->Offer());
    ASSERT_TRUE(WaitUntil([&] { return c.Declined ? !replied.isEmpty() : !Log.Offers.isEmpty(); }));
    EXPECT_EQ(Service.DeclinedAtCap(), c.Declined ? 1 : 0);
    EXPECT_EQ(Log.Offers.isEmpty(), c.Declined);
    if (c.Declined) EXPECT_FALSE(replied[0][0].toBool());
    // Nothing waiting was given up for it.
    EXPECT_EQ(Service.AcceptedWaiting(), c.FromLoopback + c.FromOther);
}

INSTANTIATE_TEST_SUITE_P(Table, TransferSourceCap,
                         ::testing::Values(TSourceCapCase{"UnderTheCap", 1, 0, false},
                                           TSourceCapCase{"AtTheCap", 2, 0, true},
                                           TSourceCapCase{"AnotherSourceAtItsCap", 0, 2, false},
                                           TSourceCapCase{"BothAtTheirCaps", 2, 2, true}),
                         TCaseName());

TEST_F(TransferHandshake, AcceptingBeyondTheCapMakesRoomFromTheSameSourceOnly) {
    TTransferLimits limits;
    limits.AcceptedPerSource = 2;
    Service.SetLimits(limits);
    QSignalSpy expired(&Service, &TTransferService::AcceptedOfferExpired);
    TOwnerProbe first, second, third, other;
    const qint32 h1 = Service.Handles().Allocate(&first);
    const qint32 h2 = Service.Handles().Allocate(&second);
    const qint32 h3 = Service.Handles().Allocate(&third);
    const qint32 ho = Service.Handles().Allocate(&other);
    // The other source's offer is the oldest of all: it must not be the one to go.
    Service.AnswerOffer(OfferFrom(QStringLiteral("10.0.0.6"), 9), ho, true);
    Service.AnswerOffer(OfferFrom(QStringLiteral("10.0.0.5"), 1), h1, true);
    Service.AnswerOffer(OfferFrom(QStringLiteral("10.0.0.5"), 2), h2, true);
    EXPECT_TRUE(expired.isEmpty());
    // Posted before the cap was reached, answered after: the source's oldest goes.
    Service.AnswerOffer(OfferFrom(QStringLiteral("10.0.0.5"), 3), h3, true);
    ASSERT_EQ(expired.size(), 1);
    EXPECT_EQ(expired[0][1].value<qint32>(), h1);
    EXPECT_EQ(Service.Handles().Owner(h1), nullptr);
    EXPECT_EQ(Service.Handles().Owner(ho), &other);
    EXPECT_EQ(Service.Handles().Owner(h2), &second);
    EXPECT_EQ(Service.AcceptedWaiting(), 3);
    ASSERT_TRUE(WaitUntil([&] { return first.Ids.contains(WM_FILE_TERMINATED); }));
    EXPECT_FALSE(other.Ids.contains(WM_FILE_TERMINATED));
}

// What a peer sends about transfers counts against its own share of the
// router's waiting events: with the share full, it is dropped and counted.
struct TShareDatagramCase {
    const char* Name;
    std::function<QByteArray(const TLocalIdentity& self, const TMessageLang& lang)> Encode;
};
void PrintTo(const TShareDatagramCase& c, std::ostream* os) { *os << c.Name; }

class TransferDatagramShare : public TransferHandshake, public ::testing::WithParamInterface<TShareDatagramCase> {};

// An id nobody owns: what fills the share is dropped when handed out.
constexpr int kNobodysEvent = 0x7F00;

TEST_P(TransferDatagramShare, DroppedWhenItsSourceHasItsShareWaiting) {
    Settings[bpAutoFileTrans] = false;
    ASSERT_TRUE(StartWith());
    const QString source = QStringLiteral("127.0.0.1");
    for (int i = 0; i < Sink.SourceShare(); ++i) ASSERT_TRUE(Sink.PostFrom(source, kNobodysEvent, 0, 0, i));
    ASSERT_TRUE(Client.SendToAddress(source, GetParam().Encode(Self, Lang)));
    // The receiver thread posts by itself; this thread must not hand the share out meanwhile.
    QDeadlineTimer deadline(5000);
    while (Sink.Counts().Throttled == 0 && !deadline.hasExpired()) QThread::msleep(5);
    EXPECT_EQ(Sink.Counts().Throttled, 1u);
    EXPECT_EQ(Sink.PendingFrom(source), Sink.SourceShare());
}

INSTANTIATE_TEST_SUITE_P(
    Table, TransferDatagramShare,
    ::testing::Values(
        TShareDatagramCase{"Offer", [](const TLocalIdentity& self, const TMessageLang& lang) { return EncodeFileRequest(self, 1, lang); }},
        TShareDatagramCase{"DialogHandle", [](const TLocalIdentity&, const TMessageLang&) { return EncodeFileRequestDialogHandle(1, 2); }},
        TShareDatagramCase{"Reply", [](const TLocalIdentity& self, const TMessageLang& lang) {
                               return EncodeFileRequestReply(self, 1, true, false, {}, lang);
                           }},
        TShareDatagramCase{"Cancel", [](const TLocalIdentity& self, const TMessageLang& lang) {
                               return EncodeFileRequestCanceled(self, 1, 2, lang);
                           }}),
    TCaseName());

// A stream read whole whose arrival cannot be posted (its source has its
// share waiting): the sender sees a reset and counts nothing sent, nothing it
// sent stays, and an offer accepted by hand waits for its stream again.
struct TNotTakenCase {
    const char* Name;
    bool ByHand;
};
void PrintTo(const TNotTakenCase& c, std::ostream* os) { *os << c.Name; }

class TransferStreamNotTaken : public TransferHandshake, public ::testing::WithParamInterface<TNotTakenCase> {};

TEST_P(TransferStreamNotTaken, EndsWithAResetAndLeavesNothing) {
    const TNotTakenCase& c = GetParam();
    Settings[bpAutoFileTrans] = !c.ByHand;
    ASSERT_TRUE(StartWith());
    TOwnerProbe dialog;
    qint32 handle = 0;
    if (c.ByHand) {
        handle = Service.Handles().Allocate(&dialog);
        ASSERT_TRUE(Service.AnswerOffer(OfferFrom(QStringLiteral("127.0.0.1"), 1), handle, true));
        // The answer comes to this listener too: in before the share is filled.
        ASSERT_TRUE(WaitUntil([&] { return Log.Replies.size() == 1; }));
    }
    const QString source = QStringLiteral("127.0.0.1");
    for (int i = 0; i < Sink.SourceShare(); ++i) ASSERT_TRUE(Sink.PostFrom(source, kNobodysEvent, 0, 0, i));
    MakeFile(QStringLiteral("a.txt"), "alpha");
    MakeFile(QStringLiteral("b.bin"), Bytes(300 * 1024, 3));
    TSendControl control;
    TSendResult result;
    // Without this thread's event loop: the share stays full while the stream goes.
    std::unique_ptr<QThread> thread(
        QThread::create([&] { result = SendFiles(Plan(QStringList{Src("a.txt"), Src("b.bin")}, handle), control, nullptr); }));
    thread->start();
    ASSERT_TRUE(thread->wait(QDeadlineTimer(30000)));
    EXPECT_EQ(result.SentCount(), 0);
    EXPECT_FALSE(result.Error.isEmpty());
    EXPECT_EQ(Server->Counts().Refused[rfNotTaken], 1u);
    EXPECT_EQ(Entries(Inbox()), QStringList());
    EXPECT_EQ(Service.AcceptedWaiting(), c.ByHand ? 1 : 0);
    ASSERT_TRUE(WaitUntil([&] { return Sink.Pending() == 0; }));
    EXPECT_TRUE(Log.Arrivals.isEmpty());
    EXPECT_TRUE(dialog.Ids.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, TransferStreamNotTaken,
                         ::testing::Values(TNotTakenCase{"AcceptedAutomatically", false}, TNotTakenCase{"AcceptedByHand", true}),
                         TCaseName());

// ---------------------------------------------------------------- progress and the receiver's stop

class TransferReceiveProgress : public TransferHandshake {
protected:
    // An offer accepted by hand, as the receive dialog does; its reports are recorded.
    qint32 AcceptByHand() {
        Settings[bpAutoFileTrans] = false;
        EXPECT_TRUE(StartWith());
        const qint32 handle = Service.Handles().Allocate(&Dialog);
        EXPECT_TRUE(Service.AnswerOffer(OfferFrom(QStringLiteral("127.0.0.1"), 1), handle, true));
        EXPECT_TRUE(WaitUntil([&] { return Log.Replies.size() == 1; }));
        QObject::connect(&Service, &TTransferService::ReceiveProgress, [this, handle](qint32 h, const TReceiveProgress& p) {
            if (h == handle) Reports << p;
        });
        return handle;
    }
    TOwnerProbe Dialog;
    QList<TReceiveProgress> Reports;
};

TEST_F(TransferReceiveProgress, ReportsAreThrottledMonotoneAndEndAtTheTotal) {
    const qint32 handle = AcceptByHand();
    MakeFile(QStringLiteral("a.txt"), "alpha");
    MakeFile(QStringLiteral("b.bin"), Bytes(6 * 1024 * 1024, 1));
    MakeFile(QStringLiteral("c.bin"), Bytes(2 * 1024 * 1024 + 17, 2));
    const qint64 total = 5 + 6 * 1024 * 1024 + 2 * 1024 * 1024 + 17;
    QElapsedTimer elapsed;
    elapsed.start();
    const TSendResult result = RunSend(Plan(QStringList{Src("a.txt"), Src("b.bin"), Src("c.bin")}, handle));
    ASSERT_TRUE(result.AllSent()) << result.Error.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !Reports.isEmpty() && Reports.last().Final; }));
    const qint64 ms = elapsed.elapsed();
    // One per ReceiveProgressMs at most, plus the first and the last: not one per piece.
    EXPECT_LE(Reports.size(), 2 + ms / ReceiveProgressMs) << "in " << ms << " ms";
    for (qsizetype i = 1; i < Reports.size(); ++i) {
        EXPECT_GE(Reports[i].Bytes, Reports[i - 1].Bytes) << i;
        EXPECT_GE(Reports[i].Files, Reports[i - 1].Files) << i;
        EXPECT_LE(Reports[i].FileDone, Reports[i].FileSize) << i;
    }
    const TReceiveProgress& last = Reports.last();
    EXPECT_EQ(last.Bytes, total);
    EXPECT_EQ(last.Files, 3);
    EXPECT_EQ(last.Current, 3);
    EXPECT_EQ(last.FileDone, last.FileSize);
    EXPECT_EQ(last.FileSize, 2 * 1024 * 1024 + 17);
    ASSERT_TRUE(WaitUntil([&] { return Dialog.Ids.contains(WM_FILE_RECEIVED); }));
    // Nothing is left flagged once the stream ended.
    EXPECT_FALSE(Service.StopReceiving(handle));
}

TEST_F(TransferReceiveProgress, StoppedMidwayNothingStaysAndTheSenderHearsIt) {
    const qint32 handle = AcceptByHand();
    MakeFile(QStringLiteral("a.txt"), "alpha");
    MakeFile(QStringLiteral("big.bin"), Bytes(24 * 1024 * 1024, 4));
    MakeFile(QStringLiteral("c.txt"), "gamma");
    TSendControl control;
    THoldAtFile hold(control, 1);
    TSendResult result;
    std::atomic<bool> done{false};
    std::unique_ptr<QThread> thread(QThread::create([&] {
        result = SendFiles(Plan(QStringList{Src("a.txt"), Src("big.bin"), Src("c.txt")}, handle), control, &hold);
        done = true;
    }));
    thread->start();
    // a.txt arrived whole; the sender waits at the start of big.bin's block.
    ASSERT_TRUE(WaitUntil([&] { return hold.Held.load() && !Reports.isEmpty(); }));
    EXPECT_TRUE(Service.StopReceiving(handle));
    control.SetPaused(false);
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }, 60000));
    thread->wait();
    EXPECT_TRUE(result.StoppedByRecipient) << result.Error.toStdString();
    EXPECT_EQ(result.Error, QStringLiteral("The recipient stopped the transfer"));
    EXPECT_FALSE(result.Success());
    ASSERT_TRUE(WaitUntil([&] { return !Log.Terminations.isEmpty(); }));
    EXPECT_TRUE(Log.Terminations[0].first.StoppedHere);
    EXPECT_TRUE(Log.Terminations[0].second);
    EXPECT_EQ(Log.Terminations[0].first.Data.RequestHandle, handle);
    EXPECT_TRUE(Dialog.Ids.contains(WM_FILE_TERMINATED));
    EXPECT_TRUE(Log.Arrivals.isEmpty());
    // As on the sender's cancel: neither the whole first file nor the half second stays.
    EXPECT_EQ(Entries(Inbox()), QStringList());
    ASSERT_TRUE(WaitUntil([&] { return !Reports.isEmpty() && Reports.last().Final; }));
    EXPECT_LT(Reports.last().Bytes, 5 + 24 * 1024 * 1024);
}

TEST_F(TransferReceiveProgress, StoppedBeforeItsStreamTheStreamIsRefused) {
    const qint32 handle = AcceptByHand();
    EXPECT_FALSE(Service.StopReceiving(handle));
    EXPECT_EQ(Service.AcceptedWaiting(), 0);
    MakeFile(QStringLiteral("a.txt"), "alpha");
    RunSend(Plan(QStringList{Src("a.txt")}, handle));
    EXPECT_EQ(Entries(Inbox()), QStringList());
    EXPECT_TRUE(Log.Arrivals.isEmpty());
    EXPECT_TRUE(Reports.isEmpty());
}

} // namespace
