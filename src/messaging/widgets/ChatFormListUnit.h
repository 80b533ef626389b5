#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The register of message windows in chat layout: a peer's UserKey to the
// handle (TWindowRegistry) of the window that chats with it. Keys compare
// without case. Main thread only.
class TChatFormList {
public:
    // Enters the window for userKey, replacing an older entry of that key.
    // An empty key or the null handle is refused.
    bool Add(const QString& userKey, quint32 handle);
    bool Remove(const QString& userKey);
    // Removes every entry that names the window; returns how many.
    int RemoveHandle(quint32 handle);
    // The window's handle, 0 when the key is not listed.
    quint32 Find(const QString& userKey) const;
    bool Contains(const QString& userKey) const { return Find(userKey) != 0; }
    int Count() const { return static_cast<int>(FEntries.size()); }
    bool IsEmpty() const { return FEntries.isEmpty(); }
    void Clear() { FEntries.clear(); }
    // "%s=%d" lines (UserKey as entered, handle in decimal), ordered by key.
    QStringList Lines() const;

private:
    struct TEntry {
        QString UserKey;
        quint32 Handle = 0;
    };
    QMap<QString, TEntry> FEntries; // by case-folded UserKey
};
