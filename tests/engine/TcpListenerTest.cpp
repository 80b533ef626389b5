// The TCP listener's limits: idle and slow peers take no worker, one host
// never crowds out another, and what it refuses is counted.
#include "platform/FileLimitUnit.h"
#include "platform/SocketOptionsUnit.h"
#include "protocol/ListenOptionsUnit.h"
#include "support/CaseName.h"
#include "support/ServerFixture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QTcpSocket>
#include <QThread>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace {

const char* const kHostA = "127.0.0.1";
const char* const kHostB = "127.0.0.2";

QByteArray Block(const QByteArray& data) {
    QByteArray out(4, '\0');
    qToBigEndian<qint32>(qint32(data.size()), out.data());
    return out + data;
}

QByteArray TestRequest(const QByteArray& body) { return "QLM_TEST\t2\r\n" + Block(body); }

// A connection from source (127.0.0.x) to the listener on 127.0.0.1; null when it fails.
std::unique_ptr<QTcpSocket> Connect(const char* source, quint16 port) {
    auto socket = std::make_unique<QTcpSocket>();
    if (!socket->bind(QHostAddress(QString::fromLatin1(source)), 0)) return nullptr;
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!socket->waitForConnected(2000)) return nullptr;
    return socket;
}

// A connection by the system's blocking connect, which is done once the
// handshake is, before any accept: a refusal's reset cannot make it connect
// again, as Qt's check of a pending connect can.
class TRawConnection {
public:
    TRawConnection(const char* source, quint16 port) : FFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in from{}, to{};
        from.sin_family = to.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &from.sin_addr);
        ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        to.sin_port = htons(port);
        FOk = FFd >= 0 && ::bind(FFd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
              ::connect(FFd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
        // A refusal can come before connect returns: the connection was made, and reset.
        FReset = !FOk && errno == ECONNRESET;
    }
    ~TRawConnection() {
        if (FFd >= 0) ::close(FFd);
    }
    TRawConnection(const TRawConnection&) = delete;
    TRawConnection& operator=(const TRawConnection&) = delete;
    bool Ok() const { return FOk; }
    bool Reset() const { return FReset; }
    // False when the peer reset the connection before (or while) it was written.
    bool Write(const QByteArray& bytes) {
        if (FOk && ::send(FFd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size()) return true;
        FReset = FReset || errno == ECONNRESET || errno == EPIPE;
        return false;
    }
    // How the peer ended the connection, a reset seen before included.
    Platform::TPeerEnd End(int waitMs) const { return FReset ? Platform::peReset : Platform::WaitPeerEnd(FFd, waitMs); }

private:
    int FFd;
    bool FOk = false;
    bool FReset = false;
};

void Send(QTcpSocket& socket, const QByteArray& bytes) {
    socket.write(bytes);
    socket.flush();
    socket.waitForBytesWritten(2000);
}

bool ClosedByListener(QTcpSocket& socket, int ms) {
    return socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(ms);
}

// The listener with a "QLM_TEST" request: a block read and recorded per
// source; requests of HeldSource stay on their worker while Held is set.
class TcpListener : public TServerFixture {
protected:
    TcpListener() {
        Server->RegisterRequest("QLM_TEST", [this](TRequestContext& c) {
            QByteArray body;
            const bool ok = c.Reader.ReadBlock(&body, 1 << 20, c.StallMs) == TRequestReader::rrOk;
            c.Refused = ok && body == "not taken"; // as a handler whose event was not admitted
            {
                QMutexLocker lock(&Mutex);
                ++Started[c.PeerAddress];
                if (ok) Bodies[c.PeerAddress].append(body);
            }
            while (c.PeerAddress == QLatin1String(HeldSource) && Held.load()) QThread::msleep(2);
            ++Served;
        });
    }
    // A failed assertion must not leave workers held: stopping waits for them,
    // and they must be done before the members their handler uses go.
    ~TcpListener() override {
        Held = false;
        Server->StopListening();
    }
    int StartedFrom(const char* source) {
        QMutexLocker lock(&Mutex);
        return Started.value(QString::fromLatin1(source));
    }
    QList<QByteArray> BodiesFrom(const char* source) {
        QMutexLocker lock(&Mutex);
        QList<QByteArray> bodies = Bodies.value(QString::fromLatin1(source));
        std::sort(bodies.begin(), bodies.end());
        return bodies;
    }
    // Opens count connections from source that send nothing.
    void OpenIdle(const char* source, int count) {
        for (int i = 0; i < count; ++i) {
            Idle.push_back(std::make_unique<TRawConnection>(source, Port));
            ASSERT_TRUE(Idle.back()->Ok() || Idle.back()->Reset()) << "connection " << i << " errno " << errno;
        }
    }
    TListenerCounts Counts() const { return Server->Counts(); }

    QMutex Mutex;
    QHash<QString, int> Started;
    QHash<QString, QList<QByteArray>> Bodies;
    const char* HeldSource = "";
    std::atomic<bool> Held{false};
    std::atomic<int> Served{0};
    std::vector<std::unique_ptr<TRawConnection>> Idle;
};

TEST(ListenOptions, DefaultsAreTheDocumentedLimits) {
    const TListenOptions options;
    EXPECT_EQ(options.HeaderTimeoutMs, 10 * 1000);
    EXPECT_EQ(options.StallTimeoutMs, 120 * 1000);
    EXPECT_EQ(options.MinBodyBytesPerSecond, 4 * 1024);
    EXPECT_EQ(options.BodyGraceMs, 5 * 1000);
    EXPECT_EQ(options.MaxRequestsPerHost, 4);
    // Filling the pool takes many hosts, not a handful.
    EXPECT_GE(TCommServer::MaxConcurrentRequests / options.MaxRequestsPerHost, 32);
    EXPECT_EQ(options.MaxConnectionsPerHost, 32);
    EXPECT_EQ(options.MaxConnections, 1024);
}

struct TIdleCase {
    const char* Name;
    int IdleConnections;
    int MaxConnectionsPerHost;
};
void PrintTo(const TIdleCase& c, std::ostream* os) { *os << c.Name; }

class IdleHostCases : public TcpListener, public ::testing::WithParamInterface<TIdleCase> {};

// More idle connections than the pool has workers: another host is still served.
TEST_P(IdleHostCases, AnotherHostIsServedWithinASecond) {
    TCommServer::TOptions options = LoopbackOptions();
    options.MaxConnectionsPerHost = GetParam().MaxConnectionsPerHost;
    ASSERT_TRUE(Server->StartListening(options));
    OpenIdle(kHostA, GetParam().IdleConnections);
    const int held = std::min(GetParam().IdleConnections, GetParam().MaxConnectionsPerHost);
    ASSERT_TRUE(WaitUntil([&] { return Counts().Open == held; }));
    EXPECT_EQ(Counts().Running, 0); // idle connections hold no worker

    std::unique_ptr<QTcpSocket> other = Connect(kHostB, Port);
    ASSERT_TRUE(other);
    Send(*other, TestRequest("from B"));
    EXPECT_TRUE(WaitUntil([&] { return Served.load() == 1; }, 1000));
    EXPECT_EQ(BodiesFrom(kHostB), QList<QByteArray>{"from B"});
    EXPECT_EQ(Counts().Refused[rfHostConnections], quint64(GetParam().IdleConnections - held));
}

INSTANTIATE_TEST_SUITE_P(Cases, IdleHostCases,
                         ::testing::Values(TIdleCase{"AllHeldIdle", 200, 256}, TIdleCase{"BeyondTheHostCap", 200, 32}),
                         TCaseName());

TEST_F(TcpListener, RequestBeyondAHostsShareWaitsWhileAnotherHostIsServed) {
    HeldSource = kHostA;
    Held = true;
    ASSERT_TRUE(Start());
    const int share = LoopbackOptions().MaxRequestsPerHost;
    std::vector<std::unique_ptr<QTcpSocket>> fromA;
    QList<QByteArray> sent;
    for (int i = 0; i <= share; ++i) {
        fromA.push_back(Connect(kHostA, Port));
        ASSERT_TRUE(fromA.back());
        // The last body is larger than what the listener buffers: it must survive the wait whole.
        sent.append(i == share ? QByteArray(100 * 1024, 'w') : QByteArray("request ") + QByteArray::number(i));
        Send(*fromA.back(), TestRequest(sent.back()));
    }
    ASSERT_TRUE(WaitUntil([&] { return StartedFrom(kHostA) == share && Counts().Waiting == 1; }));

    std::unique_ptr<QTcpSocket> fromB = Connect(kHostB, Port);
    ASSERT_TRUE(fromB);
    Send(*fromB, TestRequest("from B"));
    // B's request is served and its worker returned while A's last still waits.
    EXPECT_TRUE(WaitUntil([&] { return Served.load() == 1 && Counts().Running == share; }));
    EXPECT_EQ(StartedFrom(kHostB), 1);
    EXPECT_EQ(StartedFrom(kHostA), share);
    EXPECT_EQ(Counts().Waiting, 1);

    Held = false;
    EXPECT_TRUE(WaitUntil([&] { return Served.load() == share + 2; }));
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(BodiesFrom(kHostA), sent);
    EXPECT_TRUE(WaitUntil([&] { return Counts().Open == 0 && Counts().Running == 0; }));
    EXPECT_EQ(Counts().RefusedTotal(), 0u);
}

// A body trickled a byte at a time, or silent, holds its worker only until it
// falls behind the listener's pace, long before the stall: then it is cut with
// a reset and counted, and another host is served meanwhile. Small bodies come
// through the reader's buffer, large ones straight from the socket.
struct TTrickleCase {
    const char* Name;
    qint32 Length; // announced
    bool Silent;   // after its first byte nothing more; else a byte every 50 ms
};
void PrintTo(const TTrickleCase& c, std::ostream* os) { *os << c.Name; }

class TrickleCases : public TcpListener, public ::testing::WithParamInterface<TTrickleCase> {};

TEST_P(TrickleCases, CutByItsPaceWhileAnotherHostIsServed) {
    TCommServer::TOptions options = LoopbackOptions();
    options.StallTimeoutMs = 20000; // never the stall: the pace runs out long before it
    options.MinBodyBytesPerSecond = 64 * 1024;
    options.BodyGraceMs = 1500;
    ASSERT_TRUE(Server->StartListening(options));
    TRawConnection trickle(kHostA, Port);
    ASSERT_TRUE(trickle.Ok());
    QByteArray length(4, '\0');
    qToBigEndian<qint32>(GetParam().Length, length.data());
    ASSERT_TRUE(trickle.Write("QLM_TEST\t2\r\n" + length + "x"));
    ASSERT_TRUE(WaitUntil([&] { return Counts().Running == 1; }));

    std::unique_ptr<QTcpSocket> other = Connect(kHostB, Port);
    ASSERT_TRUE(other);
    Send(*other, TestRequest("from B"));
    EXPECT_TRUE(WaitUntil([&] { return Served.load() == 1; }, 1000));
    EXPECT_EQ(BodiesFrom(kHostB), QList<QByteArray>{"from B"});
    EXPECT_EQ(Counts().Refused[rfSlowBody], 0u); // A still trickles

    QDeadlineTimer limit(10000);
    while (!limit.hasExpired() && Counts().Refused[rfSlowBody] == 0 && (GetParam().Silent || trickle.Write("x")))
        WaitUntil([] { return false; }, 50);
    EXPECT_EQ(Counts().Refused[rfSlowBody], 1u);
    EXPECT_EQ(trickle.End(3000), Platform::peReset);
    EXPECT_TRUE(BodiesFrom(kHostA).isEmpty());
    EXPECT_TRUE(WaitUntil([&] { return Counts().Running == 0 && Counts().Open == 0; }));
    EXPECT_EQ(Counts().RefusedTotal(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, TrickleCases,
                         ::testing::Values(TTrickleCase{"SmallBody", 1000, false}, TTrickleCase{"LargeBody", 100000, false},
                                           TTrickleCase{"SilentSmallBody", 1000, true},
                                           TTrickleCase{"SilentLargeBody", 100000, true}),
                         TCaseName());

struct THeaderCase {
    const char* Name;
    int DeadlineMs;
    int ByteIntervalMs; // the header line comes one byte at a time
    bool Served;
};
void PrintTo(const THeaderCase& c, std::ostream* os) { *os << c.Name; }

class HeaderDeadlineCases : public TcpListener, public ::testing::WithParamInterface<THeaderCase> {};

TEST_P(HeaderDeadlineCases, WholeLineBeforeTheDeadline) {
    ASSERT_TRUE(Start(GetParam().DeadlineMs));
    std::unique_ptr<QTcpSocket> socket = Connect(kHostA, Port);
    ASSERT_TRUE(socket);
    const QByteArray header = "QLM_TEST\t2\r\n";
    QElapsedTimer clock;
    clock.start();
    qsizetype sent = 0;
    bool cut = false;
    for (; sent < header.size() && !cut; ++sent) {
        Send(*socket, header.mid(sent, 1));
        cut = ClosedByListener(*socket, GetParam().ByteIntervalMs);
    }
    if (!cut) {
        Send(*socket, Block("slow"));
        cut = !WaitUntil([&] { return Served.load() == 1; });
    }
    EXPECT_EQ(cut, !GetParam().Served);
    EXPECT_EQ(Counts().Refused[rfHeaderTimeout], GetParam().Served ? 0u : 1u);
    if (!GetParam().Served) {
        EXPECT_LT(sent, header.size());
        // Not cut at once: the deadline ran first.
        EXPECT_GE(clock.elapsed(), GetParam().DeadlineMs / 2);
        EXPECT_EQ(Served.load(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HeaderDeadlineCases,
                         ::testing::Values(THeaderCase{"OneBytePer100MsCutAt300Ms", 300, 100, false},
                                           THeaderCase{"OneBytePer20MsWithin3s", 3000, 20, true}),
                         TCaseName());

// How the listener ends a connection tells its sender whether the request was
// taken: an orderly close once served, a reset for every refusal.
struct TEndCase {
    const char* Name;
    int MaxConnectionsPerHost;
    int HeaderMs;
    QByteArray Request;
    Platform::TPeerEnd End;
    TRefusal Reason; // rfCount: none
};
void PrintTo(const TEndCase& c, std::ostream* os) { *os << c.Name; }

class EndCases : public TcpListener, public ::testing::WithParamInterface<TEndCase> {};

TEST_P(EndCases, RefusalsResetServedRequestsClose) {
    const TEndCase& c = GetParam();
    TCommServer::TOptions options = LoopbackOptions(c.HeaderMs);
    options.MaxConnectionsPerHost = c.MaxConnectionsPerHost;
    ASSERT_TRUE(Server->StartListening(options));
    if (c.MaxConnectionsPerHost == 1) {
        OpenIdle(kHostA, 1);
        ASSERT_TRUE(WaitUntil([&] { return Counts().Open == 1; }));
    }
    TRawConnection connection(kHostA, Port);
    ASSERT_TRUE(connection.Ok() || connection.Reset());
    if (!c.Request.isEmpty()) { ASSERT_TRUE(connection.Write(c.Request) || connection.Reset()); }
    EXPECT_EQ(connection.End(5000), c.End);
    if (c.Reason != rfCount) { EXPECT_EQ(Counts().Refused[c.Reason], 1u); }
    EXPECT_EQ(Counts().RefusedTotal(), c.Reason == rfCount ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EndCases,
    ::testing::Values(TEndCase{"Served", 32, 3000, TestRequest("taken"), Platform::peClosed, rfCount},
                      TEndCase{"HostFull", 1, 3000, TestRequest("one too many"), Platform::peReset, rfHostConnections},
                      TEndCase{"HostFullBeforeAnyByte", 1, 3000, {}, Platform::peReset, rfHostConnections},
                      TEndCase{"BadHeader", 32, 3000, "NOT_OURS\t1\r\n", Platform::peReset, rfBadHeader},
                      TEndCase{"HeaderTimeout", 32, 200, "QLM_TE", Platform::peReset, rfHeaderTimeout},
                      TEndCase{"ReadButNotTaken", 32, 3000, TestRequest("not taken"), Platform::peReset, rfNotTaken}),
    TCaseName());

struct TPiecesCase {
    const char* Name;
    QList<QByteArray> Pieces;
    QByteArray Body;
};
void PrintTo(const TPiecesCase& c, std::ostream* os) { *os << c.Name; }

class HandoverCases : public TcpListener, public ::testing::WithParamInterface<TPiecesCase> {};

// Bytes read by the listener together with the header line reach the handler.
TEST_P(HandoverCases, BodyReachesTheHandlerWhole) {
    ASSERT_TRUE(Start());
    std::unique_ptr<QTcpSocket> socket = Connect(kHostA, Port);
    ASSERT_TRUE(socket);
    for (const QByteArray& piece : GetParam().Pieces) {
        Send(*socket, piece);
        QThread::msleep(20); // separate segments
    }
    ASSERT_TRUE(WaitUntil([&] { return Served.load() == 1; }));
    EXPECT_EQ(BodiesFrom(kHostA), QList<QByteArray>{GetParam().Body});
}

const QByteArray kLarge(300 * 1024, 'b');

INSTANTIATE_TEST_SUITE_P(
    Cases, HandoverCases,
    ::testing::Values(TPiecesCase{"OneWrite", {TestRequest("hello")}, "hello"},
                      TPiecesCase{"SplitBetweenCrAndLf", {"QLM_TEST\t2\r", "\n" + Block("split")}, "split"},
                      TPiecesCase{"LengthWithTheHeader", {"qlm_test\t2\r\n" + Block("late").left(2), Block("late").mid(2)},
                                  "late"},
                      TPiecesCase{"LargeBodyBehindTheHeader", {TestRequest(kLarge)}, kLarge}),
    TCaseName());

struct TSend {
    const char* Source;
    QByteArray Bytes; // empty: the connection stays idle
};

struct TRefusalCase {
    const char* Name;
    int MaxConnectionsPerHost;
    int MaxConnections;
    int HeaderTimeoutMs;
    QList<TSend> Sends;
    quint64 Refused[rfCount];
    int Open; // connections still held afterwards
};
void PrintTo(const TRefusalCase& c, std::ostream* os) { *os << c.Name; }

class RefusalCases : public TcpListener, public ::testing::WithParamInterface<TRefusalCase> {};

TEST_P(RefusalCases, CountedByReason) {
    const TRefusalCase& c = GetParam();
    TCommServer::TOptions options = LoopbackOptions(c.HeaderTimeoutMs);
    options.MaxConnectionsPerHost = c.MaxConnectionsPerHost;
    options.MaxConnections = c.MaxConnections;
    ASSERT_TRUE(Server->StartListening(options));
    std::vector<std::unique_ptr<TRawConnection>> sockets;
    for (const TSend& send : c.Sends) {
        sockets.push_back(std::make_unique<TRawConnection>(send.Source, Port));
        ASSERT_TRUE(sockets.back()->Ok() || sockets.back()->Reset());
        if (!send.Bytes.isEmpty()) { ASSERT_TRUE(sockets.back()->Write(send.Bytes) || sockets.back()->Reset()); }
        // In order: each connection is the listener's before the next one comes.
        ASSERT_TRUE(WaitUntil([&] { return Counts().Open + int(Counts().RefusedTotal()) >= int(sockets.size()); }));
    }
    quint64 total = 0;
    for (quint64 n : c.Refused) total += n;
    ASSERT_TRUE(WaitUntil([&] { return Counts().RefusedTotal() == total && Counts().Open == c.Open; }))
        << "refused " << Counts().RefusedTotal() << ", open " << Counts().Open;
    for (int reason = 0; reason < rfCount; ++reason)
        EXPECT_EQ(Counts().Refused[reason], c.Refused[reason]) << RefusalName(TRefusal(reason));
    EXPECT_EQ(Served.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalCases,
    ::testing::Values(
        TRefusalCase{"HostConnectionCap", 3, 1024, 10000,
                     {{kHostA, {}}, {kHostA, {}}, {kHostA, {}}, {kHostA, {}}, {kHostA, {}}, {kHostB, {}}},
                     {2, 0, 0, 0}, 4},
        TRefusalCase{"TotalCap", 32, 4, 10000,
                     {{kHostA, {}}, {kHostA, {}}, {kHostA, {}}, {kHostB, {}}, {kHostB, {}}, {kHostB, {}}},
                     {0, 2, 0, 0}, 4},
        TRefusalCase{"HeaderTimeout", 32, 1024, 200, {{kHostA, {}}, {kHostB, "QLM_TEST\t2"}}, {0, 0, 2, 0}, 0},
        TRefusalCase{"UnknownTypeOrMalformed", 32, 1024, 10000,
                     {{kHostA, "QLM_NOSUCH\t2\r\n"},
                      {kHostA, "NOTAB\r\n"},
                      {kHostA, "\tx\r\n"},
                      {kHostB, QByteArray(20000, 'L') + "\r\n"}},
                     {0, 0, 0, 4}, 0}),
    TCaseName());

// Idle connections hold a socket and a few bytes each: no worker, little memory.
TEST_F(TcpListener, ThousandIdleConnectionsCostLittleMemory) {
    constexpr int kIdle = 1000;
    // Both ends of every connection live in this process.
    if (Platform::RaiseOpenFileLimit(2 * kIdle + 256) < 2 * kIdle + 256) GTEST_SKIP() << "too few file descriptors";
    TCommServer::TOptions options = LoopbackOptions();
    options.MaxConnectionsPerHost = kIdle;
    ASSERT_TRUE(Server->StartListening(options));
    // Warm up allocators and Qt's lazily built parts with a few connections.
    OpenIdle(kHostA, 20);
    ASSERT_TRUE(WaitUntil([&] { return Counts().Open == 20; }));
    Idle.clear();
    ASSERT_TRUE(WaitUntil([&] { return Counts().Open == 0; }));
    const long before = ResidentKiB();

    OpenIdle(kHostA, kIdle);
    ASSERT_TRUE(WaitUntil([&] { return Counts().Open == kIdle; }, 20000));
    const long after = ResidentKiB();
    std::printf("resident memory: %ld KiB before, %ld KiB with %d idle connections (%+ld KiB, both ends)\n", before,
                after, kIdle, after - before);
    EXPECT_LT(after - before, 8 * 1024);
    EXPECT_EQ(Counts().Running, 0);

    std::unique_ptr<QTcpSocket> other = Connect(kHostB, Port);
    ASSERT_TRUE(other);
    Send(*other, TestRequest("still served"));
    EXPECT_TRUE(WaitUntil([&] { return Served.load() == 1; }));
}

} // namespace
