#include "core/IntakeBudgetUnit.h"

#include <QMutexLocker>

namespace {
// How often a waiting request looks at its stop flag.
constexpr qint64 kWaitSliceMs = 250;
} // namespace

TIntakeReservation::TIntakeReservation(std::shared_ptr<TIntakeBudget> budget, QString source, qint64 bytes)
    : FBudget(std::move(budget)), FSource(std::move(source)), FBytes(bytes) {}

TIntakeReservation::~TIntakeReservation() { FBudget->Release(FSource, FBytes); }

std::shared_ptr<TIntakeBudget> TIntakeBudget::Create(qint64 limit, qint64 sourceShare) {
    return std::shared_ptr<TIntakeBudget>(new TIntakeBudget(limit, sourceShare));
}

TIntakeBudget::TIntakeBudget(qint64 limit, qint64 sourceShare) : FLimit(limit), FSourceShare(sourceShare) {}

bool TIntakeBudget::Fits(const QString& source, qint64 bytes) const {
    if (bytes > FLimit) return false;
    const qint64 held = FBySource.value(source);
    if (held > 0 && held + bytes > FSourceShare) return false;
    const qint64 limit = bytes <= SmallArrival ? FLimit + FLimit / 8 : FLimit;
    return FUsed == 0 || FUsed + bytes <= limit;
}

TIntakeHold TIntakeBudget::Take(const QString& source, qint64 bytes) {
    FUsed += bytes;
    FBySource[source] += bytes;
    return std::make_shared<const TIntakeReservation>(shared_from_this(), source, bytes);
}

TIntakeHold TIntakeBudget::TryAcquire(const QString& source, qint64 bytes) {
    QMutexLocker lock(&FLock);
    if (!Fits(source, bytes)) {
        ++FRefused;
        return {};
    }
    return Take(source, bytes);
}

TIntakeHold TIntakeBudget::TakeIfFits(const QString& source, qint64 bytes) {
    QMutexLocker lock(&FLock);
    return Fits(source, bytes) ? Take(source, bytes) : TIntakeHold();
}

TIntakeHold TIntakeBudget::Acquire(const QString& source, qint64 bytes, QDeadlineTimer deadline,
                                   const std::function<bool()>& stopping) {
    QMutexLocker lock(&FLock);
    if (Fits(source, bytes)) return Take(source, bytes);
    if (bytes > FLimit) {
        ++FRefused;
        return {};
    }
    ++FWaited;
    while (!Fits(source, bytes)) {
        if (deadline.hasExpired() || (stopping && stopping())) {
            ++FRefused;
            return {};
        }
        FFreed.wait(&FLock, QDeadlineTimer(qMin(kWaitSliceMs, qMax<qint64>(1, deadline.remainingTime()))));
    }
    return Take(source, bytes);
}

void TIntakeBudget::Release(const QString& source, qint64 bytes) {
    {
        QMutexLocker lock(&FLock);
        FUsed -= bytes;
        const auto it = FBySource.find(source);
        if (it != FBySource.end() && (*it -= bytes) <= 0) FBySource.erase(it);
    }
    FFreed.wakeAll();
}

qint64 TIntakeBudget::Used() const {
    QMutexLocker lock(&FLock);
    return FUsed;
}

qint64 TIntakeBudget::UsedBy(const QString& source) const {
    QMutexLocker lock(&FLock);
    return FBySource.value(source);
}
