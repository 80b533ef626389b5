#include "messaging/ServerQueueUnit.h"

#include "core/ParamsUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

// Stands where the tray controller does: animates when asked and records it.
class TRecordingPresenter : public TQueuePresenter {
public:
    bool IsAnimating() const override { return Animating; }
    void StartAnimation(TTrayAnimation animation) override {
        Animating = true;
        Animations << animation;
    }
    void SetTrayHint(const QString& hint) override { Hints << hint; }
    void HeadChanged() override { ++HeadChanges; }
    void QueueEmptied() override { ++Emptied; }

    bool Animating = false;
    QList<TTrayAnimation> Animations;
    QStringList Hints;
    int HeadChanges = 0;
    int Emptied = 0;
};

TBroadcastData Record(const QString& nick, const QString& computer = QStringLiteral("PC1"),
                      const QString& id = {}, const QString& ip = QStringLiteral("10.0.0.1")) {
    TBroadcastData r;
    r.NickName = nick;
    r.ComputerName = computer;
    r.IPAddress = ip;
    r.UserId = id;
    r.LanguageId = 1033;
    r.Summary = nick.toLatin1() + " says hi\r\n";
    return r;
}

TOnlineNotify Request(qint32 handle, const QString& nick, const QString& computer = QStringLiteral("PC1"),
                      const QString& id = {}, const QString& ip = QStringLiteral("10.0.0.1")) {
    TOnlineNotify r;
    r.SenderHandle = handle;
    r.NickName = nick;
    r.ComputerName = computer;
    r.UserId = id;
    r.IPAddress = ip;
    return r;
}

class ServerQueueFixture : public ::testing::Test {
protected:
    ServerQueueFixture() {
        Queue.SetPresenter(&Presenter);
        Params()[bpOnlyUserNickname] = false;
    }
    ~ServerQueueFixture() override { Params()[bpOnlyUserNickname] = FOnlyNick; }

    // What the tray controller does once the user opened or ignored the head.
    void OpenHead() {
        Presenter.Animating = false;
        Queue.RemoveHead(0);
    }

    bool FOnlyNick = Params()[bpOnlyUserNickname];
    TRecordingPresenter Presenter;
    TServerQueue Queue;
};

// ---- each kind: its animation, hint, title and body ----

struct TKindCase {
    const char* Name;
    TQueueItemKind Kind;
    QString Nick;
    TTrayAnimation Animation;
    QString Hint;
    QString Title;
    QString Body;
};
void PrintTo(const TKindCase& c, std::ostream* os) { *os << c.Name; }

class QueueKinds : public ServerQueueFixture, public ::testing::WithParamInterface<TKindCase> {
protected:
    void Add(const TKindCase& c) {
        switch (c.Kind) {
        case qiBroadcast: Queue.Add(TQueuedBroadcast{Record(c.Nick)}); break;
        case qiMessage: Queue.Add(TQueuedMessage{Record(c.Nick)}); break;
        case qiFiles: {
            TFilesArrival arrival;
            arrival.Data = Record(c.Nick);
            arrival.SenderFolder = QStringLiteral("/rx/From_Ann(PC1)/");
            arrival.ReceivedNames = {QStringLiteral("a.txt")};
            Queue.Add(TQueuedFiles{arrival});
            break;
        }
        case qiFileRequest:
        case qiFileRequestCanceled: Queue.Add(TQueuedRequest{Request(7, c.Nick)}); break;
        }
        if (c.Kind == qiFileRequestCanceled) {
            ASSERT_TRUE(Queue.MarkRequestCanceled(Request(7, c.Nick)));
        }
    }
};

