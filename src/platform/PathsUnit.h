#pragma once

#include <QString>

// Where the program keeps and finds its files. All folders end with "/".
namespace Platform {

// The writable data root: $QUILLMATE_HOME when set, else the executable's folder
// when it is writable and the program is not installed (a build tree or a
// portable copy), else $XDG_DATA_HOME/Quillmate/.
QString DataFolder();
// Read-only runtime data (Languages, Sounds, Help ...): beside the executable
// when it is there, else ../share/quillmate/ of an installed program.
QString RuntimeDataFolder();
// Whether the runtime data came from ../share/quillmate/ rather than beside the executable.
bool RunsInstalled();
// Per-user configuration root: $QUILLMATE_HOME/.config/ when QUILLMATE_HOME is
// set (tests and lab nodes never touch the real user's files), else
// $XDG_CONFIG_HOME/ (default ~/.config/).
QString UserConfigFolder();
// Full path of the running executable.
QString ExecutablePath();
// The desktop program that a logon should start: the running executable when
// it is "quillmate", else the "quillmate" beside it (quillmate-cli saves the
// options too, and must not put itself into the autostart entry).
QString DesktopProgramPath();
// What an autostart entry runs: "quillmate", as the installed launcher does,
// when the program is installed and PATH finds that very program; else its full path.
QString DesktopProgramCommand();

// What the folder rules depend on, so that tests can lay out any case.
struct TFolderFacts {
    QString ExecutableFolder;
    bool ExecutableFolderWritable = false;
    QString QuillmateHome;
    QString XdgDataHome;
    QString HomeFolder;
};
TFolderFacts CurrentFolderFacts();
// Looks on disk for a Languages folder beside the executable, then in ../share/quillmate/.
QString RuntimeDataFolderFor(const QString& executableFolder);
QString DataFolderFor(const TFolderFacts& facts);
// foundOnPath: what PATH gives for "quillmate" (empty when nothing).
QString DesktopProgramCommandFor(const QString& programPath, bool installed, const QString& foundOnPath);

} // namespace Platform
