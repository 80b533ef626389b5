#pragma once

#include "chatlog/ChatLogTypesUnit.h"

#include <QString>

class TChatLogStore;

// Writes the records of a filter, newest first, into a file: plain text for
// broadcasts and files, RTF for the rest, each record's content copied as
// stored. The file is replaced only when the whole export succeeded.
// Returns an error text for the user, empty on success.
QString ExportLog(TChatLogStore& store, const TLogFilter& filter, const QString& fileName);

// The export's header line of one record (before any RTF escaping).
QString ExportHeader(const TLogEntry& entry);
