// Large message bodies from a raw peer: spooled to disk while they arrive,
// whole when posted, and refused with a reset (never an orderly close) when
// the node cannot take them.
#include "protocol/ChatHandlersUnit.h"

#include "platform/SocketOptionsUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "support/CaseName.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <atomic>
#include <ostream>
#include <thread>

namespace {

// A field of /proc/self/status in KiB (test-side only: the engine never reads /proc).
long StatusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field)) return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Restarts the peak-RSS figure (VmHWM) from now; false where the system cannot.
bool ResetPeakRss() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

// Piece i of a body that is not one repeated byte, made as it is sent.
QByteArray Piece(qint64 index, qint64 size) {
    QByteArray piece(size, Qt::Uninitialized);
    for (qint64 j = 0; j < size; ++j) piece[j] = char((index * 131 + j * 7 + (j >> 9)) & 0xFF);
    return piece;
}

class ChatBodySpool : public TServerFixture {
protected:
    ChatBodySpool() {
        Sink.Register<TPeerMessage>(WM_PEER_MESSAGE, [this](qintptr, TPeerMessage record) {
            // Only the digest is kept: the test's own copies must not count.
            Digests << QCryptographicHash::hash(record.Data.Body, QCryptographicHash::Sha256);
            Sizes << record.Data.Body.size();
        });
        Limits.SpoolFolder = Home.Path() + QStringLiteral("spool");
    }
    bool StartChat() {
        Intake = RegisterChatHandlers(*Server, Sink, Lang, Limits);
        return Start(2000);
    }
    QByteArray Head(qint64 length) const {
        return EncodeMessageHeader(Self, QStringLiteral("big\r\n"), Lang) + "\r\n" + SizedBlockPrefix(qint32(length));
    }
    QStringList Spooled() const { return QDir(Limits.SpoolFolder).entryList(QDir::Files | QDir::Hidden); }

    TChatListenLimits Limits;
    TChatIntake Intake;
    QList<QByteArray> Digests;
    QList<qint64> Sizes;
};

// A pasted screenshot as a bitmap: about 100 MB. It arrives whole (its digest
// matches what was sent), and the receiver holds it once, not once per copy.
TEST_F(ChatBodySpool, A100MBodyFromARawPeerArrivesWholeWithMemoryBounded) {
    ASSERT_TRUE(StartChat());
    constexpr qint64 kPiece = 1024 * 1024;
    constexpr qint64 kPieces = 100;
    constexpr qint64 kLength = kPiece * kPieces;
    const bool peakKnown = ResetPeakRss();
    const long before = StatusKiB("VmRSS:");
    QByteArray sentDigest;
    std::atomic<int> end{-1};
    std::thread peer([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, Port);
        if (!socket.waitForConnected(3000)) return;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        socket.write(Head(kLength));
        for (qint64 i = 0; i < kPieces; ++i) {
            const QByteArray piece = Piece(i, kPiece);
            hash.addData(piece);
            socket.write(piece);
            while (socket.bytesToWrite() > 0)
                if (!socket.waitForBytesWritten(10000)) return;
        }
        sentDigest = hash.result();
        end = Platform::WaitPeerEnd(socket.socketDescriptor(), 30000);
    });
    ASSERT_TRUE(WaitUntil([&] { return !Digests.isEmpty(); }, 60000));
    peer.join();
    EXPECT_EQ(end.load(), Platform::peClosed);
    ASSERT_EQ(Sizes.value(0), kLength);
    EXPECT_EQ(Digests.value(0).toHex(), sentDigest.toHex());
    EXPECT_TRUE(Spooled().isEmpty()) << Spooled().join(u' ').toStdString();
    if (!peakKnown) GTEST_SKIP() << "no peak RSS reset on this system";
    // One copy of the body and a few pieces, never two copies.
    const long grewKiB = StatusKiB("VmHWM:") - before;
    EXPECT_LT(grewKiB, (kLength + 40 * 1024 * 1024) / 1024) << grewKiB << " KiB";
}

// While a large body trickles in, it holds disk, not the memory budget, so
// that a slow sender cannot keep other peers' messages waiting for memory.
TEST_F(ChatBodySpool, ABodyStillArrivingHoldsDiskNotMemory) {
    Limits.SpoolAbove = 64 * 1024;
    ASSERT_TRUE(StartChat());
    const qint64 length = 512 * 1024;
    const QByteArray body = Piece(1, length);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, Port);
    ASSERT_TRUE(socket.waitForConnected(3000));
    socket.write(Head(length) + body.left(length / 2));
    ASSERT_TRUE(socket.waitForBytesWritten(3000));
    // (The spool has no name where the system allows: nothing stays after a crash.)
    ASSERT_TRUE(WaitUntil([&] { return Intake.Spooled->UsedBy(QStringLiteral("127.0.0.1")) == length; }));
    EXPECT_EQ(Intake.Bytes->Used(), 0);
    socket.write(body.mid(length / 2));
    ASSERT_TRUE(socket.waitForBytesWritten(3000));
    ASSERT_TRUE(WaitUntil([&] { return !Digests.isEmpty(); }));
    EXPECT_EQ(Digests[0], QCryptographicHash::hash(body, QCryptographicHash::Sha256));
    EXPECT_TRUE(WaitUntil([&] { return Spooled().isEmpty() && Intake.Spooled->Used() == 0; }));
}

// ---- What the node cannot take, its sender hears of ----

struct TRefusedCase {
    std::string Name;
    qint64 MaxBody, SpoolAbove, MaxSpooled, SpoolReserve;
    qint64 Length;
};
void PrintTo(const TRefusedCase& c, std::ostream* os) { *os << c.Name; }

class RefusedBody : public ChatBodySpool, public ::testing::WithParamInterface<TRefusedCase> {};

// Only the header and length are sent: an orderly close would tell the
// sender it was read, a reset tells it that it was not.
TEST_P(RefusedBody, IsAResetSeenByARawSender) {
    const TRefusedCase& c = GetParam();
    Limits.MaxBody = c.MaxBody;
    Limits.SpoolAbove = c.SpoolAbove;
    Limits.MaxSpooled = c.MaxSpooled;
    Limits.SpoolReserve = c.SpoolReserve;
    Limits.ByteWaitMs = 200;
    ASSERT_TRUE(StartChat());
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, Port);
    ASSERT_TRUE(socket.waitForConnected(3000));
    socket.write(Head(c.Length));
    ASSERT_TRUE(socket.waitForBytesWritten(3000));
    EXPECT_EQ(Platform::WaitPeerEnd(socket.socketDescriptor(), 5000), Platform::peReset);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Digests.isEmpty());
    EXPECT_TRUE(Spooled().isEmpty());
}

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kHuge = qint64(1) << 60;

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedBody,
    ::testing::Values(TRefusedCase{"OverTheBodyLimit", 1000, 4 * kMiB, kMiB, 0, 1001},
                      TRefusedCase{"NegativeLength", 1000, 4 * kMiB, kMiB, 0, -1},
                      TRefusedCase{"OverTheSpoolBudget", 10 * kMiB, 100, 5000, 0, 6000},
                      TRefusedCase{"DiskReserveWouldBeTaken", 10 * kMiB, 100, kMiB, kHuge, 6000}),
    TCaseName());

} // namespace
