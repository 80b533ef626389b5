#include "transfer/RequestHandleUnit.h"

#include <QRandomGenerator>

TRequestHandles::TRequestHandles(std::function<qint32()> next)
    : FNext(std::move(next)), FCounter(qint32(QRandomGenerator::global()->bounded(1, 0x40000000))),
      FContext(std::make_unique<QObject>()) {}

TRequestHandles::~TRequestHandles() = default;

qint32 TRequestHandles::Next() {
    if (FNext) return FNext();
    // Positive values only, wrapping before the sign bit.
    FCounter = FCounter >= 0x7FFFFFFF ? 1 : FCounter + 1;
    return FCounter;
}

qint32 TRequestHandles::Allocate(QObject* owner) {
    // Only after a wrap-around may a candidate be live; each costs one lookup.
    qint32 candidate = Next();
    while (candidate == 0 || FOwners.contains(candidate)) candidate = Next();
    // Nobody to deliver to: the number is free again at once.
    if (!owner) return candidate;
    // Release disconnects the watch, so while it runs the entry is still this owner's.
    const QMetaObject::Connection watch = QObject::connect(owner, &QObject::destroyed, FContext.get(),
                                                           [this, candidate] { FOwners.remove(candidate); });
    FOwners.insert(candidate, TEntry{QPointer<QObject>(owner), watch});
    return candidate;
}

void TRequestHandles::Release(qint32 handle) {
    const auto it = FOwners.find(handle);
    if (it == FOwners.end()) return;
    QObject::disconnect(it->Watch);
    FOwners.erase(it);
}

QObject* TRequestHandles::Owner(qint32 handle) const {
    if (handle == 0) return nullptr;
    const auto it = FOwners.constFind(handle);
    return it == FOwners.cend() ? nullptr : it->Owner.data();
}
