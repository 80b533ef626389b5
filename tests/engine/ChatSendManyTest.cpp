// A message to several recipients: they are tried several at once, each is
// reported once as it ends, a dead one holds up nobody else, and the chat log
// gets one record of those reached.
#include "messaging/ChatServiceUnit.h"

#include "node/LogRecorderUnit.h"
#include "protocol/ChatHandlersUnit.h"
#include "support/CaseName.h"
#include "support/DeadPeer.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <ostream>
#include <set>
#include <vector>

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");

// Reads each request and closes it a while after it came in whole, counting
// the connections it holds at once.
class THoldingPeer : public QObject {
public:
    explicit THoldingPeer(int holdMs) : FHoldMs(holdMs) {
        FServer.listen(QHostAddress::LocalHost, 0);
        connect(&FServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = FServer.nextPendingConnection()) {
                socket->setParent(this);
                MaxOpen = std::max(MaxOpen, ++FOpen);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    FBytes[socket] += socket->readAll();
                    if (!FBytes[socket].endsWith("{\\rtf1 end}")) return;
                    QTimer::singleShot(FHoldMs, socket, [this, socket] {
                        --FOpen;
                        ++Served;
                        socket->disconnectFromHost();
                    });
                });
            }
        });
    }
    quint16 Port() const { return FServer.serverPort(); }
    int MaxOpen = 0;
    int Served = 0;

private:
    QTcpServer FServer;
    int FHoldMs;
    int FOpen = 0;
    QHash<QTcpSocket*, QByteArray> FBytes;
};

class SendMany : public TServerFixture {
protected:
    SendMany() {
        RegisterChatHandlers(*Server, Sink, Lang, {});
        Chat.RegisterEvents(Sink);
        Recorder.Connect(Chat);
        QObject::connect(&Chat, &TChatService::MessageArrived, [this](const TBroadcastData& r) { Arrived << r; });
        QObject::connect(&Chat, &TChatService::RecipientDone,
                         [this](quint64, int index, const TRecipient&, const TRecipientOutcome& outcome) {
                             Done << index;
                             DoneOutcomes << outcome;
                             if (CancelAfter > 0 && Done.size() == CancelAfter && Job) Job->Cancel();
                         });
        QObject::connect(&Chat, &TChatService::SendFinished,
                         [this](quint64, const TSendMessageResult& result) { Results << result; });
    }

    // Starts a job to recipients "PC0", "PC1", ... each on its port.
    void Start(const QList<quint16>& ports, int parallel, int connectMs = 1000) {
        TMessageSendLimits limits;
        limits.ConnectTimeoutMs = connectMs;
        limits.StallTimeoutMs = 2000;
        limits.ParallelPerJob = parallel;
        limits.PortOf = [ports](qsizetype i) { return ports.value(i); };
        Chat.SetSendLimits(limits);
        TSendMessageJob job;
        job.HasNickname = false;
        for (int i = 0; i < ports.size(); ++i) {
            TRecipient r;
            r.ComputerName = QStringLiteral("PC%1").arg(i);
            r.IPAddress = kLoopback;
            job.Recipients << r;
        }
        job.Summary = QStringLiteral("to many\r\n");
        job.Body = "{\\rtf1 end}";
        Job = Chat.StartSendMessage(std::move(job));
    }

    // The records of what was sent (this node also receives its own messages).
    TLogRecorder Recorder{[this](TLogRecord record) {
                              if (record.IfSendOut) Logged << record;
                          },
                          Lang};
    TChatService Chat{Client, Local};
    QPointer<TChatJob> Job;
    int CancelAfter = 0; // the job is cancelled once this many recipients are done
    QList<int> Done;
    QList<TRecipientOutcome> DoneOutcomes;
    QList<TSendMessageResult> Results;
    QList<TBroadcastData> Arrived;
    QList<TLogRecord> Logged;
};

// Recipients are live (L) or dead (D); two lanes, so the order in which
// results come is known up to the order within each group.
struct TOutcomeCase {
    std::string Name;
    QString Peers;                       // "LDLL": one letter per recipient
    std::vector<std::set<int>> Order;    // groups of indexes in the order they are reported
    int CancelAfter = 0;                 // cancel once this many are reported
    QString LoggedNick;                  // the log record's recipients; empty: no record
};
void PrintTo(const TOutcomeCase& c, std::ostream* os) { *os << c.Name; }

class SendOutcomes : public SendMany, public ::testing::WithParamInterface<TOutcomeCase> {};

