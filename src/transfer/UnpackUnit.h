#pragma once

#include "transfer/FileNamesUnit.h"

#include <QString>
#include <QStringList>

struct TUnpackResult {
    bool Ok = false;     // the archive could be read to its end
    QString Error;       // why not, or why the last entry failed
    QStringList Refused; // entries not created: unsafe paths, links, duplicates, no room
    int Files = 0;       // files written
};

// Unpacks archivePath into targetFolder (which must exist and be empty: the
// caller just made it). Nothing is written outside targetFolder: entries with
// absolute paths or ".." parts are refused, symbolic links are never created,
// a file is never replaced. Every file is read in pieces and checked against
// the disk guard; a partly written file is deleted.
TUnpackResult UnpackArchive(const QString& archivePath, const QString& targetFolder, const TDiskGuard& guard);
