#include "messaging/ChatServiceUnit.h"
#include "messaging/ChatLogRecordUnit.h"

#include "protocol/ChatCodecUnit.h"
#include "protocol/ChatHandlersUnit.h"
#include "platform/SocketOptionsUnit.h"
#include "support/CaseName.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>
#include <algorithm>
#include <ostream>

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");

// A listener on 127.0.0.1 with the chat handlers, and a chat service over it
// whose signals are collected.
class ChatFixture : public TServerFixture {
protected:
    ChatFixture() {
        Chat.RegisterEvents(Sink);
        QObject::connect(&Chat, &TChatService::MessageArrived, [this](const TBroadcastData& r) { Messages << r; });
        QObject::connect(&Chat, &TChatService::RefusalArrived, [this](const TBroadcastData& r) { Refusals << r; });
        QObject::connect(&Chat, &TChatService::BroadcastArrived, [this](const TBroadcastData& r) { Broadcasts << r; });
        QObject::connect(&Chat, &TChatService::MessageAutoReplied,
                         [this](const TBroadcastData& r, const QString& reply, bool sent) {
                             AutoReplied << r;
                             Replies << reply;
                             RepliesSent << sent;
                         });
        QObject::connect(&Chat, &TChatService::RecipientDone,
                         [this](quint64 job, int index, const TRecipient&, const TRecipientOutcome& outcome) {
                             Done << qMakePair(job, index);
                             DoneOutcomes << outcome;
                         });
        QObject::connect(&Chat, &TChatService::SendFinished, [this](quint64 job, const TSendMessageResult& result) {
            FinishedJobs << job;
            Results << result;
        });
        QObject::connect(&Chat, &TChatService::BroadcastFinished, [this](quint64, const TBroadcastResult& result) {
            BroadcastResults << result;
        });
        TMessageSendLimits limits;
        limits.ConnectTimeoutMs = 300;
        limits.StallTimeoutMs = 300;
        Chat.SetSendLimits(limits);
    }

    bool StartChat(const TChatListenLimits& limits = {}) {
        RegisterChatHandlers(*Server, Sink, Lang, limits);
        return Start(2000);
    }

    TSendMessageResult SendAndWait(TSendMessageJob job) {
        const qsizetype before = Results.size();
        Chat.StartSendMessage(std::move(job));
        EXPECT_TRUE(WaitUntil([&] { return Results.size() > before; }, 10000));
        return Results.value(before);
    }

    static TRecipient Recipient(const QString& nick, const QString& computer, const QString& ip) {
        TRecipient r;
        r.NickName = nick;
        r.ComputerName = computer;
        r.IPAddress = ip;
        return r;
    }

    TChatService Chat{Client, Local};
    QList<TBroadcastData> Messages, Refusals, Broadcasts, AutoReplied;
    QStringList Replies;
    QList<bool> RepliesSent;
    QList<QPair<quint64, int>> Done;
    QList<TRecipientOutcome> DoneOutcomes;
    QList<quint64> FinishedJobs;
    QList<TSendMessageResult> Results;
    QList<TBroadcastResult> BroadcastResults;
};

TBroadcastData Incoming(const char* nick = "Peer") {
    TBroadcastData r;
    r.NickName = QString::fromLatin1(nick);
    r.ComputerName = QStringLiteral("PC-PEER");
    r.IPAddress = kLoopback;
    r.LanguageId = 1033;
    r.Summary = "hi\r\n";
    r.Body = "{\\rtf1 hi}";
    return r;
}

// ---- Routing through the router ----

TEST_F(ChatFixture, EventsBecomeTheirSignalsAndMistypedRecordsAreDropped) {
    Sink.Post(WM_PEER_MESSAGE, 0, 0, TPeerMessage{Incoming("m")});
    Sink.Post(WM_PEER_MESSAGE, 1, 0, TPeerRefusal{Incoming("r")});
    Sink.Post(WM_PEER_BROADCAST, 0, 0, TPeerBroadcast{Incoming("b")});
    Sink.Post(WM_PEER_MESSAGE, 0, 0, TOnlineNotify());              // not a record this id carries
    Sink.Post(WM_PEER_MESSAGE, 0, 0, Incoming("x"));                // the codec's record, not a kind's
    Sink.Post(WM_PEER_BROADCAST, 0, 0, TPeerMessage{Incoming("y")}); // a kind another id carries
    QCoreApplication::processEvents();
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_EQ(Messages[0].NickName, QStringLiteral("m"));
    EXPECT_EQ(Messages[0].Body, "{\\rtf1 hi}");
    ASSERT_EQ(Refusals.size(), 1);
    EXPECT_EQ(Refusals[0].NickName, QStringLiteral("r"));
    ASSERT_EQ(Broadcasts.size(), 1);
    EXPECT_EQ(Broadcasts[0].NickName, QStringLiteral("b"));
    EXPECT_EQ(Sink.Counts().Mistyped, 3u);
    EXPECT_TRUE(AutoReplied.isEmpty());
}

// ---- Auto-reply: state x auto-reply switch x kind ----

struct TAutoReplyCase {
    std::string Name;
    TOnlineState State;
    bool BusyAutoReply;
    bool AwayAutoReply;
    TChatKind Kind;
    bool Refused;
    const char* Reply = ""; // the refusal's text when refused
};
void PrintTo(const TAutoReplyCase& c, std::ostream* os) { *os << c.Name; }

