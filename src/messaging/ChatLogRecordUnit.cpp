#include "messaging/ChatLogRecordUnit.h"

#include "core/TextFormatUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

namespace ChatLogRecords {

namespace {

// Days since 1899-12-30 as a time; none (0) leaves the stamp to the store.
QDateTime TimeOf(double days) { return days > 0 ? DateTimeFromDays(days) : QDateTime(); }

} // namespace

TLogRecord Received(const TBroadcastData& record, TChatKind kind, const TMessageLang& lang) {
    TLogRecord log;
    const bool broadcast = kind == TChatKind::Broadcast;
    log.LogType = broadcast ? ltBroadcast : ltSingle;
    log.IfBroadcast = broadcast;
    log.IfSendOut = false;
    log.LangID = record.LanguageId;
    log.Content = record.Body;
    log.First2Line = lang.DecodeFrom(record.LanguageId, record.Summary);
    log.IP = record.IPAddress;
    log.Computer = record.ComputerName;
    log.Nick = record.NickName;
    log.LogTime = TimeOf(record.ReceivedTime);
    return log;
}

std::optional<TLogRecord> SentMessage(const TSendMessageResult& result, qint16 languageId) {
    if (!result.AnyReached()) return std::nullopt;
    const TRecipients& sent = result.Job.Recipients;
    const bool nicknames = result.Job.HasNickname;
    TLogRecord record;
    record.LangID = languageId;
    record.Content = result.Job.Body;
    record.First2Line = result.Job.Summary;
    record.LogTime = TimeOf(result.SentTime);
    record.IfSendOut = true;
    if (sent.size() > 1) {
        QString nick;
        for (const TRecipient& r : sent) {
            if (r.SendStatus != QLatin1String("OK")) continue;
            nick = nicknames ? FormatText(QStringLiteral("%s;%s(%s)"), {nick, r.NickName, r.ComputerName})
                             : FormatText(QStringLiteral("%s;%s"), {nick, r.ComputerName});
        }
        if (nick.startsWith(QLatin1Char(';'))) nick.remove(0, 1);
        record.LogType = ltGroup;
        record.Nick = nick;
    } else {
        record.LogType = ltSingle;
        record.IP = sent.first().IPAddress;
        record.Computer = sent.first().ComputerName;
        record.Nick = nicknames ? sent.first().NickName : QStringLiteral("<No_Nick>");
    }
    return record;
}

std::optional<TLogRecord> SentBroadcast(const TBroadcastResult& result, const TMessageLang& lang,
                                        const TUserInterfaceLang* ui) {
    if (!result.Sent) return std::nullopt;
    TLogRecord record;
    record.LogType = ltBroadcast;
    record.LangID = qint16(lang.LanguageId());
    record.Content = lang.EncodeOutgoing(result.Body);
    record.First2Line = result.Summary;
    record.Nick = Translate(ui, QStringLiteral("All(Broadcast)"));
    record.LogTime = TimeOf(result.SentTime);
    record.IfBroadcast = true;
    record.IfSendOut = true;
    return record;
}

} // namespace ChatLogRecords
