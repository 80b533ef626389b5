#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// Names and places of transferred files: which names a receiver may create,
// how duplicates are numbered, where each sender's files go, and how packed
// folders are named. Folders always end with "/".
namespace FileNames {

// A name a peer sent for a file of ours to create: a plain name, never a
// path. Refused: empty, "." and "..", "/" or "\", a drive letter ("C:"),
// ":" anywhere, control characters. A leading "~" is a plain character here
// (Office's "~$Budget.xlsx"): names never pass through a shell. Length is no
// reason: FitName shortens a long name when it is created.
bool IsSafeName(const QString& name);
// An archive entry's path ("docs/a.txt", "empty/"): relative, "/" or "\"
// between parts, every part a safe name. Gives the parts, each fitted.
bool SafeEntryPath(const QString& path, QStringList* parts);

// The longest name a file system takes, in bytes of UTF-8.
inline constexpr int MaxNameBytes = 255;
// name, or NumberedName(name, n) for n > 0, cut to MaxNameBytes of UTF-8 by
// shortening the part before the extension (whole characters only), so that
// "(n)" and the extension always survive.
QString FitName(const QString& name, int n = 0);

// The n-th alternative of a taken name: "report(1).doc", "a.b(1).txt",
// "(1)Makefile" (no "." at all: the counter goes in front).
QString NumberedName(const QString& name, int n);

// "From_%s(%s)" of nickname and computer name, with the characters no file
// name may hold (path separators among them) replaced by "_".
QString SenderFolderName(const QString& nickName, const QString& computerName);

// Creates folder + FitName(name), or the first numbered alternative that does not
// exist yet, exclusively: two writers into one folder never get the same
// file. Null (and *error set) when no file could be made.
std::unique_ptr<QFile> CreateExclusive(const QString& folder, const QString& name, QString* finalName, QString* error);
// Makes folder + base, or the first "%s(%d)" of base and *counter (counted on
// from its value, shared by the archives of one arrival) that is free.
// Gives the folder name used; empty when none could be made.
QString MakeNumberedFolder(const QString& folder, const QString& base, int* counter);

// Characters no packed folder's archive name may hold become "_".
QString ReplaceForbidden(QString text);
// The archive names (without ".zip") of a batch of folders, in order: the
// folder's last part; for a root, the chooser's display name (displayName,
// used when the batch is one folder) or "[QLM_AutoCreate]" and the path; a
// name whose archive exists in tempFolder, or that the batch already has,
// gets the first free "(%d)".
QStringList ArchiveNames(const QStringList& folders, const QString& displayName, const QString& tempFolder);

} // namespace FileNames

// Keeps receiving from filling the disk: a write is allowed while the free
// space of the target's file system stays at or above Reserve afterwards.
struct TDiskGuard {
    static constexpr qint64 DefaultReserve = 256ll * 1024 * 1024;
    qint64 Reserve = DefaultReserve;
    // Free bytes of the file system holding folder; empty: the system's figure.
    std::function<qint64(const QString& folder)> FreeBytes;

    bool Allows(const QString& folder, qint64 bytes) const;
};
