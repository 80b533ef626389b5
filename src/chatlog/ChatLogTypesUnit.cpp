#include "chatlog/ChatLogTypesUnit.h"

#include "core/TextFormatUnit.h"
#include "text/MsgLangUnit.h"
#include "text/RtfReaderUnit.h"
#include "text/UILangUnit.h"

#include <QLocale>

namespace {

QString NickWithComputer(const TLogEntry& entry) {
    return FormatText(QStringLiteral("%s(%s)"), {entry.Nick, entry.Computer});
}

QString PatternOf(const TLogEntry& entry) {
    switch (entry.Category) {
    case ltGroup: return QLM_TEXT("<Group>To %s Time %s%s%s");
    case ltBroadcast:
        return entry.IfSendOut ? QLM_TEXT("<Broadcast>To %s Time %s%s%s") : QLM_TEXT("<Broadcast>From %s Time %s%s%s");
    default: return entry.IfSendOut ? QLM_TEXT("To %s Time %s%s%s") : QLM_TEXT("From %s Time %s%s%s");
    }
}

QString NameOf(const TLogEntry& entry) {
    if (entry.Category == ltGroup || (entry.Category == ltBroadcast && entry.IfSendOut)) return entry.Nick;
    return NickWithComputer(entry);
}

QString EntryFormat(const TLogEntry& entry, const QString& lineBreak, const QString& second) {
    return TranslateFormat(PatternOf(entry), {NameOf(entry), ChatLog::LogTimeText(entry.LogTime), lineBreak, second});
}

// A format's pieces without the time-zone name, which the log never stores.
QString WithoutZone(QString format) {
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

QString TLogContent::PlainText() const {
    // A file list keeps its names as sent; messages and broadcasts are shown
    // in this node's script.
    const bool convert = ChatLog::StoredType(Category) != ltFile;
    const TMessageLang& lang = TMessageLang::Instance();
    if (IsRichText()) {
        if (const std::optional<TRichDocument> document = ReadRtf(Bytes)) {
            QString text = document->PlainText();
            text.remove(QChar::ObjectReplacementCharacter);
            return convert ? lang.ConvertDecoded(LangID, text) : text;
        }
    }
    return convert ? lang.ConvertIncomingText(LangID, Bytes) : TMessageLang::Decode(LangID, Bytes);
}

namespace ChatLog {

QString TableName(TLogType type) {
    switch (type) {
    case ltBroadcast: return QStringLiteral("Broadcast");
    case ltGroup: return QStringLiteral("GroupMsg");
    case ltFile: return QStringLiteral("File");
    default: return QStringLiteral("Message");
    }
}

QString TypeName(TLogType type) {
    switch (type) {
    case ltBroadcast: return QStringLiteral("Broadcast");
    case ltGroup: return QStringLiteral("Group");
    case ltFile: return QStringLiteral("File");
    default: return QStringLiteral("Single");
    }
}

TLogType StoredType(TLogType type) { return type == ltRelation ? ltSingle : type; }

std::optional<TLogType> TypeOfName(const QString& typeName) {
    for (TLogType type : {ltSingle, ltBroadcast, ltGroup, ltFile})
        if (TypeName(type) == typeName) return type;
    return std::nullopt;
}

QString LogTimeText(const QDateTime& time) {
    const QLocale locale;
    const QString format =
        locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + WithoutZone(locale.timeFormat(QLocale::LongFormat));
    return locale.toString(time, format);
}

QString EntryHeader(const TLogEntry& entry) { return EntryFormat(entry, QString(), QString()); }

QString ShownFirst2Line(const TLogEntry& entry) {
    if (StoredType(entry.Category) == ltFile) return entry.First2Line;
    return TMessageLang::Instance().ConvertDecoded(entry.LangID, entry.First2Line);
}

QString EntryText(const TLogEntry& entry) {
    return EntryFormat(entry, QStringLiteral("\r\n"), ShownFirst2Line(entry));
}

QString SearchableText(const TLogContent& content) { return content.PlainText().simplified(); }

} // namespace ChatLog
