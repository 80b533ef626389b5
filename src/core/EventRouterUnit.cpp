#include "core/EventRouterUnit.h"

TEventRouter::TEventRouter(int maxPending, QObject* parent) : QObject(parent), FMaxPending(qMax(1, maxPending)) {}

void TEventRouter::RegisterPlain(int id, std::function<void(qintptr wParam)> handler) {
    FHandlers.insert(id, [h = std::move(handler)](TPostedEvent& e) {
        if (e.HasRecord()) return false;
        h(e.WParam());
        return true;
    });
}

bool TEventRouter::Post(int id, qintptr wParam, qintptr lParam) {
    if (!Admit()) return false;
    QCoreApplication::postEvent(this, new TAdmittedEvent(id, wParam, lParam));
    return true;
}

bool TEventRouter::Admit() {
    if (FPending.fetch_add(1, std::memory_order_relaxed) >= FMaxPending) {
        FPending.fetch_sub(1, std::memory_order_relaxed);
        FOverflowed.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    return true;
}

TRouterCounts TEventRouter::Counts() const {
    return TRouterCounts{FUnrouted.load(std::memory_order_relaxed), FMistyped.load(std::memory_order_relaxed),
                         FOverflowed.load(std::memory_order_relaxed)};
}

bool TEventRouter::event(QEvent* e) {
    if (!TPostedEvent::IsPosted(e)) return QObject::event(e);
    auto& posted = static_cast<TPostedEvent&>(*e);
    if (dynamic_cast<TAdmittedEvent*>(&posted)) FPending.fetch_sub(1, std::memory_order_relaxed);
    if (!FEnabled) return true;
    const auto handler = FHandlers.constFind(posted.Id());
    if (handler == FHandlers.cend()) {
        FUnrouted.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    if (!(*handler)(posted)) FMistyped.fetch_add(1, std::memory_order_relaxed);
    return true;
}