class ChatAutoReply : public ChatFixture, public ::testing::WithParamInterface<TAutoReplyCase> {};

TEST_P(ChatAutoReply, RefusesOnlyMessagesWhileBusyOrAwayWithTheSwitchOn) {
    const TAutoReplyCase& c = GetParam();
    // Stands where the sender's listener would: the refusal goes to port P of the message's source.
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, Port));
    Settings[bpState_Busy_AutoReply] = c.BusyAutoReply;
    Settings[bpState_Away_AutoReply] = c.AwayAutoReply;
    Local.SetOnlineState(c.State);

    switch (c.Kind) {
    case TChatKind::Message: Sink.Post(WM_PEER_MESSAGE, 0, 0, TPeerMessage{Incoming()}); break;
    case TChatKind::Refusal: Sink.Post(WM_PEER_MESSAGE, 1, 0, TPeerRefusal{Incoming()}); break;
    case TChatKind::Broadcast: Sink.Post(WM_PEER_BROADCAST, 0, 0, TPeerBroadcast{Incoming()}); break;
    }
    QCoreApplication::processEvents();
    // Whatever the service sent comes before this marker.
    ASSERT_TRUE(Client.SendToAddress(kLoopback, "MARKER"));
    ASSERT_TRUE(WaitUntil([&] { return peer.hasPendingDatagrams(); }));
    const QByteArray first = peer.receiveDatagram().data();

    if (c.Refused) {
        ASSERT_EQ(AutoReplied.size(), 1);
        EXPECT_EQ(Replies[0], QString::fromUtf8(c.Reply));
        EXPECT_TRUE(RepliesSent[0]);
        const auto e = TEnvelope::Parse(first);
        ASSERT_TRUE(e) << first.constData();
        EXPECT_TRUE(e->IsType(MessageType::Refuse));
        const std::optional<TBroadcastData> refusal = DecodeRefuse(*e, Lang);
        ASSERT_TRUE(refusal);
        EXPECT_EQ(refusal->Body, QByteArray(c.Reply) + "\r\n");
        EXPECT_EQ(refusal->NickName, Self.NickName);
        // Dropped: nothing for a window or the chat log.
        EXPECT_TRUE(Messages.isEmpty());
    } else {
        EXPECT_EQ(first, "MARKER");
        EXPECT_TRUE(AutoReplied.isEmpty());
        EXPECT_EQ(Messages.size() + Refusals.size() + Broadcasts.size(), 1);
        EXPECT_EQ(Messages.size(), c.Kind == TChatKind::Message ? 1 : 0);
        EXPECT_EQ(Refusals.size(), c.Kind == TChatKind::Refusal ? 1 : 0);
        EXPECT_EQ(Broadcasts.size(), c.Kind == TChatKind::Broadcast ? 1 : 0);
    }
}

constexpr auto On = true;
constexpr auto Off = false;
const char kBusyReply[] = "[Auto-reply Message]: Sorry, I'm busy now.";
const char kAwayReply[] = "[Auto-reply Message]: Sorry, I'm not at my desk.";

INSTANTIATE_TEST_SUITE_P(
    Cases, ChatAutoReply,
    ::testing::Values(
        TAutoReplyCase{"OnlineMessage", TOnlineState::Online, On, On, TChatKind::Message, false},
        TAutoReplyCase{"OnlineRefusal", TOnlineState::Online, On, On, TChatKind::Refusal, false},
        TAutoReplyCase{"OnlineBroadcast", TOnlineState::Online, On, On, TChatKind::Broadcast, false},
        TAutoReplyCase{"BusyOnMessage", TOnlineState::Busy, On, Off, TChatKind::Message, true, kBusyReply},
        TAutoReplyCase{"BusyOnRefusal", TOnlineState::Busy, On, Off, TChatKind::Refusal, false},
        TAutoReplyCase{"BusyOnBroadcast", TOnlineState::Busy, On, Off, TChatKind::Broadcast, false},
        TAutoReplyCase{"BusyOffMessage", TOnlineState::Busy, Off, On, TChatKind::Message, false},
        TAutoReplyCase{"BusyOffBroadcast", TOnlineState::Busy, Off, On, TChatKind::Broadcast, false},
        TAutoReplyCase{"AwayOnMessage", TOnlineState::Away, Off, On, TChatKind::Message, true, kAwayReply},
        TAutoReplyCase{"AwayOnRefusal", TOnlineState::Away, Off, On, TChatKind::Refusal, false},
        TAutoReplyCase{"AwayOnBroadcast", TOnlineState::Away, Off, On, TChatKind::Broadcast, false},
        // The other state's switch does not count.
        TAutoReplyCase{"AwayOffBusyOnMessage", TOnlineState::Away, On, Off, TChatKind::Message, false},
        TAutoReplyCase{"AwayOffRefusal", TOnlineState::Away, On, Off, TChatKind::Refusal, false}),
    TCaseName());

