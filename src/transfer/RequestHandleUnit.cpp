#include "transfer/RequestHandleUnit.h"

#include <QRandomGenerator>

TRequestHandles::TRequestHandles(std::function<qint32()> next)
    : FNext(std::move(next)), FCounter(qint32(QRandomGenerator::global()->bounded(1, 0x40000000))) {}

qint32 TRequestHandles::Next() {
    if (FNext) return FNext();
    // Positive values only, wrapping before the sign bit.
    FCounter = FCounter >= 0x7FFFFFFF ? 1 : FCounter + 1;
    return FCounter;
}

qint32 TRequestHandles::Allocate(QObject* owner) {
    // Dead owners give their numbers back first, so the table cannot fill up.
    for (auto it = FOwners.begin(); it != FOwners.end();)
        it = it.value().isNull() ? FOwners.erase(it) : std::next(it);
    for (;;) {
        const qint32 candidate = Next();
        if (candidate == 0 || FOwners.contains(candidate)) continue;
        FOwners.insert(candidate, QPointer<QObject>(owner));
        return candidate;
    }
}

void TRequestHandles::Release(qint32 handle) { FOwners.remove(handle); }

QObject* TRequestHandles::Owner(qint32 handle) const {
    if (handle == 0) return nullptr;
    const auto it = FOwners.constFind(handle);
    return it == FOwners.cend() ? nullptr : it.value().data();
}

int TRequestHandles::Count() const {
    int live = 0;
    for (const QPointer<QObject>& owner : FOwners)
        if (!owner.isNull()) ++live;
    return live;
}