TEST_P(QueueKinds, HeadIsAnnouncedByItsKind) {
    const TKindCase& c = GetParam();
    Add(c);
    ASSERT_EQ(Queue.Count(), 1);
    EXPECT_EQ(KindOf(*Queue.Head()), c.Kind);
    ASSERT_EQ(Presenter.Animations.size(), 1);
    EXPECT_EQ(Presenter.Animations[0], c.Animation);
    ASSERT_FALSE(Presenter.Hints.isEmpty());
    EXPECT_EQ(Presenter.Hints.last(), c.Hint);
    EXPECT_EQ(QueueItemTitle(*Queue.Head()), c.Title);
    EXPECT_EQ(QueueItemBody(*Queue.Head()), c.Body);

    // Announcing again (after the tray stopped) repeats the same.
    Presenter.Animating = false;
    Queue.AnnounceHead();
    EXPECT_EQ(Presenter.Animations.last(), c.Animation);
    EXPECT_EQ(Presenter.Hints.last(), c.Hint);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QueueKinds,
    ::testing::Values(
        TKindCase{"Broadcast", qiBroadcast, "Ann", TTrayAnimation::Message, "Broadcast Message From: Ann(PC1)",
                  "Broadcast Message From: Ann(PC1)", "Ann says hi\r\n"},
        TKindCase{"Message", qiMessage, "Ann", TTrayAnimation::Message, "Message From: Ann(PC1)",
                  "Message From: Ann(PC1)", "Ann says hi\r\n"},
        // Without a nickname the computer name stands alone.
        TKindCase{"MessageNoNick", qiMessage, "", TTrayAnimation::Message, "Message From: PC1", "Message From: PC1",
                  " says hi\r\n"},
        TKindCase{"Files", qiFiles, "Ann", TTrayAnimation::File, "File(s) From: Ann(PC1)", "File(s) From: Ann(PC1)",
                  "<Saved In Folder>/rx/From_Ann(PC1)/"},
        TKindCase{"FileRequest", qiFileRequest, "Ann", TTrayAnimation::File, "File Transfer Request From: Ann(PC1)",
                  "File Transfer Request From: Ann(PC1)", "File Transfer Request"},
        // The notification keeps the request's title; the hint says it was withdrawn.
        TKindCase{"FileRequestCanceled", qiFileRequestCanceled, "Ann", TTrayAnimation::File,
                  "File Transfer Request From: Ann(PC1) but has already been canceled",
                  "File Transfer Request From: Ann(PC1)", "File transfer request, but has been canceled."}),
    TCaseName());

// ---- a request that names its files ----

struct TOfferCase {
    const char* Name;
    TOfferedFiles Offered;
    bool Withdrawn;
    QString Line; // what the hint and the body add below their usual text
};
void PrintTo(const TOfferCase& c, std::ostream* os) { *os << c.Name; }

class QueueOffers : public ServerQueueFixture, public ::testing::WithParamInterface<TOfferCase> {};

TEST_P(QueueOffers, HintAndBodyNameWhatIsOffered) {
    const TOfferCase& c = GetParam();
    TOnlineNotify request = Request(7, QStringLiteral("Ann"));
    request.Offered = c.Offered;
    Queue.Add(TQueuedRequest{request});
    if (c.Withdrawn) {
        ASSERT_TRUE(Queue.MarkRequestCanceled(request));
    }
    const QString title = QStringLiteral("File Transfer Request From: Ann(PC1)");
    EXPECT_EQ(QueueItemTitle(*Queue.Head()), title);
    if (c.Withdrawn) {
        // A withdrawn offer reads as before: there is nothing to take.
        EXPECT_EQ(Presenter.Hints.last(), title + QStringLiteral(" but has already been canceled"));
        EXPECT_EQ(QueueItemBody(*Queue.Head()), QStringLiteral("File transfer request, but has been canceled."));
        EXPECT_EQ(OfferedFilesOf(*Queue.Head()), nullptr);
        return;
    }
    EXPECT_EQ(OfferedFilesLine(c.Offered), c.Line);
    const QString below = c.Line.isEmpty() ? QString() : QStringLiteral("\n") + c.Line;
    EXPECT_EQ(Presenter.Hints.last(), title + below);
    EXPECT_EQ(QueueItemBody(*Queue.Head()), QStringLiteral("File Transfer Request") + below);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QueueOffers,
    ::testing::Values(
        // A sender that leaves the fields unused: the texts stay as they were.
        TOfferCase{"NothingOffered", {}, false, {}},
        TOfferCase{"OneName", {1, 2047, {QStringLiteral("a.txt")}}, false, QStringLiteral("a.txt (1 KB)")},
        TOfferCase{"TinyFile", {1, 0, {QStringLiteral("empty")}}, false, QStringLiteral("empty (1 KB)")},
        // The first name and how many more, whatever number of names came.
        TOfferCase{"ManyNames", {5, 900 * 1024, {QStringLiteral("a.txt"), QStringLiteral("b.txt")}}, false,
                   QStringLiteral("a.txt +4 more (900 KB)")},
        TOfferCase{"AllNamed", {2, 3 * 1024, {QStringLiteral("a.txt"), QStringLiteral("b.txt")}}, false,
                   QStringLiteral("a.txt +1 more (3 KB)")},
        // Counted and sized, but no name fitted.
        TOfferCase{"NoNames", {3, 4096, {}}, false, QStringLiteral("3 file(s) (4 KB)")},
        TOfferCase{"Withdrawn", {5, 900 * 1024, {QStringLiteral("a.txt")}}, true, {}}),
    TCaseName());