// A Busy node answers a message over the real listener; the refusal comes
// back (here to the same node) as a message with wParam 1.
TEST_F(ChatFixture, BusyNodeRefusesAndTheRefusalArrivesAsAMessage) {
    ASSERT_TRUE(StartChat());
    Local.SetOnlineState(TOnlineState::Busy);
    TSendMessageJob job;
    job.Recipients = {Recipient(QString(), QStringLiteral("ME"), kLoopback)};
    job.Summary = QStringLiteral("Hello\r\n");
    job.Body = "{\\rtf1 Hello}";
    EXPECT_TRUE(SendAndWait(job).AnyReached());
    ASSERT_TRUE(WaitUntil([&] { return !Refusals.isEmpty(); }));
    EXPECT_TRUE(Messages.isEmpty());
    ASSERT_EQ(AutoReplied.size(), 1);
    EXPECT_EQ(AutoReplied[0].Summary, "Hello\r\n");
    const TBroadcastData& refusal = Refusals[0];
    const TChatContent content = ChatContent(refusal, TChatKind::Refusal, Lang);
    EXPECT_EQ(content.Text, QStringLiteral("[Auto-reply Message]: Sorry, I'm busy now.\r\n"));
    EXPECT_EQ(content.Summary, QStringLiteral("[Auto-reply Message]: Sorry, I'm busy now.\r\n"));
    EXPECT_EQ(refusal.IPAddress, kLoopback);
    EXPECT_GT(refusal.ReceivedTime, 0);
    // A refusal is never answered, even while Busy.
    EXPECT_EQ(AutoReplied.size(), 1);
}

// ---- Receiving over the listener ----

TEST_F(ChatFixture, MessageRequestIsPostedWithItsSourceAndTime) {
    ASSERT_TRUE(StartChat());
    const double before = DaysSince1899(QDateTime::currentDateTime());
    TLocalIdentity peer = Self;
    peer.UserId = QStringLiteral("{PEER}");
    ASSERT_TRUE(RawRequest(EncodeMessageRequest(peer, QStringLiteral("one\r\ntwo"), "{\\rtf1 body}", Lang)));
    ASSERT_TRUE(WaitUntil([&] { return !Messages.isEmpty(); }));
    const TBroadcastData& m = Messages[0];
    EXPECT_EQ(m.Summary, "one\r\ntwo");
    EXPECT_EQ(m.Body, "{\\rtf1 body}");
    EXPECT_EQ(m.UserId, QStringLiteral("{PEER}"));
    EXPECT_EQ(m.IPAddress, kLoopback);
    EXPECT_GE(m.ReceivedTime, before);
    EXPECT_LE(m.ReceivedTime, DaysSince1899(QDateTime::currentDateTime()));
}

struct TBadRequestCase {
    std::string Name;
    QByteArray Bytes; // after a valid header line
    qint64 MaxBody = 1000;
    qint64 MaxBodiesInFlight = 1000;
};
void PrintTo(const TBadRequestCase& c, std::ostream* os) { *os << c.Name; }

class ChatBadRequest : public ChatFixture, public ::testing::WithParamInterface<TBadRequestCase> {};

