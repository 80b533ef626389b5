#pragma once

#include <QString>
#include <QStringList>

// Copy, move and delete of files and folders for the receive and manage
// windows; run on a worker thread, never on the GUI thread.
enum class TFileOperationKind { Copy, Move, Delete };

struct TFileOperationResult {
    QStringList Failed; // sources that could not be (completely) handled
    bool Ok() const { return Failed.isEmpty(); }
};

// The sources whose target in destination exists already.
QStringList ExistingTargets(const QStringList& sources, const QString& destination);
// Copies or moves every source (file or folder, recursively) into
// destination, replacing what is there when replace is on (else such a
// source fails); deletes every source for Delete. A folder is never copied
// or moved into itself.
TFileOperationResult RunFileOperation(TFileOperationKind kind, const QStringList& sources, const QString& destination,
                                      bool replace);
