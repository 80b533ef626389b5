#pragma once

#include <QList>
#include <QString>

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
// Replaces target by source in one step (source is renamed over target).
bool ReplaceFile(const QString& source, const QString& target, QString* error = nullptr);

} // namespace Platform
