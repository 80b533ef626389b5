#pragma once

#include "chatlog/ChatLogTypesUnit.h"

#include <QString>

class TChatLogStore;

// Writes the records of a filter, newest first, into a file: plain text for
// broadcasts and files, RTF for the rest. Each RTF header and content sits in
// a group of its own that starts from \plain, and the records' fonts and
// colours are renumbered into the document's one pair of tables. The file is replaced only when the whole export succeeded.
// Returns an error text for the user, empty on success.
QString ExportLog(TChatLogStore& store, const TLogFilter& filter, const QString& fileName);

// The records a search finds (ChatLogSearchUnit), newest first across the
// categories, as one RTF document; plain-text records become paragraphs.
QString ExportSearch(TChatLogStore& store, const QString& text, const QString& fileName);

// The export's header line of one record (before any RTF escaping).
QString ExportHeader(const TLogEntry& entry);
