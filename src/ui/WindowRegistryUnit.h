#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

// The live windows that others find by class name ("QLM_BROADCAST_CLASS",
// "WM_<id>" ...) or by handle (a non-zero 32-bit number, as request dialogs are
// named on the wire). Entries vanish with their objects, so a post to a closed
// window finds nothing and is dropped. Safe to query from any thread.
class TWindowRegistry {
public:
    static TWindowRegistry& Instance();

    // Registers window under className (case-insensitive) and returns its handle.
    quint32 Register(QObject* window, const QString& className);
    void Unregister(QObject* window);

    QObject* FindByClass(const QString& className) const;
    QObject* FindByHandle(quint32 handle) const;
    quint32 HandleOf(const QObject* window) const;

private:
    struct TEntry {
        QPointer<QObject> Window;
        QString ClassName; // upper-cased
    };
    void Prune() const;

    mutable QMutex FMutex;
    mutable QHash<quint32, TEntry> FEntries;
    quint32 FNextHandle = 0x10000;
};