TEST(OfferedFilesLine, ACutNameTakesThePlaceOfTheFirst) {
    const TOfferedFiles offered{4, 10 * 1024, {QStringLiteral("a very long name.txt")}};
    EXPECT_EQ(OfferedFilesLine(offered, QStringLiteral("a v…txt")), QStringLiteral("a v…txt +3 more (10 KB)"));
    EXPECT_EQ(OfferedFilesLine(offered, QString()), QStringLiteral(" +3 more (10 KB)"));
}

// ---- order: only the head is presented ----

TEST_F(ServerQueueFixture, ItemsBehindTheHeadWaitSilentlyAndComeInOrder) {
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    Queue.Add(TQueuedBroadcast{Record(QStringLiteral("Bob"))});
    Queue.Add(TQueuedRequest{Request(3, QStringLiteral("Cid"))});
    ASSERT_EQ(Queue.Count(), 3);
    EXPECT_EQ(Presenter.Animations.size(), 1);
    EXPECT_EQ(Presenter.Hints, QStringList{QStringLiteral("Message From: Ann(PC1)")});

    OpenHead();
    EXPECT_EQ(Presenter.Animations.last(), TTrayAnimation::Message);
    EXPECT_EQ(Presenter.Hints.last(), QStringLiteral("Broadcast Message From: Bob(PC1)"));
    OpenHead();
    EXPECT_EQ(Presenter.Animations.last(), TTrayAnimation::File);
    EXPECT_EQ(Presenter.Hints.last(), QStringLiteral("File Transfer Request From: Cid(PC1)"));
    EXPECT_EQ(Presenter.Emptied, 0);
    OpenHead();
    EXPECT_TRUE(Queue.IsEmpty());
    EXPECT_EQ(Presenter.Emptied, 1);
    EXPECT_EQ(Presenter.Animations.size(), 3); // nothing left to present
    EXPECT_FALSE(Presenter.Animating);
}

TEST_F(ServerQueueFixture, RemoveItemPresentsNothing) {
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Bob"))});
    Queue.RemoveItem(1);
    Queue.RemoveItem(5); // out of range: nothing
    Queue.RemoveItem(-1);
    EXPECT_EQ(Queue.Count(), 1);
    EXPECT_EQ(Presenter.Animations.size(), 1);
    EXPECT_EQ(Presenter.Hints.size(), 1);
    Queue.RemoveItem(0);
    EXPECT_EQ(Presenter.Emptied, 0);
}

TEST(ServerQueueAlone, WithoutPresenterItemsStillQueue) {
    TServerQueue queue;
    queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    queue.RemoveHead();
    EXPECT_TRUE(queue.IsEmpty());
}

// ---- MarkRequestCanceled ----

struct TCancelCase {
    const char* Name;
    TOnlineNotify Queued;
    TOnlineNotify Notice;
    bool Matches;
};
void PrintTo(const TCancelCase& c, std::ostream* os) { *os << c.Name; }

class QueueCancelMatch : public ServerQueueFixture, public ::testing::WithParamInterface<TCancelCase> {};