// Each is dropped whole, and the next message, as large as the limits allow, is served.
TEST_P(ChatBadRequest, PostsNothing) {
    const TBadRequestCase& c = GetParam();
    TChatListenLimits limits;
    limits.MaxBody = c.MaxBody;
    limits.MaxBodiesInFlight = c.MaxBodiesInFlight;
    ASSERT_TRUE(StartChat(limits));
    const QByteArray header = EncodeMessageHeader(Self, QStringLiteral("bad\r\n"), Lang) + "\r\n";
    ASSERT_TRUE(RawRequest(header + c.Bytes));
    const QByteArray largest(qMin(c.MaxBody, c.MaxBodiesInFlight), 'g');
    ASSERT_TRUE(RawRequest(EncodeMessageRequest(Self, QStringLiteral("good\r\n"), largest, Lang)));
    ASSERT_TRUE(WaitUntil([&] { return !Messages.isEmpty(); }));
    QCoreApplication::processEvents();
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_EQ(Messages[0].Summary, "good\r\n");
    EXPECT_EQ(Messages[0].Body, largest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChatBadRequest,
    ::testing::Values(TBadRequestCase{"ClosedBeforeTheLength", "\x00\x00"},
                      TBadRequestCase{"ClosedInsideTheBody", SizedBlockPrefix(100) + "only ten.."},
                      TBadRequestCase{"NegativeLength", SizedBlockPrefix(-5) + "abcde"},
                      TBadRequestCase{"OverTheBodyLimit", SizedBlockPrefix(1001) + QByteArray(1001, 'x'), 1000, 5000},
                      TBadRequestCase{"OverTheBytesInFlight", SizedBlockPrefix(901) + QByteArray(901, 'x'), 5000, 900},
                      TBadRequestCase{"HugeLengthFewBytes", SizedBlockPrefix(0x7FFFFFFF) + "abc"}),
    TCaseName());

struct TPiecesCase {
    std::string Name;
    QList<int> Cuts; // offsets into the request where a pause falls
    int BodyBytes = 40;
};
void PrintTo(const TPiecesCase& c, std::ostream* os) { *os << c.Name; }

class ChatPieces : public ChatFixture, public ::testing::WithParamInterface<TPiecesCase> {};

// A message that is not all there when its header is read (the listener
// looks at what came and leaves the rest to a worker) is taken whole and
// closed in order, whatever the listener already read of it.
TEST_P(ChatPieces, MessageInPiecesIsTakenWhole) {
    ASSERT_TRUE(StartChat());
    const QByteArray body = "{\\rtf1 " + QByteArray(GetParam().BodyBytes, 'p') + "}";
    const QByteArray request = EncodeMessageRequest(Self, QStringLiteral("s"), body, Lang);
    const qsizetype header = request.indexOf('\n') + 1;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, Port);
    ASSERT_TRUE(socket.waitForConnected(2000));
    qsizetype from = 0;
    for (const int cut : GetParam().Cuts) {
        const qsizetype to = cut < 0 ? header - cut - 1 : cut; // negative: bytes past the header line
        socket.write(request.mid(from, to - from));
        socket.waitForBytesWritten(2000);
        QThread::msleep(60);
        from = to;
    }
    socket.write(request.mid(from));
    socket.waitForBytesWritten(2000);
    EXPECT_EQ(Platform::WaitPeerEnd(socket.socketDescriptor(), 5000), Platform::peClosed);
    ASSERT_TRUE(WaitUntil([&] { return !Messages.isEmpty(); }));
    EXPECT_EQ(Messages[0].Body, body);
    EXPECT_EQ(Server->Counts().Refused[rfNotTaken], 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, ChatPieces,
                         ::testing::Values(TPiecesCase{"OneWrite", {}}, TPiecesCase{"HeaderAlone", {-1}},
                                           TPiecesCase{"InsideTheLength", {-3}},
                                           TPiecesCase{"LengthWithoutBody", {-5}},
                                           TPiecesCase{"InsideTheBody", {-20}},
                                           TPiecesCase{"LastByteLate", {-(4 + 48)}},
                                           TPiecesCase{"LargerThanTheListenerReads", {}, 100 * 1024}),
                         TCaseName());

TEST_F(ChatFixture, BadHeadersPostNothing) {
    ASSERT_TRUE(StartChat());
    ASSERT_TRUE(RawRequest("QLM_MESSAGE\t2\tnotanumber\tAnn\tPC\r\n" + SizedBlockPrefix(2) + "hi"));
    ASSERT_TRUE(RawRequest("QLM_MESSAGE\r\n" + SizedBlockPrefix(2) + "hi"));
    ASSERT_TRUE(RawRequest("qlm_message\t2\t1033\tAnn\tPC\t{A}\t\t\t\t\tafter\r\n" + SizedBlockPrefix(2) + "hi"));
    ASSERT_TRUE(WaitUntil([&] { return !Messages.isEmpty(); }));
    QCoreApplication::processEvents();
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_EQ(Messages[0].Summary, "after");
}

TEST_F(ChatFixture, RefuseAndBroadcastDatagramsArePosted) {
    ASSERT_TRUE(StartChat());
    QUdpSocket socket;
    const auto send = [&](const QByteArray& d) { socket.writeDatagram(d, QHostAddress::LocalHost, Port); };
    send("QLM_REFUSE\t2\tEN\tBob\tPC-B\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tno language id");
    send("QLM_BROADCAST\t2\t\tBob\tPC-B");
    send("qlm_refuse\t2\t1033\tBob\tPC-B\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tbusy\r\nreally");
    send("QLM_BROADCAST\t2\t1033\tBob\tPC-B\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tsum\tbody\twith tab");
    ASSERT_TRUE(WaitUntil([&] { return !Refusals.isEmpty() && !Broadcasts.isEmpty(); }));
    QCoreApplication::processEvents();
    ASSERT_EQ(Refusals.size(), 1);
    EXPECT_EQ(Refusals[0].Body, "busy\r\nreally\r\n");
    EXPECT_EQ(Refusals[0].Summary, "busy\r\n");
    EXPECT_EQ(Refusals[0].IPAddress, kLoopback);
    EXPECT_GT(Refusals[0].ReceivedTime, 0);
    ASSERT_EQ(Broadcasts.size(), 1);
    EXPECT_EQ(Broadcasts[0].Body, "body\twith tab");
    EXPECT_EQ(Broadcasts[0].IPAddress, kLoopback);
}

// A flood of broadcasts from one host stops at the rate anybody types; the
// broadcasts of another host, and the flooder's after a pause, still arrive.
TEST_F(ChatFixture, BroadcastFloodFromOneSourceIsThrottled) {
    TChatListenLimits limits;
    limits.BroadcastsPerSecond = 0.001; // no refill within the test
    limits.BroadcastBurst = 3;
    ASSERT_TRUE(StartChat(limits));
    QUdpSocket socket;
    const QByteArray datagram = "QLM_BROADCAST\t2\t1033\tBob\tPC-B\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tsum\tbody";
    for (int i = 0; i < 10; ++i) socket.writeDatagram(datagram, QHostAddress::LocalHost, Port);
    // The marker comes after the flood on the same path: once it is in, so is the rest.
    ASSERT_TRUE(Client.SendRefuse(kLoopback, QStringLiteral("marker")));
    ASSERT_TRUE(WaitUntil([&] { return !Refusals.isEmpty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(Broadcasts.size(), 3);
}

// A message read whole but not admitted by the router (its host already has
// its share waiting) ends with a reset, so its sender does not count it as
// taken; once the waiting events are handled the same message is taken.
TEST_F(ChatFixture, MessageTheRouterDoesNotAdmitIsResetNotTaken) {
    ASSERT_TRUE(StartChat());
    for (int i = 0; i < Sink.SourceShare(); ++i)
        ASSERT_TRUE(Sink.PostFrom(kLoopback, WM_PEER_STATE, 0, 0, TOnlineNotify()));
    // Blocking calls only: the main thread must not handle (and so free) the waiting events.
    const auto send = [&](const QByteArray& body) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, Port);
        if (!socket.waitForConnected(2000)) return Platform::peWaiting;
        socket.write(EncodeMessageRequest(Self, QStringLiteral("s"), body, Lang));
        socket.waitForBytesWritten(2000);
        return Platform::WaitPeerEnd(socket.socketDescriptor(), 5000);
    };
    EXPECT_EQ(send("{\\rtf1 crowded out}"), Platform::peReset);
    EXPECT_EQ(Server->Counts().Refused[rfNotTaken], 1u);
    EXPECT_EQ(Sink.Counts().Throttled, 1u);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Messages.isEmpty());
    EXPECT_EQ(Sink.PendingFrom(kLoopback), 0);
    EXPECT_EQ(send("{\\rtf1 let in}"), Platform::peClosed);
    ASSERT_TRUE(WaitUntil([&] { return !Messages.isEmpty(); }));
    EXPECT_EQ(Messages[0].Body, "{\\rtf1 let in}");
}

// A source whose earlier bytes are not stored yet has its next message left
// unread (its sender waits, nothing is lost), while another source's message
// is taken at once; the first one's release lets the waiting one in.
TEST_F(ChatFixture, SourceOverItsBytesWaitsUnreadWhileAnotherIsTaken) {
    TChatListenLimits limits;
    limits.SourceShareInFlight = 100;
    RegisterChatHandlers(*Server, Sink, Lang, limits);
    // A grace shorter than the wait: the wait is ours, and must not count as the peer's slowness.
    TCommServer::TOptions options = LoopbackOptions(2000);
    options.BodyGraceMs = 100;
    ASSERT_TRUE(Server->StartListening(options));
    // Blocking calls only: the main thread must not handle (and so release) the first message.
    const auto send = [&](const char* source, const QByteArray& body) {
        auto socket = std::make_unique<QTcpSocket>();
        EXPECT_TRUE(socket->bind(QHostAddress(QString::fromLatin1(source)), 0));
        socket->connectToHost(QHostAddress::LocalHost, Port);
        EXPECT_TRUE(socket->waitForConnected(2000));
        socket->write(EncodeMessageRequest(Self, QStringLiteral("s"), body, Lang));
        socket->waitForBytesWritten(2000);
        return socket;
    };
    const QByteArray body(80, 'b');
    auto first = send("127.0.0.1", "{\\rtf1 first}" + body);
    EXPECT_EQ(Platform::WaitPeerEnd(first->socketDescriptor(), 5000), Platform::peClosed);
    auto second = send("127.0.0.1", "{\\rtf1 second}" + body);
    EXPECT_EQ(Platform::WaitPeerEnd(second->socketDescriptor(), 500), Platform::peWaiting);
    auto other = send("127.0.0.2", "{\\rtf1 other}" + body);
    EXPECT_EQ(Platform::WaitPeerEnd(other->socketDescriptor(), 5000), Platform::peClosed);
    EXPECT_TRUE(Messages.isEmpty());

    // (The event loop now owns the sockets' ends; the refusal count below says none was reset.)
    ASSERT_TRUE(WaitUntil([&] { return Messages.size() == 3; }));
    QStringList order;
    for (const TBroadcastData& m : Messages) order << QString::fromLatin1(m.Body.left(m.Body.indexOf('}') + 1));
    EXPECT_EQ(order, (QStringList{QStringLiteral("{\\rtf1 first}"), QStringLiteral("{\\rtf1 other}"),
                                  QStringLiteral("{\\rtf1 second}")}));
    EXPECT_EQ(Server->Counts().Refused[rfNotTaken], 0u);
}

// ---- Sending messages ----

TEST_F(ChatFixture, SecondOfThreeRecipientsDownTheOthersReceive) {
    ASSERT_TRUE(StartChat());
    Config.Resolver = [](const QString& host, QString* address) {
        if (host.compare(QStringLiteral("uppc"), Qt::CaseInsensitive) != 0) return false;
        *address = QStringLiteral("127.0.0.1");
        return true;
    };
    TSendMessageJob job;
    job.HasNickname = false;
    job.Recipients = {Recipient(QStringLiteral("Up"), QStringLiteral("UPPC"), QString()),
                      Recipient(QStringLiteral("Down"), QStringLiteral("DOWNPC"), QString()),
                      Recipient(QStringLiteral("Ip"), QStringLiteral("IPPC"), QStringLiteral(" 127.0.0.1 "))};
    job.Summary = QStringLiteral("Hi\r\nthere");
    job.Body = "{\\rtf1 Hi\\par there}";
    const TSendMessageResult result = SendAndWait(job);

    EXPECT_TRUE(result.AnyReached());
    ASSERT_EQ(result.Job.Recipients.size(), 3);
    EXPECT_EQ(result.Job.Recipients[0].SendStatus, QStringLiteral("OK"));
    EXPECT_EQ(result.Job.Recipients[1].SendStatus, QString());
    EXPECT_EQ(result.Job.Recipients[2].SendStatus, QStringLiteral("OK"));
    ASSERT_EQ(result.Outcomes.size(), 3);
    EXPECT_TRUE(result.Outcomes[0].ErrorText.isEmpty());
    EXPECT_EQ(result.Outcomes[1].ErrorText, QStringLiteral("Error occurred when send message to DOWNPC."));
    EXPECT_FALSE(result.Outcomes[1].Reason.isEmpty());
    EXPECT_FALSE(result.Outcomes[1].Reached);
    EXPECT_TRUE(result.Outcomes[2].Reached);
    // Everything a log record of the sent message needs comes back with it.
    EXPECT_EQ(result.Job.Summary, job.Summary);
    EXPECT_EQ(result.Job.Body, job.Body);
    EXPECT_GT(result.SentTime, 0);
    // One progress signal per recipient, in the order they end, before the end.
    ASSERT_EQ(Done.size(), 3);
    QList<int> indexes;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Done[i].first, FinishedJobs[0]);
        indexes << Done[i].second;
        EXPECT_EQ(DoneOutcomes[i].Reached, Done[i].second != 1);
    }
    std::sort(indexes.begin(), indexes.end());
    EXPECT_EQ(indexes, (QList<int>{0, 1, 2}));
    EXPECT_EQ(Chat.RunningJobs(), 0);

    ASSERT_TRUE(WaitUntil([&] { return Messages.size() >= 2; }));
    for (const TBroadcastData& m : Messages) {
        EXPECT_EQ(m.Summary, "Hi\r\nthere");
        EXPECT_EQ(m.Body, job.Body);
        EXPECT_EQ(m.UserId, Self.UserId);
    }
}

