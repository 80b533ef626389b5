#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

// The request handles of this node: each names one live request dialog (a
// wait dialog on the sending side, a receive dialog on the receiving side).
// A handle is non-zero, fits a signed 32-bit decimal field and is unique among
// the live ones; a released one is not given out again soon (the counter runs
// on), so a late datagram for an old dialog finds nobody. Allocating costs a
// hash lookup per candidate, never a walk over the live handles: an owner's
// handles go when it is destroyed. Main thread.
class TRequestHandles {
public:
    // next: the source of candidate numbers (tests); empty: a counter from a random start.
    explicit TRequestHandles(std::function<qint32()> next = {});
    ~TRequestHandles();
    TRequestHandles(const TRequestHandles&) = delete;
    TRequestHandles& operator=(const TRequestHandles&) = delete;

    // A new handle owned by owner; an owner that is destroyed releases it.
    qint32 Allocate(QObject* owner);
    void Release(qint32 handle);
    // The live owner of handle; null for 0, unknown or released handles.
    QObject* Owner(qint32 handle) const;
    int Count() const { return static_cast<int>(FOwners.size()); }

private:
    struct TEntry {
        QPointer<QObject> Owner;
        QMetaObject::Connection Watch; // the owner's destroyed() releasing this handle
    };
    qint32 Next();

    std::function<qint32()> FNext;
    qint32 FCounter;
    QHash<qint32, TEntry> FOwners;
    // Receiver of the owners' destroyed(): gone with this table, so a late owner calls nobody.
    std::unique_ptr<QObject> FContext;
};