TEST_P(QueueCancelMatch, MatchesByHandleAndSender) {
    const TCancelCase& c = GetParam();
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    Queue.Add(TQueuedRequest{c.Queued});
    EXPECT_EQ(Queue.MarkRequestCanceled(c.Notice), c.Matches);
    EXPECT_EQ(KindOf(Queue.Item(1)), c.Matches ? qiFileRequestCanceled : qiFileRequest);
    // Not the head: the tray still names the message.
    EXPECT_EQ(Presenter.Hints.size(), 1);
    EXPECT_EQ(Presenter.HeadChanges, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QueueCancelMatch,
    ::testing::Values(
        TCancelCase{"SameIdOtherCase", Request(5, "A", "PC1", "{ab}"), Request(5, "A", "OTHER", "{AB}", "1.1.1.1"), true},
        TCancelCase{"OtherId", Request(5, "A", "PC1", "{ab}"), Request(5, "A", "PC1", "{cd}"), false},
        TCancelCase{"OtherHandle", Request(5, "A", "PC1", "{ab}"), Request(6, "A", "PC1", "{ab}"), false},
        // Without an id the computer and the address decide.
        TCancelCase{"NoIdSameComputerAndAddress", Request(5, "A", "pc1", ""), Request(5, "B", "PC1", "{x}"), true},
        TCancelCase{"NoIdOtherComputer", Request(5, "A", "PC1", ""), Request(5, "A", "PC2", ""), false},
        TCancelCase{"NoIdOtherAddress", Request(5, "A", "PC1", "", "10.0.0.1"), Request(5, "A", "PC1", "", "10.0.0.2"),
                    false}),
    TCaseName());

TEST_F(ServerQueueFixture, NewestMatchingRequestIsMarkedAndOthersAreSkipped) {
    Queue.Add(TQueuedRequest{Request(5, QStringLiteral("Ann"))});
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    Queue.Add(TQueuedRequest{Request(5, QStringLiteral("Ann"))});
    ASSERT_TRUE(Queue.MarkRequestCanceled(Request(5, QStringLiteral("Ann"))));
    EXPECT_EQ(KindOf(Queue.Item(0)), qiFileRequest);
    EXPECT_EQ(KindOf(Queue.Item(2)), qiFileRequestCanceled);
    // The next notice finds the older one; a third finds none (withdrawn ones are not requests).
    ASSERT_TRUE(Queue.MarkRequestCanceled(Request(5, QStringLiteral("Ann"))));
    EXPECT_EQ(KindOf(Queue.Item(0)), qiFileRequestCanceled);
    EXPECT_FALSE(Queue.MarkRequestCanceled(Request(5, QStringLiteral("Ann"))));
    EXPECT_EQ(KindOf(Queue.Item(1)), qiMessage);
}

TEST_F(ServerQueueFixture, WithdrawnHeadChangesTheHintAtOnce) {
    Queue.Add(TQueuedRequest{Request(9, QStringLiteral("Ann"))});
    ASSERT_EQ(Presenter.Hints.size(), 1);
    ASSERT_TRUE(Queue.MarkRequestCanceled(Request(9, QStringLiteral("Ann"))));
    EXPECT_EQ(Presenter.Hints.last(), QStringLiteral("File Transfer Request From: Ann(PC1) but has already been canceled"));
    EXPECT_EQ(Presenter.HeadChanges, 1);
    // No new animation: the tray keeps its file frames.
    EXPECT_EQ(Presenter.Animations.size(), 1);
}

// ---- pulling a sender's messages into a chat ----

TEST_F(ServerQueueFixture, TakeMessagesOfLeavesHeadBroadcastsAndOtherSenders) {
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann1"), QStringLiteral("PC1"), QStringLiteral("{ann}"))});     // head
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann2"), QStringLiteral("PC1"), QStringLiteral("{ann}"))});
    Queue.Add(TQueuedBroadcast{Record(QStringLiteral("Ann3"), QStringLiteral("PC1"), QStringLiteral("{ann}"))});
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Bob"), QStringLiteral("PC2"), QStringLiteral("{bob}"))});
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann4"), QStringLiteral("OTHERPC"), QStringLiteral("{ANN}"))});
    TRecipient ann;
    ann.ComputerName = QStringLiteral("PC1");
    ann.UserId = QStringLiteral("{Ann}");
    const QList<TBroadcastData> taken = Queue.TakeMessagesOf(ann);
    ASSERT_EQ(taken.size(), 2);
    // Newest first.
    EXPECT_EQ(taken[0].NickName, QStringLiteral("Ann4"));
    EXPECT_EQ(taken[1].NickName, QStringLiteral("Ann2"));
    ASSERT_EQ(Queue.Count(), 3);
    EXPECT_EQ(SenderNickName(Queue.Item(0)), QStringLiteral("Ann1"));
    EXPECT_EQ(SenderNickName(Queue.Item(1)), QStringLiteral("Ann3"));
    EXPECT_EQ(SenderNickName(Queue.Item(2)), QStringLiteral("Bob"));
    // Taking presents nothing.
    EXPECT_EQ(Presenter.Animations.size(), 1);
}

TEST_F(ServerQueueFixture, TakeMessagesOfWithoutIdMatchesComputerAndAddress) {
    Queue.Add(TQueuedBroadcast{Record(QStringLiteral("X"))});
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Same"), QStringLiteral("pc1"), QStringLiteral("{any}"), QStringLiteral("10.0.0.1"))});
    Queue.Add(TQueuedMessage{Record(QStringLiteral("OtherIp"), QStringLiteral("PC1"), {}, QStringLiteral("10.0.0.9"))});
    TRecipient computer;
    computer.ComputerName = QStringLiteral("PC1");
    computer.IPAddress = QStringLiteral("10.0.0.1");
    const QList<TBroadcastData> taken = Queue.TakeMessagesOf(computer);
    ASSERT_EQ(taken.size(), 1);
    EXPECT_EQ(taken[0].NickName, QStringLiteral("Same"));
    EXPECT_EQ(Queue.Count(), 2);
}

// ---- one sender's share of the queue ----

struct TSenderCapCase {
    std::string Name;
    int FromMallory;         // items Mallory sends, after Ann's head
    int FromBob;             // items Bob sends after those
    int Queued;              // what waits afterwards, Ann's head included
    int NotQueued;           // Mallory's items only counted
    QStringList SummaryHint; // the tray hint: the head's, then the summary
};
void PrintTo(const TSenderCapCase& c, std::ostream* os) { *os << c.Name; }

constexpr int kCap = 3;

class SenderCapFixture : public ::testing::Test {
protected:
    SenderCapFixture() {
        Queue.SetPresenter(&Presenter);
        Params()[bpOnlyUserNickname] = false;
    }
    ~SenderCapFixture() override { Params()[bpOnlyUserNickname] = FOnlyNick; }

    // Mallory mixes kinds and computers: her id makes them one sender. The
    // summary names her as her first item left out does (an odd one: EVIL).
    void AddFromMallory(int count) {
        for (int i = 0; i < count; ++i) {
            const QString computer = i % 2 ? QStringLiteral("EVIL") : QStringLiteral("EVIL2");
            if (i % 3 == 2) Queue.Add(TQueuedRequest{Request(i, QStringLiteral("Mallory"), computer, QStringLiteral("{mal}"))});
            else Queue.Add(TQueuedMessage{Record(QStringLiteral("Mallory"), computer, QStringLiteral("{MAL}"))});
        }
    }
    QString MalloryKey() const {
        return SenderKey(TQueuedMessage{Record(QStringLiteral("Mallory"), QStringLiteral("X"), QStringLiteral("{mal}"))});
    }

    bool FOnlyNick = Params()[bpOnlyUserNickname];
    TRecordingPresenter Presenter;
    TServerQueue Queue{TQueueLimits{kCap}};
};

class QueueSenderCap : public SenderCapFixture, public ::testing::WithParamInterface<TSenderCapCase> {};

TEST_P(QueueSenderCap, ASendersSurplusIsCountedNotQueued) {
    const TSenderCapCase& c = GetParam();
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    AddFromMallory(c.FromMallory);
    for (int i = 0; i < c.FromBob; ++i) EXPECT_TRUE(Queue.Add(TQueuedBroadcast{Record(QStringLiteral("Bob"), QStringLiteral("PC2"))}));
    EXPECT_EQ(Queue.Count(), c.Queued);
    EXPECT_EQ(Queue.NotQueued(MalloryKey()), c.NotQueued);
    // The head and the order of what was queued stay as they came.
    EXPECT_EQ(SenderNickName(*Queue.Head()), QStringLiteral("Ann"));
    for (int i = 1; i < Queue.Count(); ++i)
        EXPECT_EQ(SenderNickName(Queue.Item(i)), i <= std::min(c.FromMallory, kCap) ? QStringLiteral("Mallory") : QStringLiteral("Bob"));
    EXPECT_EQ(Presenter.Animations.size(), 1);
    EXPECT_EQ(Presenter.Hints.last().toStdString(), c.SummaryHint.join(QLatin1Char('\n')).toStdString());
    EXPECT_EQ(Queue.PresentedHint().toStdString(), c.SummaryHint.join(QLatin1Char('\n')).toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Table, QueueSenderCap,
    ::testing::Values(
        TSenderCapCase{"UnderTheCap", kCap - 1, 0, kCap, 0, {"Message From: Ann(PC1)"}},
        TSenderCapCase{"AtTheCap", kCap, 0, kCap + 1, 0, {"Message From: Ann(PC1)"}},
        TSenderCapCase{"BeyondTheCap", kCap + 240, 0, kCap + 1, 240,
                       {"Message From: Ann(PC1)", "Mallory(EVIL) sent 240 more item(s) that were not queued."}},
        TSenderCapCase{"AnotherSenderUnaffected", kCap + 2, kCap, 2 * kCap + 1, 2,
                       {"Message From: Ann(PC1)", "Mallory(EVIL) sent 2 more item(s) that were not queued."}}),
    TCaseName());

TEST_F(ServerQueueFixture, WithoutIdComputerAndAddressMakeTheSender) {
    TServerQueue queue(TQueueLimits{1});
    EXPECT_TRUE(queue.Add(TQueuedMessage{Record(QStringLiteral("A"), QStringLiteral("PC1"), {}, QStringLiteral("10.0.0.1"))}));
    EXPECT_FALSE(queue.Add(TQueuedMessage{Record(QStringLiteral("B"), QStringLiteral("pc1"), {}, QStringLiteral("10.0.0.1"))}));
    EXPECT_TRUE(queue.Add(TQueuedMessage{Record(QStringLiteral("C"), QStringLiteral("PC1"), {}, QStringLiteral("10.0.0.2"))}));
    EXPECT_TRUE(queue.Add(TQueuedMessage{Record(QStringLiteral("D"), QStringLiteral("PC2"), {}, QStringLiteral("10.0.0.1"))}));
    EXPECT_EQ(queue.Count(), 3);
}

TEST_F(SenderCapFixture, TheSummaryGoesOnceTheSendersItemsAreOpened) {
    AddFromMallory(kCap + 2);
    Queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))});
    ASSERT_GT(Queue.NotQueued(MalloryKey()), 0);
    // Opening some of hers keeps the summary: more of hers than shown were left out.
    Presenter.Animating = false;
    Queue.RemoveHead();
    EXPECT_EQ(Queue.NotQueuedSummary().size(), 1);
    while (Queue.Count() > 1) {
        Presenter.Animating = false;
        Queue.RemoveHead();
    }
    EXPECT_EQ(SenderNickName(*Queue.Head()), QStringLiteral("Ann"));
    EXPECT_EQ(Queue.NotQueued(MalloryKey()), 0);
    EXPECT_TRUE(Queue.NotQueuedSummary().isEmpty());
    EXPECT_EQ(Presenter.Hints.last(), QStringLiteral("Message From: Ann(PC1)"));
    // Her next item waits again.
    AddFromMallory(1);
    EXPECT_EQ(Queue.Count(), 2);
}

