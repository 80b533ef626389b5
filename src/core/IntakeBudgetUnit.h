#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QWaitCondition>
#include <atomic>
#include <functional>
#include <memory>

class TIntakeBudget;

// Bytes of one arrival, held from its first body byte until the last copy
// that carries them (router queue, chat-log writer queue) lets go.
class TIntakeReservation {
public:
    TIntakeReservation(std::shared_ptr<TIntakeBudget> budget, QString source, qint64 bytes);
    ~TIntakeReservation();
    TIntakeReservation(const TIntakeReservation&) = delete;
    TIntakeReservation& operator=(const TIntakeReservation&) = delete;
    qint64 Bytes() const { return FBytes; }

private:
    const std::shared_ptr<TIntakeBudget> FBudget;
    const QString FSource;
    const qint64 FBytes;
};
// Shared by the copies of a record; null: nothing held.
using TIntakeHold = std::shared_ptr<const TIntakeReservation>;

// What peers' arrivals may hold in memory at once, in total and per source
// address, so that one peer's large or many messages wait for their own bytes
// to be logged while every other peer's are still taken. A request that does
// not fit waits unread (TCP pushes back on its sender); a datagram that does
// not fit is dropped. An arrival larger than the limit never fits; one larger
// than a share is still taken when its source holds nothing, and small ones have a little room beyond the total,
// so that a peer's ordinary message never waits behind another's big ones.
class TIntakeBudget : public std::enable_shared_from_this<TIntakeBudget> {
public:
    static constexpr qint64 SmallArrival = 1024 * 1024;

    // Made shared: reservations keep their budget alive.
    static std::shared_ptr<TIntakeBudget> Create(qint64 limit, qint64 sourceShare);

    // Without waiting; null when the bytes do not fit now (counted as refused).
    TIntakeHold TryAcquire(const QString& source, qint64 bytes);
    // The same for a caller that has somewhere to wait when the bytes do not fit (not counted).
    TIntakeHold TakeIfFits(const QString& source, qint64 bytes);
    // Waits until the bytes fit; null at once when they never can, else when deadline passes or stopping() turns
    // true first (checked every few hundred milliseconds).
    TIntakeHold Acquire(const QString& source, qint64 bytes, QDeadlineTimer deadline,
                        const std::function<bool()>& stopping = {});

    qint64 Limit() const { return FLimit; }
    qint64 SourceShare() const { return FSourceShare; }
    qint64 Used() const;
    qint64 UsedBy(const QString& source) const;
    quint64 Refused() const { return FRefused.load(std::memory_order_relaxed); } // datagrams dropped, waits given up
    quint64 Waited() const { return FWaited.load(std::memory_order_relaxed); }   // requests that had to wait

private:
    TIntakeBudget(qint64 limit, qint64 sourceShare);
    friend class TIntakeReservation;
    bool Fits(const QString& source, qint64 bytes) const; // under FLock
    TIntakeHold Take(const QString& source, qint64 bytes); // under FLock
    void Release(const QString& source, qint64 bytes);

    const qint64 FLimit;
    const qint64 FSourceShare;
    mutable QMutex FLock;
    QWaitCondition FFreed;
    qint64 FUsed = 0;
    QHash<QString, qint64> FBySource; // only sources holding bytes
    std::atomic<quint64> FRefused{0};
    std::atomic<quint64> FWaited{0};
};
