#include "platform/PathsUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Platform {
namespace {

const QString kDesktopProgram = QStringLiteral("quillmate");

QString Slashed(QString path) {
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path;
}

QString ExecutableFolder() {
    if (QCoreApplication::instance()) return Slashed(QCoreApplication::applicationDirPath());
    return Slashed(QFileInfo(ExecutablePath()).absolutePath());
}

// A folder holds the runtime data when its interface languages are there.
bool HoldsRuntimeData(const QString& folder) { return QFileInfo(folder + QStringLiteral("Languages")).isDir(); }

} // namespace

QString ExecutablePath() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString DesktopProgramPath() {
    const QString exe = ExecutablePath();
    if (QFileInfo(exe).fileName() == kDesktopProgram) return exe;
    return ExecutableFolder() + kDesktopProgram;
}

QString DesktopProgramCommandFor(const QString& programPath, bool installed, const QString& foundOnPath) {
    if (!installed || foundOnPath.isEmpty()) return programPath;
    const QString program = QFileInfo(programPath).canonicalFilePath();
    if (program.isEmpty() || QFileInfo(foundOnPath).canonicalFilePath() != program) return programPath;
    return kDesktopProgram;
}

QString DesktopProgramCommand() {
    return DesktopProgramCommandFor(DesktopProgramPath(), RunsInstalled(), QStandardPaths::findExecutable(kDesktopProgram));
}

TFolderFacts CurrentFolderFacts() {
    TFolderFacts facts;
    facts.ExecutableFolder = ExecutableFolder();
    facts.ExecutableFolderWritable = QFileInfo(facts.ExecutableFolder).isWritable();
    facts.QuillmateHome = qEnvironmentVariable("QUILLMATE_HOME");
    facts.XdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    facts.HomeFolder = QDir::homePath();
    return facts;
}

QString RuntimeDataFolderFor(const QString& executableFolder) {
    const QString beside = Slashed(executableFolder);
    if (HoldsRuntimeData(beside)) return beside;
    const QString shared = Slashed(QDir::cleanPath(beside + QStringLiteral("../share/quillmate")));
    if (HoldsRuntimeData(shared)) return shared;
    return beside;
}

QString DataFolderFor(const TFolderFacts& facts) {
    if (!facts.QuillmateHome.isEmpty()) return Slashed(QDir(facts.QuillmateHome).absolutePath());
    const QString exe = Slashed(facts.ExecutableFolder);
    // An installed program never writes beside itself, even as root.
    if (facts.ExecutableFolderWritable && RuntimeDataFolderFor(exe) == exe) return exe;
    const QString xdg = facts.XdgDataHome.isEmpty() ? Slashed(facts.HomeFolder) + QStringLiteral(".local/share")
                                                    : facts.XdgDataHome;
    return Slashed(xdg) + QStringLiteral("Quillmate/");
}

QString DataFolder() { return DataFolderFor(CurrentFolderFacts()); }

QString RuntimeDataFolder() { return RuntimeDataFolderFor(ExecutableFolder()); }

bool RunsInstalled() { return RuntimeDataFolder() != ExecutableFolder(); }

QString UserConfigFolder() {
    const QString home = qEnvironmentVariable("QUILLMATE_HOME");
    if (!home.isEmpty()) return Slashed(QDir(home).absolutePath()) + QStringLiteral(".config/");
    QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (xdg.isEmpty()) xdg = QDir::homePath() + QStringLiteral("/.config");
    return Slashed(xdg);
}

} // namespace Platform
