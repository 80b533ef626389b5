#include "core/EventRouterUnit.h"

namespace {

// Both plain, or both records of one type.
bool SameType(const std::type_info* a, const std::type_info* b) { return a && b ? *a == *b : a == b; }

} // namespace

TEventRouter::TEventRouter(int maxPending, QObject* parent)
    : QObject(parent), FMaxPending(qMax(1, maxPending)), FSourceShare(qMax(1, FMaxPending / SourceShareDivisor)) {}

void TEventRouter::Add(int id, const std::type_info* type, THandler handler) {
    QList<TTypedHandler>& handlers = FHandlers[id];
    for (TTypedHandler& h : handlers)
        if (SameType(h.Type, type)) {
            h.Handle = std::move(handler);
            return;
        }
    handlers.append({type, std::move(handler)});
}

void TEventRouter::RegisterPlain(int id, std::function<void(qintptr wParam)> handler) {
    Add(id, nullptr, [h = std::move(handler)](TPostedEvent& e) { h(e.WParam()); });
}

bool TEventRouter::Post(int id, qintptr wParam, qintptr lParam) {
    if (!Admit(QString())) return false;
    QCoreApplication::postEvent(this, new TAdmittedEvent(QString(), id, wParam, lParam));
    return true;
}

bool TEventRouter::Admit(const QString& source) {
    QMutexLocker lock(source.isEmpty() ? nullptr : &FSourceLock);
    // The source's own share first: a flooding host loses its events, not another's.
    if (!source.isEmpty() && FSourcePending.value(source) >= FSourceShare) {
        FThrottled.fetch_add(1, std::memory_order_relaxed);
        lock.unlock();
        if (FOnThrottled) FOnThrottled(source);
        return false;
    }
    if (FPending.fetch_add(1, std::memory_order_relaxed) >= FMaxPending) {
        FPending.fetch_sub(1, std::memory_order_relaxed);
        FOverflowed.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    if (!source.isEmpty()) ++FSourcePending[source];
    return true;
}

void TEventRouter::Release(const QString& source) {
    FPending.fetch_sub(1, std::memory_order_relaxed);
    if (source.isEmpty()) return;
    QMutexLocker lock(&FSourceLock);
    const auto it = FSourcePending.find(source);
    if (it == FSourcePending.end()) return;
    if (--*it <= 0) FSourcePending.erase(it);
}

int TEventRouter::PendingFrom(const QString& source) const {
    QMutexLocker lock(&FSourceLock);
    return FSourcePending.value(source);
}

TRouterCounts TEventRouter::Counts() const {
    return TRouterCounts{FUnrouted.load(std::memory_order_relaxed), FMistyped.load(std::memory_order_relaxed),
                         FOverflowed.load(std::memory_order_relaxed), FThrottled.load(std::memory_order_relaxed)};
}

bool TEventRouter::event(QEvent* e) {
    if (!TPostedEvent::IsPosted(e)) return QObject::event(e);
    auto& posted = static_cast<TPostedEvent&>(*e);
    if (const auto* admitted = dynamic_cast<const TAdmittedEvent*>(&posted)) Release(admitted->Source);
    if (!FEnabled) return true;
    const auto handlers = FHandlers.constFind(posted.Id());
    if (handlers == FHandlers.cend()) {
        FUnrouted.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    const std::type_info* type = posted.RecordType();
    for (const TTypedHandler& h : *handlers)
        if (SameType(h.Type, type)) {
            h.Handle(posted);
            return true;
        }
    FMistyped.fetch_add(1, std::memory_order_relaxed);
    return true;
}
