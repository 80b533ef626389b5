#pragma once

#include <QByteArray>
#include <QIODevice>
#include <functional>

// Reads one TCP request: CR LF lines and length-prefixed blocks. Limits and
// timeouts keep a peer from holding a connection or memory without bound.
class TRequestReader {
public:
    enum TResult { rrOk, rrClosed, rrTooLong, rrTimeout, rrInvalid };

    static constexpr qsizetype MaxLineLength = 16384;
    static constexpr int HeaderTimeoutMs = 60 * 1000;
    static constexpr int StallTimeoutMs = 120 * 1000;
    static constexpr qint64 MaxMessageBody = 256ll * 1024 * 1024;
    static constexpr int NoTimeout = -1;

    // waitForData(ms) waits for more bytes on device (ms -1: without limit) and
    // returns false when none will come in that time.
    TRequestReader(QIODevice& device, std::function<bool(int)> waitForData);

    // A line up to LF, one CR before it dropped. timeoutMs bounds the whole line.
    TResult ReadLine(QByteArray* line, int timeoutMs = HeaderTimeoutMs, qsizetype maxLength = MaxLineLength);
    // A 32-bit big-endian signed length (negative: rrInvalid, above maxSize:
    // rrTooLong) followed by that many bytes. stallMs bounds each wait for data.
    TResult ReadBlock(QByteArray* block, qint64 maxSize, int stallMs = StallTimeoutMs);
    TResult ReadLength(qint32* length, int stallMs = StallTimeoutMs);
    // Exactly size bytes into sink, in pieces as they arrive.
    TResult ReadInto(qint64 size, const std::function<bool(const char*, qint64)>& sink, int stallMs = StallTimeoutMs);

private:
    bool Fill(int waitMs);

    QIODevice& FDevice;
    std::function<bool(int)> FWait;
    QByteArray FBuffer;
    qsizetype FPos = 0;
};
