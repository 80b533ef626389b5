#include "platform/PathsUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Platform {
namespace {

QString Slashed(QString path) {
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path;
}

QString ExecutableFolder() {
    if (QCoreApplication::instance()) return Slashed(QCoreApplication::applicationDirPath());
    return Slashed(QFileInfo(ExecutablePath()).absolutePath());
}

} // namespace

QString ExecutablePath() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString DesktopProgramPath() {
    const QString exe = ExecutablePath();
    if (QFileInfo(exe).fileName() == QLatin1String("quillmate")) return exe;
    return ExecutableFolder() + QStringLiteral("quillmate");
}

QString DataFolder() {
    const QString home = qEnvironmentVariable("QUILLMATE_HOME");
    if (!home.isEmpty()) return Slashed(QDir(home).absolutePath());
    const QString exe = ExecutableFolder();
    if (QFileInfo(exe).isWritable()) return exe;
    QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (xdg.isEmpty()) xdg = QDir::homePath() + QStringLiteral("/.local/share");
    return Slashed(xdg) + QStringLiteral("Quillmate/");
}

QString RuntimeDataFolder() { return ExecutableFolder(); }

QString UserConfigFolder() {
    const QString home = qEnvironmentVariable("QUILLMATE_HOME");
    if (!home.isEmpty()) return Slashed(QDir(home).absolutePath()) + QStringLiteral(".config/");
    QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (xdg.isEmpty()) xdg = QDir::homePath() + QStringLiteral("/.config");
    return Slashed(xdg);
}

} // namespace Platform
