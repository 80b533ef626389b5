#pragma once

#include <QString>

// Where the program keeps and finds its files. All folders end with "/".
namespace Platform {

// The writable data root: $QUILLMATE_HOME when set, else the executable's folder
// when it is writable, else $XDG_DATA_HOME/Quillmate/.
QString DataFolder();
// Read-only runtime data (Languages, Sounds, Help ...) shipped beside the program.
QString RuntimeDataFolder();
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

} // namespace Platform