TEST_F(ChatFixture, ErrorNamesTheRecipientByNicknameWhenItHasOne) {
    Config.Port = FreePort(); // nobody listens there
    TSendMessageJob job;
    job.Recipients = {Recipient(QStringLiteral("Bob"), QStringLiteral("PC-BOB"), kLoopback)};
    const TSendMessageResult result = SendAndWait(job);
    EXPECT_FALSE(result.AnyReached());
    ASSERT_EQ(result.Outcomes.size(), 1);
    EXPECT_TRUE(result.Outcomes[0].ErrorText.startsWith(QStringLiteral("Error occurred when send message to Bob")))
        << result.Outcomes[0].ErrorText.toStdString();
    EXPECT_FALSE(result.Outcomes[0].Reason.isEmpty());
}

// The listen queue is full and the kernel drops the handshake: the peer
// neither accepts nor refuses, as a vanished computer would.
TEST_F(ChatFixture, ConnectGivesUpAfterItsTimeout) {
    QTcpServer silent;
    silent.setListenBacklogSize(0);
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    silent.pauseAccepting();
    QTcpSocket filler;
    filler.connectToHost(QHostAddress::LocalHost, silent.serverPort());
    ASSERT_TRUE(filler.waitForConnected(2000));
    Config.Port = silent.serverPort();
    TSendMessageJob job;
    job.Recipients = {Recipient(QString(), QStringLiteral("GONE"), kLoopback)};
    const TSendMessageResult result = SendAndWait(job);
    EXPECT_FALSE(result.AnyReached());
    EXPECT_EQ(result.Outcomes.value(0).Reason, QStringLiteral("Connection timed out"));
}

