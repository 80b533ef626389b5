#pragma once

#include "core/PostedEventUnit.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <atomic>
#include <functional>
#include <typeinfo>

// An event that passed the router's admission; only these count as pending,
// in total and for the source it came from.
class TAdmittedEvent final : public TPostedEvent {
public:
    TAdmittedEvent(QString source, int id, qintptr wParam, qintptr lParam, std::unique_ptr<TEventRecordBase> record = {})
        : TPostedEvent(id, wParam, lParam, std::move(record)), Source(std::move(source)) {}
    const QString Source; // empty: the node itself
};

// What the router dropped instead of delivering, for the CLI and the tests.
struct TRouterCounts {
    quint64 Unrouted = 0;   // no subsystem owns the id
    quint64 Mistyped = 0;   // the record is not the type the owner takes
    quint64 Overflowed = 0; // the main thread was too far behind: never posted
    quint64 Throttled = 0;  // its source already had its share waiting: never posted
};

// The engine's switchboard: posted events carry an id and a record of one
// type per kind of event, and each subsystem registers the ids it owns with
// the record types it takes; an id may carry several kinds (a message and a
// refusal), each routed to the handler of its record's type. Events cross
// from the listener threads here; handlers run on the router's thread. An id
// nobody owns, or a record no handler of the id takes, is dropped and
// counted, never cast. At most MaxPending events wait at once, so a flood of
// datagrams cannot grow memory without bound; and one source address may hold
// at most an eighth of them, so a flood from one host is dropped at its own
// share while every other host's events are still taken.
class TEventRouter : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultMaxPending = 10000;
    static constexpr int SourceShareDivisor = 8;

    explicit TEventRouter(int maxPending = DefaultMaxPending, QObject* parent = nullptr);

    // Main thread, before listening starts. A second handler of the same id
    // and type replaces the first.
    template <typename T>
    void Register(int id, std::function<void(qintptr wParam, T record)> handler) {
        Add(id, &typeid(T), [h = std::move(handler)](TPostedEvent& e) {
            std::unique_ptr<T> record = e.TakeRecord<T>();
            h(e.WParam(), std::move(*record));
        });
    }
    // An event without a record (one that carries a record is mistyped).
    void RegisterPlain(int id, std::function<void(qintptr wParam)> handler);
    bool IsRegistered(int id) const { return FHandlers.contains(id); }

    // Any thread. False (and counted) when too many events are waiting.
    template <typename T>
    bool Post(int id, qintptr wParam, qintptr lParam, T record) {
        return PostFrom(QString(), id, wParam, lParam, std::move(record));
    }
    bool Post(int id, qintptr wParam = 0, qintptr lParam = 0);
    // What a peer sent: also false (and counted) when source, its address,
    // already has its share of events waiting.
    template <typename T>
    bool PostFrom(const QString& source, int id, qintptr wParam, qintptr lParam, T record) {
        if (!Admit(source)) return false;
        QCoreApplication::postEvent(
            this, new TAdmittedEvent(source, id, wParam, lParam, std::make_unique<TEventRecord<T>>(std::move(record))));
        return true;
    }

    // Called (on the posting thread) for each event dropped because its
    // source had its share waiting; set before listening starts.
    void SetOnThrottled(std::function<void(const QString& source)> onThrottled) { FOnThrottled = std::move(onThrottled); }
    // A stopped router drops what arrives (the node is shutting down).
    void SetEnabled(bool enabled) { FEnabled = enabled; }
    TRouterCounts Counts() const;
    int Pending() const { return FPending.load(std::memory_order_relaxed); }
    int PendingFrom(const QString& source) const;
    int SourceShare() const { return FSourceShare; }

protected:
    bool event(QEvent* e) override;

private:
    bool Admit(const QString& source);
    void Release(const QString& source);
    using THandler = std::function<void(TPostedEvent&)>;
    // type: the record's, null for an event without one.
    void Add(int id, const std::type_info* type, THandler handler);

    struct TTypedHandler {
        const std::type_info* Type = nullptr;
        THandler Handle;
    };
    QHash<int, QList<TTypedHandler>> FHandlers;
    const int FMaxPending;
    const int FSourceShare;
    mutable QMutex FSourceLock; // guards FSourcePending: posts come from the listener threads
    QHash<QString, int> FSourcePending; // only sources with events waiting
    bool FEnabled = true;
    std::function<void(const QString&)> FOnThrottled;
    std::atomic<int> FPending{0};
    std::atomic<quint64> FUnrouted{0};
    std::atomic<quint64> FMistyped{0};
    std::atomic<quint64> FOverflowed{0};
    std::atomic<quint64> FThrottled{0};
};
