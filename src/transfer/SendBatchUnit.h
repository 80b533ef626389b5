#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <memory>

class TFolderPackJob;

// The paths handed to one send, sorted.
struct TSendPaths {
    QStringList Files;   // absolute paths of files that can go
    QStringList Folders; // absolute paths of folders, to be packed
    QStringList Missing; // paths that no longer exist
    QList<QPair<QString, QString>> Refused; // a path that cannot go, and why (translated)
};

// What one send prepares, for the file window and the command line alike:
// the paths sorted, folders packed into archives in the temp folder, and
// those archives removed again when the batch goes. The user's own files
// are never removed.
class TSendBatch {
public:
    TSendBatch() = default;
    TSendBatch(const TSendBatch&) = delete;
    TSendBatch& operator=(const TSendBatch&) = delete;
    ~TSendBatch();

    static TSendPaths Sort(const QStringList& paths);

    // A job that packs folders into new archives of this batch (not started).
    // displayName names the archive of a single root folder (the chooser's
    // name for it). Its ArchivePaths() follow the folders' order.
    std::unique_ptr<TFolderPackJob> Pack(const QStringList& folders, const QString& displayName,
                                         int compressionSetting);
    // An archive of the batch is not needed any more (its row was removed).
    void Remove(const QString& archivePath);
    // Every archive of the batch, now (the window closes).
    void RemoveAll();
    const QStringList& Archives() const { return FArchives; }

private:
    QStringList FArchives;
};
