#include "protocol/RequestReaderUnit.h"

#include "platform/SocketOptionsUnit.h"

#include <QDeadlineTimer>
#include <QtEndian>
#include <limits>

namespace {
constexpr qint64 kReadChunk = 64 * 1024;
constexpr qint64 kDirectChunk = 128 * 1024;
} // namespace

TRequestReader::TRequestReader(QIODevice& device, std::function<bool(int)> waitForData)
    : FDevice(device), FWait(std::move(waitForData)) {}

void TRequestReader::SetPace(const TBodyPace& pace) {
    FPace = pace;
    FPaceClock.start();
    FPaceDeadlineUs = qint64(pace.GraceMs) * 1000;
    FTooSlow = false;
}

qint64 TRequestReader::PaceLeftMs() const {
    if (FPace.MinBytesPerSecond <= 0) return -1;
    return qMax<qint64>(0, (FPaceDeadlineUs - FPaceClock.nsecsElapsed() / 1000 + 999) / 1000);
}

int TRequestReader::PacedWait(int waitMs) const {
    const qint64 left = PaceLeftMs();
    if (left < 0) return waitMs;
    if (waitMs < 0) return int(qMin<qint64>(left, std::numeric_limits<int>::max()));
    return int(qMin<qint64>(waitMs, left));
}

bool TRequestReader::Arrived(qint64 bytes) {
    if (FPace.MinBytesPerSecond <= 0 || FTooSlow) return !FTooSlow;
    const qint64 now = FPaceClock.nsecsElapsed() / 1000;
    // Never more banked than one pause may last: a burst cannot buy a long trickle.
    const qint64 ahead = qint64(qMax(FPace.AheadMs, FPace.GraceMs)) * 1000;
    FPaceDeadlineUs = qMin(now + ahead, FPaceDeadlineUs + bytes * 1000000 / FPace.MinBytesPerSecond);
    FTooSlow = now >= FPaceDeadlineUs;
    return !FTooSlow;
}

bool TRequestReader::PaceHolds() {
    if (FPace.MinBytesPerSecond > 0 && FPaceClock.nsecsElapsed() / 1000 >= FPaceDeadlineUs) FTooSlow = true;
    return !FTooSlow;
}

bool TRequestReader::Fill(int waitMs) {
    if (FTooSlow) return false;
    if (FPos > 0 && FPos == FBuffer.size()) {
        FBuffer.clear();
        FPos = 0;
    }
    if (FDevice.bytesAvailable() <= 0 && !(FWait && FWait(PacedWait(waitMs))) && FDevice.bytesAvailable() <= 0) {
        PaceHolds();
        return false;
    }
    const QByteArray more = FDevice.read(kReadChunk);
    if (more.isEmpty()) return false;
    FBuffer += more;
    return Arrived(more.size());
}

TRequestReader::TResult TRequestReader::ScanLine(QByteArray* line, qsizetype maxLength, qsizetype* scanned) {
    const qsizetype lf = FBuffer.indexOf('\n', FPos + *scanned);
    if (lf >= 0) {
        qsizetype end = lf;
        if (end > FPos && FBuffer[end - 1] == '\r') --end;
        if (end - FPos > maxLength) return rrTooLong;
        *line = FBuffer.mid(FPos, end - FPos);
        FPos = lf + 1;
        return rrOk;
    }
    // CR LF itself may still come, so allow for its two bytes.
    if (FBuffer.size() - FPos > maxLength + 1) return rrTooLong;
    *scanned = FBuffer.size() - FPos;
    return rrPending;
}

TRequestReader::TResult TRequestReader::ReadLine(QByteArray* line, int timeoutMs, qsizetype maxLength) {
    if (FTooSlow) return rrTooSlow;
    const QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    qsizetype scanned = 0;
    for (;;) {
        if (const TResult r = ScanLine(line, maxLength, &scanned); r != rrPending) return r;
        if (deadline.hasExpired()) return rrTimeout;
        const int wait = deadline.isForever() ? -1 : int(qMax<qint64>(1, deadline.remainingTime()));
        if (!Fill(wait)) return Ended(deadline.hasExpired() ? rrTimeout : rrClosed);
    }
}

TRequestReader::TResult TRequestReader::TakeLine(QByteArray* line, qsizetype maxLength) {
    qsizetype scanned = 0;
    for (;;) {
        if (const TResult r = ScanLine(line, maxLength, &scanned); r != rrPending) return r;
        // Only what has arrived: the wait is never asked here.
        if (FDevice.bytesAvailable() <= 0) return rrPending;
        const QByteArray more = FDevice.read(qMin<qint64>(FDevice.bytesAvailable(), maxLength + 2));
        if (more.isEmpty()) return rrPending;
        if (FPos > 0 && FPos == FBuffer.size()) {
            FBuffer.clear();
            FPos = 0;
        }
        FBuffer += more;
    }
}

