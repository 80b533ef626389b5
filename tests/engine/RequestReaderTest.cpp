#include "protocol/RequestReaderUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QList>
#include <QtEndian>

#include <atomic>
#include <chrono>

#include <cstring>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A reader over fixed bytes: no more data ever arrives after them.
struct TFixture {
    explicit TFixture(QByteArray bytes) : Data(std::move(bytes)), Buffer(&Data) { Buffer.open(QIODevice::ReadOnly); }
    QByteArray Data;
    QBuffer Buffer;
    TRequestReader Reader{Buffer, [](int) { return false; }};
};

QByteArray Length(qint32 n) {
    QByteArray b(4, '\0');
    qToBigEndian(n, b.data());
    return b;
}

struct TLineCase {
    const char* Name;
    QByteArray Input;
    TRequestReader::TResult Result;
    QByteArray Line;
};
void PrintTo(const TLineCase& c, std::ostream* os) { *os << c.Name; }

class ReadLineCases : public ::testing::TestWithParam<TLineCase> {};

TEST_P(ReadLineCases, Frames) {
    TFixture f(GetParam().Input);
    QByteArray line;
    EXPECT_EQ(f.Reader.ReadLine(&line), GetParam().Result);
    if (GetParam().Result == TRequestReader::rrOk) {
        EXPECT_EQ(line, GetParam().Line);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadLineCases,
    ::testing::Values(
        TLineCase{"CrLf", "QLM_MESSAGE\t2\r\nrest", TRequestReader::rrOk, "QLM_MESSAGE\t2"},
        TLineCase{"BareLf", "a\tb\nrest", TRequestReader::rrOk, "a\tb"},
        TLineCase{"OnlyOneCrDropped", "a\r\r\n", TRequestReader::rrOk, "a\r"},
        TLineCase{"EmptyLine", "\r\n", TRequestReader::rrOk, ""},
        TLineCase{"ClosedBeforeLf", "no end", TRequestReader::rrClosed, ""},
        TLineCase{"LongestLine", QByteArray(16384, 'x') + "\r\n", TRequestReader::rrOk, QByteArray(16384, 'x')},
        TLineCase{"OneByteTooLong", QByteArray(16385, 'x') + "\r\n", TRequestReader::rrTooLong, ""},
        TLineCase{"EndlessLine", QByteArray(100000, 'x'), TRequestReader::rrTooLong, ""}),
    TCaseName());

// A connection whose bytes arrive in pieces: each wait for data lets the next
// piece in, as a socket hands over whatever has come so far.
class TPieceDevice : public QIODevice {
public:
    explicit TPieceDevice(QList<QByteArray> pieces) : FPieces(std::move(pieces)) { open(ReadOnly | Unbuffered); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return FArrived.size() + QIODevice::bytesAvailable(); }
    bool Arrive() {
        if (FPieces.isEmpty()) return false;
        FArrived += FPieces.takeFirst();
        return true;
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 n = qMin<qint64>(maxSize, FArrived.size());
        std::memcpy(data, FArrived.constData(), size_t(n));
        FArrived.remove(0, n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QList<QByteArray> FPieces;
    QByteArray FArrived;
};

struct TPieceLineCase {
    const char* Name;
    QList<QByteArray> Pieces;
    TRequestReader::TResult Result;
    QByteArray Line;
};
void PrintTo(const TPieceLineCase& c, std::ostream* os) { *os << c.Name; }

class ReadLinePieceCases : public ::testing::TestWithParam<TPieceLineCase> {};

TEST_P(ReadLinePieceCases, FramesAcrossReads) {
    TPieceDevice device(GetParam().Pieces);
    TRequestReader reader(device, [&device](int) { return device.Arrive(); });
    QByteArray line;
    EXPECT_EQ(reader.ReadLine(&line), GetParam().Result);
    if (GetParam().Result == TRequestReader::rrOk) {
        EXPECT_EQ(line, GetParam().Line);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadLinePieceCases,
    ::testing::Values(
        TPieceLineCase{"CrThenLf", {"QLM_MESSAGE\t2\r", "\nrest"}, TRequestReader::rrOk, "QLM_MESSAGE\t2"},
        // The CR still waiting for its LF belongs to the line's end, not the line.
        TPieceLineCase{"LongestLineLfLater", {QByteArray(16384, 'x') + "\r", "\n"}, TRequestReader::rrOk,
                       QByteArray(16384, 'x')},
        TPieceLineCase{"OneByteTooLongLfLater", {QByteArray(16385, 'x') + "\r", "\n"},
                       TRequestReader::rrTooLong, ""}),
    TCaseName());

// A line that ends exactly where the buffer ends: the next line starts in
// the next read and must be searched from its first byte.
TEST(RequestReader, SecondLineAfterTheBufferEnd) {
    TPieceDevice device({"A\t2\r\n", "B\t2\r\nrest"});
    TRequestReader reader(device, [&device](int) { return device.Arrive(); });
    device.Arrive();
    QByteArray line;
    ASSERT_EQ(reader.ReadLine(&line), TRequestReader::rrOk);
    EXPECT_EQ(line, "A\t2");
    ASSERT_EQ(reader.ReadLine(&line), TRequestReader::rrOk);
    EXPECT_EQ(line, "B\t2");
}

// TakeLine: the listener's framing, one arrival at a time and never waiting.
struct TTakeCase {
    const char* Name;
    QList<QByteArray> Pieces;
    QList<TRequestReader::TResult> Results; // after each piece arrived
    QByteArray Line;
    QByteArray Rest; // what a read after the line gets
};
void PrintTo(const TTakeCase& c, std::ostream* os) { *os << c.Name; }

class TakeLineCases : public ::testing::TestWithParam<TTakeCase> {};

TEST_P(TakeLineCases, FramesWhatHasArrived) {
    const TTakeCase& c = GetParam();
    TPieceDevice device(c.Pieces);
    bool waited = false;
    TRequestReader reader(device, [&waited](int) { return waited = true, false; });
    QByteArray line;
    for (const TRequestReader::TResult expected : c.Results) {
        device.Arrive();
        ASSERT_EQ(reader.TakeLine(&line), expected);
    }
    EXPECT_FALSE(waited);
    if (c.Results.last() != TRequestReader::rrOk) return;
    EXPECT_EQ(line, c.Line);
    QByteArray rest;
    ASSERT_EQ(reader.ReadInto(c.Rest.size(), [&rest](const char* d, qint64 n) { return rest.append(d, n), true; }),
              TRequestReader::rrOk);
    EXPECT_EQ(rest, c.Rest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TakeLineCases,
    ::testing::Values(
        TTakeCase{"WholeLineWithBody", {"QLM_TEST\t2\r\nbody"}, {TRequestReader::rrOk}, "QLM_TEST\t2", "body"},
        TTakeCase{"ByteByByte", {"Q", "\t", "2", "\r", "\n", "x"},
                  {TRequestReader::rrPending, TRequestReader::rrPending, TRequestReader::rrPending,
                   TRequestReader::rrPending, TRequestReader::rrOk}, "Q\t2", ""},
        TTakeCase{"CrLfSplit", {"T\t2\r", "\nrest"}, {TRequestReader::rrPending, TRequestReader::rrOk}, "T\t2", "rest"},
        TTakeCase{"LongestLineInPieces", {QByteArray(10000, 'x'), QByteArray(6384, 'x') + "\r", "\nz"},
                  {TRequestReader::rrPending, TRequestReader::rrPending, TRequestReader::rrOk}, QByteArray(16384, 'x'), "z"},
        TTakeCase{"EndlessLineIsTooLong", {QByteArray(10000, 'x'), QByteArray(10000, 'x')},
                  {TRequestReader::rrPending, TRequestReader::rrTooLong}, "", ""},
        TTakeCase{"NothingYet", {}, {TRequestReader::rrPending}, "", ""}),
    TCaseName());

TEST(RequestReader, LineThenBlocksShareTheBuffer) {
    TFixture f("H\t2\r\n" + Length(5) + "hello" + Length(0) + Length(3) + "abc");
    QByteArray line, block;
    ASSERT_EQ(f.Reader.ReadLine(&line), TRequestReader::rrOk);
    EXPECT_EQ(line, "H\t2");
    ASSERT_EQ(f.Reader.ReadBlock(&block, 100), TRequestReader::rrOk);
    EXPECT_EQ(block, "hello");
    ASSERT_EQ(f.Reader.ReadBlock(&block, 100), TRequestReader::rrOk);
    EXPECT_TRUE(block.isEmpty());
    ASSERT_EQ(f.Reader.ReadBlock(&block, 100), TRequestReader::rrOk);
    EXPECT_EQ(block, "abc");
    EXPECT_EQ(f.Reader.ReadBlock(&block, 100), TRequestReader::rrClosed);
}

struct TBlockCase {
    const char* Name;
    QByteArray Input;
    qint64 MaxSize;
    TRequestReader::TResult Result;
};
void PrintTo(const TBlockCase& c, std::ostream* os) { *os << c.Name; }

class ReadBlockCases : public ::testing::TestWithParam<TBlockCase> {};

TEST_P(ReadBlockCases, RefusesBadLengths) {
    TFixture f(GetParam().Input);
    QByteArray block;
    EXPECT_EQ(f.Reader.ReadBlock(&block, GetParam().MaxSize), GetParam().Result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadBlockCases,
    ::testing::Values(TBlockCase{"Negative", Length(-1) + "x", 100, TRequestReader::rrInvalid},
                      TBlockCase{"AboveLimit", Length(101) + QByteArray(101, 'x'), 100, TRequestReader::rrTooLong},
                      // A huge announced length must not be trusted before the bytes come.
                      TBlockCase{"HugeLengthShortData", Length(0x7FFFFFFF) + "abc", TRequestReader::MaxMessageBody,
                                 TRequestReader::rrTooLong},
                      TBlockCase{"ShortData", Length(10) + "abc", 100, TRequestReader::rrClosed},
                      TBlockCase{"TruncatedLength", QByteArray("\x00\x00", 2), 100, TRequestReader::rrClosed},
                      TBlockCase{"AtLimit", Length(100) + QByteArray(100, 'y'), 100, TRequestReader::rrOk}),
    TCaseName());

TEST(RequestReader, ReadIntoStopsWhenSinkRefuses) {
    TFixture f(QByteArray(1000, 'z'));
    qint64 seen = 0;
    EXPECT_EQ(f.Reader.ReadInto(1000, [&](const char*, qint64 n) { seen += n; return false; }), TRequestReader::rrInvalid);
    EXPECT_GT(seen, 0);
}

// A large body read partly from the device's buffer and then from the socket
// itself: exactly its bytes, never one past its end, and a stalled, closed or
// stopped peer ends it.
struct TSocketBodyCase {
    const char* Name;
    qint64 SocketPart; // body bytes the peer writes to the socket after the buffered part
    bool Closes;       // the peer closes after writing
    bool Stopping;
    int StallMs;
    TRequestReader::TResult Result;
};
void PrintTo(const TSocketBodyCase& c, std::ostream* os) { *os << c.Name; }

class SocketBodyCases : public ::testing::TestWithParam<TSocketBodyCase> {};

TEST_P(SocketBodyCases, ReadStraightFromTheSocket) {
    const TSocketBodyCase& c = GetParam();
    constexpr qint64 kBuffered = 100 * 1024, kBody = 1024 * 1024;
    QByteArray body(kBody, Qt::Uninitialized);
    for (qint64 i = 0; i < kBody; ++i) body[i] = char(i * 7 + i / 251);
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    // What the device's buffer already holds: the header, the length, the body's start.
    QByteArray held = "QLM_FILE\t2\r\n" + Length(qint32(kBody)) + body.left(kBuffered);
    QBuffer device(&held);
    device.open(QIODevice::ReadOnly);
    TRequestReader reader(device, [](int) { return false; });
    reader.SetSocket(pair[0], [&c] { return c.Stopping; });
    std::thread peer([&] {
        const QByteArray rest = body.mid(kBuffered, c.SocketPart) + "NEXT\r\n";
        for (qint64 done = 0; done < rest.size();) {
            const ssize_t n = ::send(pair[1], rest.constData() + done, size_t(rest.size() - done), MSG_NOSIGNAL);
            if (n <= 0) break;
            done += n;
        }
        if (c.Closes) ::shutdown(pair[1], SHUT_WR);
    });
    QByteArray line, got;
    qint32 length = 0;
    ASSERT_EQ(reader.ReadLine(&line), TRequestReader::rrOk);
    ASSERT_EQ(reader.ReadLength(&length), TRequestReader::rrOk);
    EXPECT_EQ(reader.ReadInto(length, [&](const char* data, qint64 n) { got.append(data, n); return true; }, c.StallMs),
              c.Result);
    peer.join();
    if (c.Result == TRequestReader::rrOk) {
        EXPECT_TRUE(got == body);
        char next[16] = {};
        EXPECT_EQ(::recv(pair[0], next, sizeof next, MSG_DONTWAIT), 6);
        EXPECT_STREQ(next, "NEXT\r\n");
    }
    ::close(pair[0]);
    ::close(pair[1]);
}

INSTANTIATE_TEST_SUITE_P(Cases, SocketBodyCases,
                         ::testing::Values(TSocketBodyCase{"RestFromTheSocket", 1024 * 1024, false, false, 5000, TRequestReader::rrOk},
                                           TSocketBodyCase{"PeerClosesInside", 300 * 1024, true, false, 60000, TRequestReader::rrClosed},
                                           TSocketBodyCase{"PeerStallsInside", 300 * 1024, false, false, 200, TRequestReader::rrClosed},
                                           TSocketBodyCase{"StopEndsTheWait", 300 * 1024, false, true, 60000, TRequestReader::rrClosed}),
                         TCaseName());

// The pace a body must keep once a worker reads it: a trickle is cut however
// often its bytes come, a fast body passes, and a pause passes only on time
// its bytes banked before, never more than the pace allows ahead.
struct TPaceStep {
    qint64 Bytes;     // written at once
    int PauseAfterMs; // then nothing for this long
};
struct TPaceCase {
    const char* Name;
    TBodyPace Pace;
    QList<TPaceStep> Steps; // the peer's schedule; what is left of the body follows at once
    int TrickleMs;          // after the steps: one byte per this many ms (0: none)
    int TrickleForMs;       // for this long, then the rest at once
    TRequestReader::TResult Result;
    int StallMs = 10000;
};
void PrintTo(const TPaceCase& c, std::ostream* os) { *os << c.Name; }

class PaceCases : public ::testing::TestWithParam<TPaceCase> {};

TEST_P(PaceCases, BodyKeepsItsPaceOrIsCut) {
    const TPaceCase& c = GetParam();
    constexpr qint64 kBody = 2 * 1024 * 1024;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    QByteArray held = Length(qint32(kBody));
    QBuffer device(&held);
    device.open(QIODevice::ReadOnly);
    TRequestReader reader(device, [](int) { return false; });
    std::atomic<bool> stop{false};
    reader.SetSocket(pair[0], [&stop] { return stop.load(); });
    reader.SetPace(c.Pace);
    std::thread peer([&] {
        const QByteArray body(kBody, 'p');
        qint64 done = 0;
        const auto write = [&](qint64 n) {
            for (qint64 end = qMin(kBody, done + n); done < end && !stop.load();) {
                const ssize_t w = ::send(pair[1], body.constData() + done, size_t(end - done), MSG_NOSIGNAL);
                if (w <= 0) return stop.store(true);
                done += w;
            }
        };
        for (const TPaceStep& step : c.Steps) {
            write(step.Bytes);
            for (int waited = 0; waited < step.PauseAfterMs && !stop.load(); waited += 10) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        for (int trickled = 0; c.TrickleMs > 0 && trickled < c.TrickleForMs && done < kBody && !stop.load();
             trickled += c.TrickleMs) {
            write(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(c.TrickleMs));
        }
        write(kBody);
    });
    qint32 length = 0;
    ASSERT_EQ(reader.ReadLength(&length), TRequestReader::rrOk);
    qint64 got = 0;
    EXPECT_EQ(reader.ReadInto(length, [&](const char*, qint64 n) { return got += n, true; }, c.StallMs), c.Result);
    EXPECT_EQ(reader.TooSlow(), c.Result == TRequestReader::rrTooSlow);
    if (c.Result == TRequestReader::rrOk) EXPECT_EQ(got, kBody);
    // A cut request stays cut.
    if (c.Result == TRequestReader::rrTooSlow) {
        qint32 next = 0;
        EXPECT_EQ(reader.ReadLength(&next), TRequestReader::rrTooSlow);
    }
    stop = true;
    ::shutdown(pair[0], SHUT_RDWR);
    peer.join();
    ::close(pair[0]);
    ::close(pair[1]);
}

// 64 KiB a second at the least: 1 KiB banks 1/64 s.
constexpr TBodyPace kPace{64 * 1024, 300, 2000};

INSTANTIATE_TEST_SUITE_P(
    Cases, PaceCases,
    ::testing::Values(
        TPaceCase{"FastBody", kPace, {}, 0, 0, TRequestReader::rrOk},
        TPaceCase{"TrickleFromTheStart", kPace, {}, 20, 6000, TRequestReader::rrTooSlow},
        TPaceCase{"NoFloorLetsATrickleBe", TBodyPace{}, {{2 * 1024 * 1024 - 20, 0}}, 20, 2000, TRequestReader::rrOk},
        // A sender whose user answers a question: 1 MiB banked 16 s, held to 2 s ahead.
        TPaceCase{"PauseOnBankedTime", kPace, {{1024 * 1024, 900}}, 0, 0, TRequestReader::rrOk},
        // 16 KiB bank a quarter of a second: with the grace not enough for the pause.
        TPaceCase{"PauseLongerThanBanked", kPace, {{16 * 1024, 1500}}, 0, 0, TRequestReader::rrTooSlow},
        // Falling silent is cut when the pace runs out, not only when the stall does.
        TPaceCase{"SilentBeforeTheStall", kPace, {{16 * 1024, 4000}}, 0, 0, TRequestReader::rrTooSlow, 2500},
        // A burst cannot buy a trickle for longer than the pace's lead: cut within
        // about 2 s, long before the 6 s the trickle lasts.
        TPaceCase{"BurstThenTrickle", kPace, {{1024 * 1024, 0}}, 20, 6000, TRequestReader::rrTooSlow}),
    TCaseName());

} // namespace
