#include "platform/UserStoreUnit.h"

#include "VersionInfo.h"
#include "platform/PathsUnit.h"
#include "platform/ProfileFileUnit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {
const QString kSection = QStringLiteral("Quillmate");
const QString kBroadcastKey = QStringLiteral("UDPBroadcastIPList");

// Desktop-entry Exec quoting: a bare program name as it is, a path in double
// quotes with \ " ` $ escaped.
QString QuoteExec(const QString& path) {
    static const QRegularExpression kBareName(QStringLiteral("^[A-Za-z0-9._-]+$"));
    if (kBareName.match(path).hasMatch()) return path;
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

QString TUserStore::AutostartEntry(const QString& command) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quillmate\n"
                          "Comment=LAN messenger\n"
                          "Exec=%1 -min\n"
                          "Icon=" QLM_APP_ID "\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(QuoteExec(command));
}

bool TUserStore::SetAutoStart(bool enabled, const QString& command) const {
    if (!enabled) return !QFileInfo::exists(FAutostartPath) || QFile::remove(FAutostartPath);
    QDir().mkpath(QFileInfo(FAutostartPath).absolutePath());
    QSaveFile file(FAutostartPath);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(AutostartEntry(command).toUtf8());
    return file.commit();
}
