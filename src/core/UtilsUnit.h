#pragma once

#include <QString>

// The program's version information, as a version resource would hold it.
struct TFileInfo {
    QString CompanyName, FileDescription, FileVersion, InternalName, LegalCopyright,
        LegalTradeMarks, OriginalFilename, ProductName, ProductVersion, Comments;
    quint16 Major = 0, Minor = 0, Release = 0, Build = 0;
    QString Value; // the value asked for by name, empty when absent
};

// Shared helpers that need no screen. Folders always end with "/".
namespace Utils {

// The writable program folder (settings, received files, chat log ...).
QString ProgramFolder();
// Read-only data shipped beside the program (Languages, Sounds, Help ...).
QString RuntimeFolder();
// path with "/" appended unless it ends with one; an empty path stays empty.
QString WithTrailingSlash(const QString& path);
// Program folder + "TempFolder/", made when missing.
QString GetTempFolder();
QString LocalComputerName();
QString LocalUserName();
// The computer name without a nickname; else the nickname alone or
// "nickname(computer)" depending on onlyUserNickname.
QString DisplayName(bool hasNickname, const QString& nickname, const QString& computerName, bool onlyUserNickname);
// Same, with the OnlyUserNickname setting.
QString DisplayName(bool hasNickname, const QString& nickname, const QString& computerName);
// IPv4 address of a host name (a dotted quad is returned as it is); blocks
// while the name is looked up, so call it off the GUI thread. Malformed names
// and IPv6 literals are false without a lookup.
bool ResolveHost(const QString& name, QString* address);
// Reads the version information that a Quillmate executable carries.
// False when the file has none.
bool ReadVersionInfo(const QString& fileName, const QString& valueName, TFileInfo* info);
// "%d.%d.%d.%d" of the running program.
QString VersionText();

} // namespace Utils