TEST_P(SendOutcomes, EachRecipientIsReportedOnceAsItEndsAndTheLogHasThoseReached) {
    const TOutcomeCase& c = GetParam();
    ASSERT_TRUE(Server->StartListening(LoopbackOptions(2000)));
    TDeadPeer dead;
    QList<quint16> ports;
    int live = 0;
    for (const QChar peer : c.Peers) {
        ports << (peer == QLatin1Char('L') ? Port : dead.Port());
        if (peer == QLatin1Char('L')) ++live;
    }
    CancelAfter = c.CancelAfter;
    Start(ports, 2);
    ASSERT_TRUE(WaitUntil([&] { return !Results.isEmpty(); }, 15000));
    QCoreApplication::processEvents();

    // Every recipient once, in the groups' order.
    ASSERT_EQ(Done.size(), c.Peers.size());
    qsizetype at = 0;
    for (const std::set<int>& group : c.Order) {
        std::set<int> got;
        for (size_t k = 0; k < group.size() && at < Done.size(); ++k) got.insert(Done[at++]);
        EXPECT_EQ(got, group) << "reported in the order " << ::testing::PrintToString(std::vector<int>(Done.begin(), Done.end()));
    }
    ASSERT_EQ(Results.size(), 1);
    const TSendMessageResult& result = Results[0];
    ASSERT_EQ(result.Outcomes.size(), c.Peers.size());
    int reached = 0;
    for (qsizetype i = 0; i < c.Peers.size(); ++i) {
        const TRecipientOutcome& o = result.Outcomes[i];
        const bool cancelled = c.CancelAfter > 0 && o.Reason == QStringLiteral("Canceled");
        EXPECT_EQ(o.Reached, c.Peers[i] == QLatin1Char('L') && !cancelled) << i;
        if (c.Peers[i] == QLatin1Char('D') && c.CancelAfter == 0) {
            EXPECT_EQ(o.Reason, QStringLiteral("Connection timed out")) << i;
        }
        EXPECT_EQ(result.Job.Recipients[i].SendStatus, o.Reached ? QStringLiteral("OK") : QString()) << i;
        // The signal as it came and the end agree.
        EXPECT_EQ(DoneOutcomes[Done.indexOf(int(i))].Reached, o.Reached) << i;
        if (o.Reached) ++reached;
    }
    if (c.CancelAfter == 0) {
        EXPECT_EQ(reached, live);
    }
    // What the recipients got: one message each of those reached.
    ASSERT_TRUE(WaitUntil([&] { return Arrived.size() >= reached; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(Arrived.size(), reached);
    // One record, naming those reached in list order; none when nobody was.
    if (c.LoggedNick.isEmpty()) {
        EXPECT_TRUE(Logged.isEmpty());
    } else {
        ASSERT_EQ(Logged.size(), 1);
        EXPECT_EQ(Logged[0].Nick, c.LoggedNick);
        EXPECT_TRUE(Logged[0].IfSendOut);
    }
    EXPECT_EQ(Chat.RunningJobs(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SendOutcomes,
    ::testing::Values(
        TOutcomeCase{"AllLive", "LLLL", {{0, 1, 2, 3}}, 0, "PC0;PC1;PC2;PC3"},
        // The live ones do not wait for the dead one before them.
        TOutcomeCase{"FirstDead", "DLLL", {{1, 2, 3}, {0}}, 0, "PC1;PC2;PC3"},
        TOutcomeCase{"MiddleDead", "LDLL", {{0, 2, 3}, {1}}, 0, "PC0;PC2;PC3"},
        // Two lanes: the first two time out before the last two are tried.
        TOutcomeCase{"AllDead", "DDDD", {{0, 1}, {2, 3}}, 0, ""},
        // Cancelled once the first is in: the two dead in progress are given
        // up, the last live one is never tried.
        TOutcomeCase{"CancelMidway", "LDDL", {{0}, {1, 2, 3}}, 1, "PC0"}),
    TCaseName());

TEST_F(SendMany, CancelledRecipientsNeverTriedHaveNoAttempt) {
    ASSERT_TRUE(Server->StartListening(LoopbackOptions(2000)));
    TDeadPeer dead;
    CancelAfter = 1;
    Start({Port, dead.Port(), dead.Port(), Port}, 2, 5000);
    ASSERT_TRUE(WaitUntil([&] { return !Results.isEmpty(); }, 10000));
    const QList<TRecipientOutcome>& o = Results[0].Outcomes;
    ASSERT_EQ(o.size(), 4);
    EXPECT_TRUE(o[0].Reached);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(o[i].Reason, QStringLiteral("Canceled")) << i;
    EXPECT_EQ(o[1].Attempts, 1);
    EXPECT_EQ(o[2].Attempts, 1);
    EXPECT_EQ(o[3].Attempts, 0);
}

// No more connections at once than the job's bound, and no more over all
// jobs than the node's; each bound is used to the full.
TEST_F(SendMany, ConnectionsInFlightKeepToTheJobsAndTheNodesBound) {
    THoldingPeer peer(300);
    Start(QList<quint16>(6, peer.Port()), 3);
    ASSERT_TRUE(WaitUntil([&] { return Results.size() == 1; }, 10000));
    EXPECT_EQ(peer.MaxOpen, 3);
    EXPECT_EQ(peer.Served, 6);
    EXPECT_TRUE(Results[0].AnyReached());

    THoldingPeer shared(300);
    Chat.SetConnectionBound(4);
    Start(QList<quint16>(6, shared.Port()), 3);
    Start(QList<quint16>(6, shared.Port()), 3);
    ASSERT_TRUE(WaitUntil([&] { return Results.size() == 3; }, 10000));
    EXPECT_EQ(shared.MaxOpen, 4);
    EXPECT_EQ(shared.Served, 12);
}

} // namespace
