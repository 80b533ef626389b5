#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Durable writes: what a crash of the machine (not only of the process) must
// not undo. Data is flushed before a name is made to point at it.
namespace Platform {

// Flushes the data of the open files (file handles) to the disk. Many files
// at once cost one flush of their file system where the system offers it.
bool SyncFiles(const QList<int>& handles);
// Flushes one closed file by name.
bool SyncFile(const QString& path);
// Flushes a folder's entries, so that files renamed or created in it stay.
bool SyncFolder(const QString& path);
// Bytes an unprivileged user may still write on the file system holding
// path; -1 when not known. One call, unlike QStorageInfo, which reads the
// mount table each time.
qint64 FreeBytes(const QString& path);
// Replaces target by source in one step (source is renamed over target).
bool ReplaceFile(const QString& source, const QString& target, QString* error = nullptr);

} // namespace Platform