// Sending means connecting and writing: a peer that never reads takes a
// short message into its buffers, but a long one stalls and is given up.
TEST_F(ChatFixture, PeerThatNeverReadsStallsALongMessage) {
    QTcpServer mute;
    ASSERT_TRUE(mute.listen(QHostAddress::LocalHost, 0));
    mute.pauseAccepting();
    Config.Port = mute.serverPort();
    TSendMessageJob job;
    job.Recipients = {Recipient(QString(), QStringLiteral("MUTE"), kLoopback)};
    job.Body = "{\\rtf1 short}";
    EXPECT_TRUE(SendAndWait(job).AnyReached());
    job.Body = QByteArray(60 << 20, 'x'); // more than the socket buffers of both ends hold
    const TSendMessageResult result = SendAndWait(job);
    EXPECT_FALSE(result.AnyReached());
    EXPECT_EQ(result.Outcomes.value(0).Reason, QStringLiteral("The recipient stopped reading"));
}

// How a recipient ends the connection tells whether it took the message: an
// orderly close after reading, or a reset (refused, or closed unread).
struct TPeerEndCase {
    const char* Name;
    int Resets;       // connections reset on arrival before one is served
    bool Closes;      // a served connection is closed once the body is in; else held open
    bool Reached;
    // The sender's own count of attempts. Qt may try a reset connect again by
    // itself, so one attempt may use up two of the peer's resets: where a
    // reset is followed by a served connection the count has a range.
    int MinAttempts;
    int MaxAttempts;
};
void PrintTo(const TPeerEndCase& c, std::ostream* os) { *os << c.Name; }

class PeerEnd : public ChatFixture, public ::testing::WithParamInterface<TPeerEndCase> {};

constexpr int kResetRetries = 2;

