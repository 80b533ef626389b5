#include "platform/UserStoreUnit.h"

#include "platform/PathsUnit.h"
#include "platform/ProfileFileUnit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
const QString kSection = QStringLiteral("Quillmate");
const QString kBroadcastKey = QStringLiteral("UDPBroadcastIPList");

// Desktop-entry Exec quoting: the path in double quotes with \ " ` $ escaped.
QString QuoteExec(const QString& path) {
    QString escaped;
    for (QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}
} // namespace

TUserStore::TUserStore()
    : TUserStore(Platform::UserConfigFolder() + QStringLiteral("Quillmate/Quillmate.ini"),
                 Platform::UserConfigFolder() + QStringLiteral("autostart/quillmate.desktop")) {}

TUserStore::TUserStore(QString profilePath, QString autostartPath)
    : FProfilePath(std::move(profilePath)), FAutostartPath(std::move(autostartPath)) {}

QString TUserStore::ReadBroadcastList(bool* ok) const {
    TProfileFile file;
    const bool loaded = file.Load(FProfilePath);
    if (ok) *ok = loaded;
    return file.ReadString(kSection, kBroadcastKey);
}

bool TUserStore::WriteBroadcastList(const QString& list) const {
    return TProfileFile::WriteStringTo(FProfilePath, kSection, kBroadcastKey, list);
}

bool TUserStore::AutoStartEnabled() const { return QFileInfo(FAutostartPath).isFile(); }

QString TUserStore::AutostartEntry(const QString& executablePath) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quillmate\n"
                          "Comment=LAN messenger\n"
                          "Exec=%1 -min\n"
                          "Icon=quillmate\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(QuoteExec(executablePath));
}

bool TUserStore::SetAutoStart(bool enabled, const QString& executablePath) const {
    if (!enabled) return !QFileInfo::exists(FAutostartPath) || QFile::remove(FAutostartPath);
    QDir().mkpath(QFileInfo(FAutostartPath).absolutePath());
    QSaveFile file(FAutostartPath);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(AutostartEntry(executablePath).toUtf8());
    return file.commit();
}