TRequestReader::TResult TRequestReader::ReadLength(qint32* length, int stallMs) {
    if (FTooSlow) return rrTooSlow;
    while (FBuffer.size() - FPos < 4)
        if (!Fill(stallMs)) return Ended(rrClosed);
    *length = qFromBigEndian<qint32>(FBuffer.constData() + FPos);
    FPos += 4;
    return rrOk;
}

bool TRequestReader::PeekLength(qint32* length) {
    while (FBuffer.size() - FPos < 4) {
        if (FDevice.bytesAvailable() <= 0) return false;
        const QByteArray more = FDevice.read(kReadChunk);
        if (more.isEmpty()) return false;
        if (FPos > 0 && FPos == FBuffer.size()) {
            FBuffer.clear();
            FPos = 0;
        }
        FBuffer += more;
    }
    *length = qFromBigEndian<qint32>(FBuffer.constData() + FPos);
    return true;
}

TRequestReader::TResult TRequestReader::ReadBlock(QByteArray* block, qint64 maxSize, int stallMs) {
    qint32 length = 0;
    if (const TResult r = ReadLength(&length, stallMs); r != rrOk) return r;
    if (length < 0) return rrInvalid;
    if (length > maxSize) return rrTooLong;
    block->clear();
    // Grows as bytes arrive: a length alone never reserves memory.
    return ReadInto(length, [block](const char* data, qint64 size) {
        block->append(data, size);
        return true;
    }, stallMs);
}

TRequestReader::TResult TRequestReader::ReadSocketInto(qint64 remaining, QByteArray& piece,
                                                       const std::function<bool(const char*, qint64)>& sink, int stallMs) {
    QDeadlineTimer stall(stallMs);
    while (remaining > 0) {
        // Waits in slices so that a stop does not have to sit out a slow peer.
        const int slice = PacedWait(stall.isForever() ? 250 : int(qBound<qint64>(qint64(0), stall.remainingTime(), qint64(250))));
        const Platform::TReadStep step =
            Platform::ReadSome(FDescriptor, piece.data(), qMin<qint64>(remaining, piece.size()), slice);
        if (step.Closed) return rrClosed;
        if (step.Read == 0) {
            if (!PaceHolds()) return rrTooSlow;
            if (stall.hasExpired() || (FStopping && FStopping())) return rrClosed;
            continue;
        }
        if (!Arrived(step.Read)) return rrTooSlow;
        if (!sink(piece.constData(), step.Read)) return rrInvalid;
        remaining -= step.Read;
        stall.setRemainingTime(stallMs);
    }
    return rrOk;
}

TRequestReader::TResult TRequestReader::ReadInto(qint64 size, const std::function<bool(const char*, qint64)>& sink,
                                                 int stallMs) {
    if (FTooSlow) return rrTooSlow;
    qint64 remaining = size;
    QByteArray direct;
    while (remaining > 0) {
        // Once the buffer is used up, large bodies go from the device straight to the sink.
        if (FPos == FBuffer.size() && remaining > kReadChunk) {
            if (direct.isEmpty()) direct.resize(kDirectChunk);
            // Only once the device's own buffer (not the system's) is empty.
            if (FDescriptor >= 0 && FDevice.QIODevice::bytesAvailable() <= 0)
                return ReadSocketInto(remaining, direct, sink, stallMs);
            if (FDevice.bytesAvailable() <= 0 && !(FWait && FWait(PacedWait(stallMs))) && FDevice.bytesAvailable() <= 0)
                return PaceHolds() ? rrClosed : rrTooSlow;
            const qint64 got = FDevice.read(direct.data(), qMin<qint64>(remaining, direct.size()));
            if (got <= 0) return rrClosed;
            if (!Arrived(got)) return rrTooSlow;
            if (!sink(direct.constData(), got)) return rrInvalid;
            remaining -= got;
            continue;
        }
        if (FPos == FBuffer.size() && !Fill(stallMs)) return Ended(rrClosed);
        const qint64 take = qMin<qint64>(remaining, FBuffer.size() - FPos);
        if (!sink(FBuffer.constData() + FPos, take)) return rrInvalid;
        FPos += take;
        remaining -= take;
    }
    return rrOk;
}