TEST_P(PeerEnd, OnlyATakenMessageCountsAsReached) {
    const TPeerEndCase& c = GetParam();
    TMessageSendLimits limits;
    limits.ConnectTimeoutMs = 2000;
    limits.StallTimeoutMs = 2000;
    limits.DeliveryWaitMs = 300;
    limits.ResetRetries = kResetRetries;
    limits.ResetPauseMs = 10;
    Chat.SetSendLimits(limits);
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, 0));
    Config.Port = peer.serverPort();
    int connections = 0, bodies = 0;
    std::vector<std::unique_ptr<QTcpSocket>> held;
    QObject::connect(&peer, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* raw = peer.nextPendingConnection()) {
            std::unique_ptr<QTcpSocket> socket(raw);
            if (connections++ < c.Resets) {
                Platform::ResetOnClose(socket->socketDescriptor());
                socket->abort();
                continue;
            }
            QTcpSocket* s = socket.get();
            QObject::connect(s, &QTcpSocket::readyRead, s, [s, &c, &bodies, data = std::make_shared<QByteArray>()] {
                *data += s->readAll();
                if (!data->endsWith("{\\rtf1 end}")) return;
                ++bodies;
                if (c.Closes) s->disconnectFromHost();
            });
            held.push_back(std::move(socket));
        }
    });
    TSendMessageJob job;
    job.Recipients = {Recipient(QString(), QStringLiteral("PEER"), kLoopback)};
    job.Body = "{\\rtf1 end}";
    const TSendMessageResult result = SendAndWait(job);
    EXPECT_EQ(result.AnyReached(), c.Reached) << result.Outcomes.value(0).Reason.toStdString();
    const int attempts = result.Outcomes.value(0).Attempts;
    EXPECT_GE(attempts, c.MinAttempts);
    EXPECT_LE(attempts, c.MaxAttempts);
    EXPECT_GE(connections, attempts);
    EXPECT_EQ(bodies, c.Reached ? 1 : 0);
    if (!c.Reached) {
        EXPECT_EQ(result.Outcomes.value(0).Reason,
                  QStringLiteral("The recipient closed the connection without taking the message"));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PeerEnd,
                         ::testing::Values(TPeerEndCase{"ClosesAfterReading", 0, true, true, 1, 1},
                                           TPeerEndCase{"ResetOnceThenTaken", 1, true, true, 1, 2},
                                           TPeerEndCase{"ResetTwiceThenTaken", 2, true, true, 2, 3},
                                           TPeerEndCase{"ResetEveryTime", 99, true, false, kResetRetries + 1,
                                                        kResetRetries + 1},
                                           TPeerEndCase{"HoldsTheConnectionOpen", 0, false, true, 1, 1}),
                         TCaseName());

// A listener already holding as many of our connections as it allows one host
// refuses the next: the sender must hear of it rather than count it sent, and
// gets through once a connection is free again.
TEST_F(ChatFixture, ListenerFullOfOurConnectionsRefusesAndTheSenderIsTold) {
    TCommServer::TOptions options = LoopbackOptions(5000);
    options.MaxConnectionsPerHost = 1;
    RegisterChatHandlers(*Server, Sink, Lang, {});
    ASSERT_TRUE(Server->StartListening(options));
    TMessageSendLimits limits;
    limits.ConnectTimeoutMs = 2000;
    limits.ResetRetries = 1;
    limits.ResetPauseMs = 10;
    Chat.SetSendLimits(limits);
    auto idle = std::make_unique<QTcpSocket>();
    idle->connectToHost(QHostAddress::LocalHost, Port);
    ASSERT_TRUE(idle->waitForConnected(2000));
    ASSERT_TRUE(WaitUntil([&] { return Server->Counts().Open == 1; }));
    TSendMessageJob job;
    job.Recipients = {Recipient(QString(), QStringLiteral("ME"), kLoopback)};
    job.Body = "{\\rtf1 first}";
    EXPECT_FALSE(SendAndWait(job).AnyReached());
    EXPECT_GE(Server->Counts().Refused[rfHostConnections], 2u); // the first try and one more
    idle.reset();
    ASSERT_TRUE(WaitUntil([&] { return Server->Counts().Open == 0; }));
    job.Body = "{\\rtf1 second}";
    EXPECT_TRUE(SendAndWait(job).AnyReached());
    ASSERT_TRUE(WaitUntil([&] { return !Messages.isEmpty(); }));
    EXPECT_EQ(Messages.size(), 1);
    EXPECT_EQ(Messages[0].Body, "{\\rtf1 second}");
}

// The sender's limit is lowered so that its edge costs kilobytes, not 512 MiB.
TEST_F(ChatFixture, BodyOverTheLimitIsRefusedBeforeConnecting) {
    constexpr qint64 kLimit = 4096;
    TMessageSendLimits limits;
    limits.ConnectTimeoutMs = 300;
    limits.StallTimeoutMs = 300;
    limits.MaxBody = kLimit;
    Chat.SetSendLimits(limits);
    ASSERT_TRUE(StartChat());
    TSendMessageJob job;
    job.Recipients = {Recipient(QString(), QStringLiteral("ME"), kLoopback)};
    const QByteArray edge = "{\\rtf1 " + QByteArray(kLimit - 8, 'x') + "}";
    ASSERT_EQ(edge.size(), kLimit);
    job.Body = edge + "y";
    const TSendMessageResult result = SendAndWait(job);
    EXPECT_FALSE(result.AnyReached());
    EXPECT_EQ(result.Outcomes.value(0).Attempts, 0); // no connection was made
    EXPECT_TRUE(result.Outcomes.value(0).Reason.contains(QString::number(kLimit)));
    EXPECT_TRUE(Messages.isEmpty());
    job.Body = edge;
    EXPECT_TRUE(SendAndWait(job).AnyReached());
    ASSERT_TRUE(WaitUntil([&] { return !Messages.isEmpty(); }));
    EXPECT_EQ(Messages[0].Body, edge);
}

