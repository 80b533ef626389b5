#pragma once

#include "chatlog/ChatLogTypesUnit.h"
#include "protocol/CommConstsUnit.h"
#include "transfer/FileCodecUnit.h"

#include <QDateTime>
#include <QStringList>

// The chat-log entries of file transfers: one per batch sent, one per batch
// that arrived. The lines are "<File>%s" and "<Folder>%s".
namespace FileLog {

// The summary: the single line, or the first two joined by CR LF.
QString ShortText(const QStringList& lines);
// A batch this node sent to consignee; lines name what went (full paths,
// folders by the folder they were packed from).
TLogRecord SentRecord(const TRecipient& consignee, const QStringList& lines, qint16 languageId, const QDateTime& time);
// A batch that arrived: "<Saved In Folder>" and the folder, then the lines of
// what was stored; the summary is the folder. Nothing to log (no file stored)
// gives false.
bool ReceivedRecord(const TFilesArrival& arrival, TLogRecord* record);

} // namespace FileLog
