#pragma once

#include "transfer/FileNamesUnit.h"

#include <QList>
#include <QString>
#include <QStringList>

// Why an entry of an archive was not created.
enum class TEntryRefusal {
    Outside,   // absolute, "..", or drive parts: it would land outside the target
    Link,      // a symbolic link, device or pipe
    TooLarge,  // it unpacks to more than the archive declares for it
    DiskSpace, // the disk guard's reserve would be reached
    NameTaken, // an earlier entry already holds that path
    WriteError // the system refused the folder or file, or the entry's data is damaged
};

struct TRefusedEntry {
    QString Name; // as the archive names it
    TEntryRefusal Reason = TEntryRefusal::WriteError;
    QString Detail; // the system's or the library's text for a WriteError
};

struct TUnpackResult {
    bool Ok = false;              // the archive could be read to its end
    QString Error;                // why not
    QList<TRefusedEntry> Refused; // entries not created, in archive order
    int Files = 0;                // files written

    QStringList RefusedNames() const;
};

// Unpacks archivePath into targetFolder (which must exist and be empty: the
// caller just made it). Nothing is written outside targetFolder: entries with
// absolute paths or ".." parts are refused, symbolic links are never created,
// a file is never replaced. Every file is read in pieces and checked against
// the disk guard and its declared size; a partly written file is deleted.
TUnpackResult UnpackArchive(const QString& archivePath, const QString& targetFolder, const TDiskGuard& guard);
