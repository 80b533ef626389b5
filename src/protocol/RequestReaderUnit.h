#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QElapsedTimer>
#include <functional>

// The slowest a request's body may come once a worker reads it, so that a
// trickle cannot hold the worker: on average at least MinBytesPerSecond. It
// may start GraceMs behind, and bytes that come faster bank time for a later
// pause, up to AheadMs (a file's sender stops while its user answers a
// question). MinBytesPerSecond 0: no floor.
struct TBodyPace {
    qint64 MinBytesPerSecond = 0;
    int GraceMs = 0;
    int AheadMs = 0;
};

// Reads one TCP request: CR LF lines and length-prefixed blocks. Limits and
// timeouts keep a peer from holding a connection or memory without bound.
class TRequestReader {
public:
    // rrPending: TakeLine found no whole line yet and more bytes may come.
    // rrTooSlow: the request fell behind its pace; every later read says so too.
    enum TResult { rrOk, rrClosed, rrTooLong, rrTimeout, rrInvalid, rrPending, rrTooSlow };

    static constexpr qsizetype MaxLineLength = 16384;
    static constexpr int HeaderTimeoutMs = 10 * 1000;
    static constexpr int StallTimeoutMs = 120 * 1000;
    static constexpr qint64 MaxMessageBody = 256ll * 1024 * 1024;
    static constexpr int NoTimeout = -1;

    // waitForData(ms) waits for more bytes on device (ms -1: without limit) and
    // returns false when none will come in that time.
    TRequestReader(QIODevice& device, std::function<bool(int)> waitForData);

    // A line up to LF, one CR before it dropped. timeoutMs bounds the whole line.
    TResult ReadLine(QByteArray* line, int timeoutMs = HeaderTimeoutMs, qsizetype maxLength = MaxLineLength);
    // The same framing without waiting: the line when it is all here (the
    // bytes after it stay buffered for the next read), rrPending when its LF
    // has not come yet, rrTooLong as ReadLine. For event-driven callers.
    TResult TakeLine(QByteArray* line, qsizetype maxLength = MaxLineLength);
    // The wait used from now on: the reader moves with its socket to a worker.
    void SetWait(std::function<bool(int)> waitForData) { FWait = std::move(waitForData); }
    // The device's socket, and when to give up waiting on it: large bodies are
    // then read from the socket itself into one reused piece. Qt's buffer
    // would take fresh memory for every read.
    void SetSocket(qintptr descriptor, std::function<bool()> stopping) {
        FDescriptor = descriptor;
        FStopping = std::move(stopping);
    }
    // True once the server is stopping (SetSocket's stopping).
    bool Stopping() const { return FStopping && FStopping(); }
    // Bounds every read from now on (a worker's); the clock starts here.
    void SetPace(const TBodyPace& pace);
    // The pace starts again after a wait of ours (the peer was not read meanwhile).
    void RestartPace() { SetPace(FPace); }
    // A read ended because the request fell behind its pace.
    bool TooSlow() const { return FTooSlow; }
    // A 32-bit big-endian signed length (negative: rrInvalid, above maxSize:
    // rrTooLong) followed by that many bytes. stallMs bounds each wait for data.
    TResult ReadBlock(QByteArray* block, qint64 maxSize, int stallMs = StallTimeoutMs);
    TResult ReadLength(qint32* length, int stallMs = StallTimeoutMs);
    // The next length without taking it and without waiting: false when its
    // four bytes have not all come yet.
    bool PeekLength(qint32* length);
    // What may be read now without waiting on the peer (the device's own
    // buffer, not the system's).
    qint64 Buffered() const { return FBuffer.size() - FPos + FDevice.bytesAvailable(); }
    // Exactly size bytes into sink, in pieces as they arrive.
    TResult ReadInto(qint64 size, const std::function<bool(const char*, qint64)>& sink, int stallMs = StallTimeoutMs);

private:
    bool Fill(int waitMs);
    // waitMs (-1: without limit) shortened to what the pace has left.
    int PacedWait(int waitMs) const;
    qint64 PaceLeftMs() const;
    // Bytes came: they move the pace's deadline on. False once behind it.
    bool Arrived(qint64 bytes);
    // Nothing came in a wait: false (and TooSlow) when the pace ran out.
    bool PaceHolds();
    TResult Ended(TResult otherwise) const { return FTooSlow ? rrTooSlow : otherwise; }
    TResult ReadSocketInto(qint64 remaining, QByteArray& piece, const std::function<bool(const char*, qint64)>& sink,
                           int stallMs);
    // Looks for the LF in what is buffered; *scanned counts the bytes after
    // FPos already searched (Fill may move the buffer under an absolute offset).
    TResult ScanLine(QByteArray* line, qsizetype maxLength, qsizetype* scanned);

    QIODevice& FDevice;
    std::function<bool(int)> FWait;
    qintptr FDescriptor = -1;
    std::function<bool()> FStopping;
    QByteArray FBuffer;
    qsizetype FPos = 0;
    TBodyPace FPace;
    QElapsedTimer FPaceClock;
    qint64 FPaceDeadlineUs = 0; // on FPaceClock
    bool FTooSlow = false;
};
