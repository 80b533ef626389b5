#include "ui/WindowRegistryUnit.h"

TWindowRegistry& TWindowRegistry::Instance() {
    static TWindowRegistry registry;
    return registry;
}

quint32 TWindowRegistry::Register(QObject* window, const QString& className) {
    QMutexLocker lock(&FMutex);
    Prune();
    for (auto it = FEntries.begin(); it != FEntries.end();)
        it = it->Window == window ? FEntries.erase(it) : std::next(it);
    // Skip zero and numbers still in use after a wrap.
    do {
        ++FNextHandle;
    } while (FNextHandle == 0 || FEntries.contains(FNextHandle));
    FEntries.insert(FNextHandle, {window, className.toUpper()});
    return FNextHandle;
}

void TWindowRegistry::Unregister(QObject* window) {
    QMutexLocker lock(&FMutex);
    for (auto it = FEntries.begin(); it != FEntries.end();)
        it = (it->Window == window || it->Window.isNull()) ? FEntries.erase(it) : std::next(it);
}

QObject* TWindowRegistry::FindByClass(const QString& className) const {
    QMutexLocker lock(&FMutex);
    Prune();
    const QString wanted = className.toUpper();
    for (const TEntry& entry : FEntries)
        if (entry.ClassName == wanted) return entry.Window;
    return nullptr;
}

QObject* TWindowRegistry::FindByHandle(quint32 handle) const {
    QMutexLocker lock(&FMutex);
    const auto it = FEntries.constFind(handle);
    return it == FEntries.cend() ? nullptr : it->Window.data();
}

quint32 TWindowRegistry::HandleOf(const QObject* window) const {
    QMutexLocker lock(&FMutex);
    for (auto it = FEntries.cbegin(); it != FEntries.cend(); ++it)
        if (it->Window == window) return it.key();
    return 0;
}

void TWindowRegistry::Prune() const {
    for (auto it = FEntries.begin(); it != FEntries.end();)
        it = it->Window.isNull() ? FEntries.erase(it) : std::next(it);
}
