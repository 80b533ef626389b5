#pragma once

#include <QString>

// The per-user values that Windows keeps in the registry: the broadcast address
// list (a per-user profile file) and the start-with-logon entry (a freedesktop
// autostart entry). Paths are injectable so tests use their own folders.
class TUserStore {
public:
    // Both paths default from Platform::UserConfigFolder().
    TUserStore();
    TUserStore(QString profilePath, QString autostartPath);

    const QString& ProfilePath() const { return FProfilePath; }
    const QString& AutostartPath() const { return FAutostartPath; }

    // Empty when the file, the key or the value is missing.
    QString ReadBroadcastList(bool* ok = nullptr) const;
    bool WriteBroadcastList(const QString& list) const;

    bool AutoStartEnabled() const;
    // Writes the entry whose Exec line starts the program with -min, or removes
    // it. command: a full path, or a bare name that PATH finds.
    bool SetAutoStart(bool enabled, const QString& command) const;

    static QString AutostartEntry(const QString& command);

private:
    QString FProfilePath;
    QString FAutostartPath;
};
