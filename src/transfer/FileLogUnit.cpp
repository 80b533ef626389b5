#include "transfer/FileLogUnit.h"

#include "protocol/ChatCodecUnit.h"
#include "text/MsgLangUnit.h"

#include <QDir>

namespace {
const QString kLineBreak = QStringLiteral("\r\n");
} // namespace

namespace FileLog {

QString ShortText(const QStringList& lines) { return lines.mid(0, 2).join(kLineBreak); }

TLogRecord SentRecord(const TRecipient& consignee, const QStringList& lines, qint16 languageId, const QDateTime& time) {
    TLogRecord record;
    record.LogType = ltFile;
    record.LangID = languageId;
    record.Content = TMessageLang::Encode(languageId, lines.join(kLineBreak));
    record.First2Line = ShortText(lines);
    record.IP = consignee.IPAddress;
    record.Computer = consignee.ComputerName;
    record.Nick = consignee.NickName;
    record.LogTime = time;
    record.IfSendOut = true;
    return record;
}

bool ReceivedRecord(const TFilesArrival& arrival, TLogRecord* record) {
    if (arrival.LogLines.isEmpty()) return false;
    const QString folder = QDir::toNativeSeparators(arrival.SenderFolder);
    const QStringList lines = QStringList{QStringLiteral("<Saved In Folder>") + folder} + arrival.LogLines;
    *record = TLogRecord();
    record->LogType = ltFile;
    record->LangID = arrival.Data.LanguageId;
    record->Content = TMessageLang::Encode(arrival.Data.LanguageId, lines.join(kLineBreak));
    record->First2Line = folder;
    record->IP = arrival.Data.IPAddress;
    record->Computer = arrival.Data.ComputerName;
    record->Nick = arrival.Data.NickName;
    record->LogTime = arrival.Data.ReceivedTime > 0 ? DateTimeFromDays(arrival.Data.ReceivedTime) : QDateTime::currentDateTime();
    record->IfSendOut = false;
    return true;
}

} // namespace FileLog
