#pragma once

#include <QHash>
#include <QMutex>
#include <QString>
#include <atomic>
#include <functional>

// How often each source address may do something: a bucket per source that
// refills at PerSecond and holds at most Burst. Any thread. The table of
// sources is bounded: idle full buckets are forgotten first, and when it is
// still full a new source is let through rather than remembered.
class TSourceRate {
public:
    using TClock = std::function<qint64()>; // milliseconds, only differences count

    TSourceRate(double perSecond, int burst, int maxSources = 4096, TClock clock = {});

    // False (and counted) when source is over its rate.
    bool Allow(const QString& source);
    // Called (on the caller's thread) the first time a remembered source is
    // over its rate; before the rate is shared.
    void SetOnThrottled(std::function<void(const QString& source)> onThrottled) { FOnThrottled = std::move(onThrottled); }
    quint64 Dropped() const { return FDropped.load(std::memory_order_relaxed); }
    // Sources that were over their rate at least once since the start.
    quint64 SourcesThrottled() const { return FSourcesThrottled.load(std::memory_order_relaxed); }

private:
    struct TBucket {
        double Tokens = 0;
        qint64 Last = 0;
        bool Throttled = false;
    };
    void Forget(qint64 now);

    const double FPerSecond;
    const double FBurst;
    const int FMaxSources;
    TClock FClock;
    std::function<void(const QString&)> FOnThrottled;
    QMutex FLock;
    QHash<QString, TBucket> FBuckets;
    std::atomic<quint64> FDropped{0};
    std::atomic<quint64> FSourcesThrottled{0};
};