TEST_F(ServerQueueFixture, TakingASendersMessagesFreesItsShare) {
    TServerQueue queue(TQueueLimits{2});
    queue.Add(TQueuedBroadcast{Record(QStringLiteral("Ann"))});
    queue.Add(TQueuedMessage{Record(QStringLiteral("Bob"), QStringLiteral("PC2"), QStringLiteral("{bob}"))});
    queue.Add(TQueuedMessage{Record(QStringLiteral("Bob"), QStringLiteral("PC2"), QStringLiteral("{bob}"))});
    EXPECT_FALSE(queue.Add(TQueuedMessage{Record(QStringLiteral("Bob"), QStringLiteral("PC2"), QStringLiteral("{bob}"))}));
    TRecipient bob;
    bob.UserId = QStringLiteral("{bob}");
    EXPECT_EQ(queue.TakeMessagesOf(bob).size(), 2);
    EXPECT_TRUE(queue.NotQueuedSummary().isEmpty());
    EXPECT_TRUE(queue.Add(TQueuedMessage{Record(QStringLiteral("Bob"), QStringLiteral("PC2"), QStringLiteral("{bob}"))}));
    queue.Clear();
    EXPECT_TRUE(queue.Add(TQueuedMessage{Record(QStringLiteral("Ann"))}));
}

} // namespace