TEST_F(ChatFixture, CanceledSendReachesNobody) {
    ASSERT_TRUE(StartChat());
    TMessageSendLimits limits;
    limits.Cancelled = [] { return true; };
    TRecipients recipients = {Recipient(QString(), QStringLiteral("A"), kLoopback),
                              Recipient(QString(), QStringLiteral("B"), kLoopback)};
    QList<TRecipientDelivery> deliveries;
    EXPECT_FALSE(Client.SendMessageTo(QStringLiteral("x\r\n"), recipients, "{\\rtf1 x}", limits, &deliveries));
    ASSERT_EQ(deliveries.size(), 2);
    for (const TRecipientDelivery& d : deliveries) {
        EXPECT_EQ(d.Reason, QStringLiteral("Canceled"));
        EXPECT_EQ(d.Attempts, 0); // no connection was even tried
    }
    EXPECT_TRUE(recipients[0].SendStatus.isEmpty() && recipients[1].SendStatus.isEmpty());
}

TEST_F(ChatFixture, NetworkOffReachesNobody) {
    TNetworkOff off;
    TSendMessageJob job;
    job.Recipients = {Recipient(QString(), QStringLiteral("ME"), kLoopback)};
    EXPECT_FALSE(SendAndWait(job).AnyReached());
}

// ---- Broadcasts ----

// A body that makes the whole datagram exactly size bytes.
QString BodyForDatagram(const TLocalIdentity& self, const QString& summary, int size, const TMessageLang& lang) {
    const qsizetype frame = EncodeBroadcast(self, summary, QString(), lang).size();
    return QString(size - frame, QLatin1Char('b'));
}

TEST_F(ChatFixture, BroadcastOfTheLargestDatagramArrivesOneByteMoreIsRefused) {
    ASSERT_TRUE(StartChat());
    const QString summary = QStringLiteral("big\r\n");
    const QString fits = BodyForDatagram(Self, summary, MaxDatagramSize, Lang);
    const QString tooLong = fits + QLatin1Char('b');
    EXPECT_TRUE(Chat.BroadcastFits(summary, fits));
    EXPECT_FALSE(Chat.BroadcastFits(summary, tooLong));

    Chat.StartBroadcast(summary, tooLong);
    ASSERT_TRUE(WaitUntil([&] { return BroadcastResults.size() == 1; }));
    EXPECT_FALSE(BroadcastResults[0].Sent);
    EXPECT_TRUE(BroadcastResults[0].TooLong);
    EXPECT_EQ(BroadcastResults[0].ErrorText, QStringLiteral("The message is too long to broadcast."));
    EXPECT_EQ(BroadcastResults[0].Body, tooLong); // the window keeps the text

    Chat.StartBroadcast(summary, fits);
    ASSERT_TRUE(WaitUntil([&] { return BroadcastResults.size() == 2 && !Broadcasts.isEmpty(); }));
    EXPECT_TRUE(BroadcastResults[1].Sent);
    EXPECT_TRUE(BroadcastResults[1].ErrorText.isEmpty());
    QCoreApplication::processEvents();
    // The refused one never went out.
    ASSERT_EQ(Broadcasts.size(), 1);
    EXPECT_EQ(Broadcasts[0].Body, fits.toLatin1());
    EXPECT_EQ(Broadcasts[0].Summary, "big\r\n");
    EXPECT_EQ(Chat.RunningJobs(), 0);
}

TEST_F(ChatFixture, BroadcastOf3000BytesArrivesWhileBusyAndIsNotRefused) {
    ASSERT_TRUE(StartChat());
    Local.SetOnlineState(TOnlineState::Busy);
    const QString body = BodyForDatagram(Self, QStringLiteral("s\r\n"), 3000, Lang);
    Chat.StartBroadcast(QStringLiteral("s\r\n"), body);
    ASSERT_TRUE(WaitUntil([&] { return !Broadcasts.isEmpty(); }));
    EXPECT_EQ(Broadcasts[0].Body.size(), body.size());
    EXPECT_TRUE(AutoReplied.isEmpty());
}

// The window's plain text has LF only; peers' editors write CR LF, and the
// log keeps what went out.
TEST_F(ChatFixture, BroadcastLineBreaksGoOutAsCrLfAndTheResultHoldsWhatWasSent) {
    ASSERT_TRUE(StartChat());
    Chat.StartBroadcast(QStringLiteral("s\r\n"), QStringLiteral("one\ntwo\rthree\r\nfour\n\n"));
    ASSERT_TRUE(WaitUntil([&] { return !Broadcasts.isEmpty() && !BroadcastResults.isEmpty(); }));
    const QByteArray wire = "one\r\ntwo\r\nthree\r\nfour\r\n\r\n";
    EXPECT_EQ(Broadcasts[0].Body, wire);
    ASSERT_TRUE(BroadcastResults[0].Sent);
    const std::optional<TLogRecord> logged = ChatLogRecords::SentBroadcast(BroadcastResults[0], Lang);
    ASSERT_TRUE(logged.has_value());
    EXPECT_EQ(logged->Content, wire);
}

TEST_F(ChatFixture, BroadcastToAnEmptyListIsNoSuccess) {
    Config.BroadcastList.clear();
    Chat.StartBroadcast(QStringLiteral("s\r\n"), QStringLiteral("to nobody"));
    ASSERT_TRUE(WaitUntil([&] { return !BroadcastResults.isEmpty(); }));
    EXPECT_FALSE(BroadcastResults[0].Sent);
    EXPECT_FALSE(BroadcastResults[0].TooLong);
    EXPECT_EQ(BroadcastResults[0].ErrorText, QStringLiteral("Can not broadcast message."));
}

} // namespace
