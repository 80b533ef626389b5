#pragma once

#include "protocol/RequestReaderUnit.h"
#include "transfer/FileNamesUnit.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

class TMessageLang;

// What a node that asked for update files will take from the stream.
struct TUpdateExpectation {
    QString Folder;       // the UPDATE folder, with "/"
    QSet<QString> Names;  // the answer's files, normalised (UpdateNames::Normalise)
    qint16 LanguageId = 0; // the answering node's: its names are in that code page
    qint64 MaxBytes = 512ll * 1024 * 1024; // the whole stream
    TDiskGuard Guard;
};

enum class TUpdateStreamEnd {
    Complete,   // the end line came
    Broken,     // the connection ended, stalled or framing was wrong
    NotOffered, // a name outside the answer, one not fit to store, or a second copy
    TooLarge,   // beyond MaxBytes
    DiskFull,   // the free-space floor, or the file could not be written
};

struct TUpdateReceiveResult {
    TUpdateStreamEnd End = TUpdateStreamEnd::Broken;
    QStringList Stored; // normalised names, in stream order
    qint64 Bytes = 0;
    QString Offending;  // the name that ended the stream, if one did
};

// Reads a "QLM_TRANSUPDATEFILE" stream after its header line. Each file is
// written beside its place (".qlmpart") and renamed over it once whole; a
// file that breaks off is removed. onFile is told after each stored file.
TUpdateReceiveResult ReceiveUpdateFiles(TRequestReader& reader, const TUpdateExpectation& expect, int stallMs,
                                        const std::function<void(const QString& name, qint64 size)>& onFile = {});
