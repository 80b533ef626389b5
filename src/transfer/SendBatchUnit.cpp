#include "transfer/SendBatchUnit.h"

#include "core/UtilsUnit.h"
#include "transfer/CompressThreadUnit.h"
#include "transfer/FileNamesUnit.h"
#include "transfer/TransferServiceUnit.h"

#include <QFile>
#include <QFileInfo>

TSendBatch::~TSendBatch() { RemoveAll(); }

void TSendBatch::RemoveAll() {
    for (const QString& archive : FArchives) QFile::remove(archive);
    FArchives.clear();
}

TSendPaths TSendBatch::Sort(const QStringList& paths) {
    TSendPaths sorted;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            sorted.Folders << info.absoluteFilePath();
        } else if (!info.exists()) {
            sorted.Missing << path;
        } else if (const QString why = TTransferService::CheckSendable(path); !why.isEmpty()) {
            sorted.Refused.append({path, why});
        } else {
            sorted.Files << info.absoluteFilePath();
        }
    }
    return sorted;
}

std::unique_ptr<TFolderPackJob> TSendBatch::Pack(const QStringList& folders, const QString& displayName,
                                                 int compressionSetting) {
    const QString temp = Utils::GetTempFolder();
    QStringList archives;
    for (const QString& name : FileNames::ArchiveNames(folders, folders.size() == 1 ? displayName : QString(), temp))
        archives << temp + name + QStringLiteral(".zip");
    FArchives += archives;
    return std::make_unique<TFolderPackJob>(folders, archives, CompressionLevel(compressionSetting));
}

void TSendBatch::Remove(const QString& archivePath) {
    if (FArchives.removeAll(archivePath) > 0) QFile::remove(archivePath);
}
