#include "messaging/widgets/ChatFormListUnit.h"

#include "core/TextFormatUnit.h"

bool TChatFormList::Add(const QString& userKey, quint32 handle) {
    if (userKey.isEmpty() || handle == 0) return false;
    FEntries.insert(userKey.toCaseFolded(), TEntry{userKey, handle});
    return true;
}

bool TChatFormList::Remove(const QString& userKey) { return FEntries.remove(userKey.toCaseFolded()) > 0; }

int TChatFormList::RemoveHandle(quint32 handle) {
    if (handle == 0) return 0;
    int removed = 0;
    for (auto it = FEntries.begin(); it != FEntries.end();) {
        if (it->Handle == handle) {
            it = FEntries.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    return removed;
}

quint32 TChatFormList::Find(const QString& userKey) const {
    const auto it = FEntries.constFind(userKey.toCaseFolded());
    return it == FEntries.cend() ? 0 : it->Handle;
}

QStringList TChatFormList::Lines() const {
    QStringList out;
    for (const TEntry& entry : FEntries) out << FormatText(QStringLiteral("%s=%d"), {entry.UserKey, qint64(entry.Handle)});
    return out;
}
