#include "protocol/SourceRateUnit.h"

#include <QElapsedTimer>
#include <algorithm>

TSourceRate::TSourceRate(double perSecond, int burst, int maxSources, TClock clock)
    : FPerSecond(std::max(perSecond, 0.001)), FBurst(std::max(burst, 1)), FMaxSources(std::max(maxSources, 1)),
      FClock(std::move(clock)) {
    if (!FClock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        FClock = [timer] { return timer->elapsed(); };
    }
}

void TSourceRate::Forget(qint64 now) {
    // A bucket that has refilled since its last use says nothing a new one would not.
    const qint64 refillMs = qint64(FBurst / FPerSecond * 1000.0);
    for (auto it = FBuckets.begin(); it != FBuckets.end();)
        it = now - it->Last >= refillMs ? FBuckets.erase(it) : std::next(it);
}

bool TSourceRate::Allow(const QString& source) {
    const qint64 now = FClock();
    QMutexLocker lock(&FLock);
    auto it = FBuckets.find(source);
    if (it == FBuckets.end()) {
        if (FBuckets.size() >= FMaxSources) Forget(now);
        if (FBuckets.size() >= FMaxSources) return true;
        it = FBuckets.insert(source, TBucket{FBurst, now, false});
    }
    TBucket& bucket = *it;
    bucket.Tokens = std::min(FBurst, bucket.Tokens + double(now - bucket.Last) * FPerSecond / 1000.0);
    bucket.Last = now;
    if (bucket.Tokens >= 1.0 - 1e-9) { // refills add up in steps that may fall a hair short
        bucket.Tokens -= 1.0;
        return true;
    }
    FDropped.fetch_add(1, std::memory_order_relaxed);
    if (!bucket.Throttled) {
        bucket.Throttled = true;
        FSourcesThrottled.fetch_add(1, std::memory_order_relaxed);
        lock.unlock();
        if (FOnThrottled) FOnThrottled(source);
    }
    return false;
}
