#pragma once

#include "chatlog/ChatLogTypesUnit.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <array>

// The statements and stored forms the parts of TChatLogStore share.
namespace ChatLogSql {

inline constexpr std::array<TLogType, 4> kStoredTypes{ltSingle, ltBroadcast, ltGroup, ltFile};
// LogMaintenance values: deleted rows whose side files may still be on disk;
// index entries of deleted records (the index keeps no text to delete them by).
inline const QString kUnlinkPending = QStringLiteral("UnlinkPending");
inline const QString kDeadSearchEntries = QStringLiteral("DeadSearchEntries");

// LogTime is stored as local time text that sorts and that sqlite3's date
// functions read.
inline QString StoredTime(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}
// Read by position: QDateTime::fromString would cost more than the rest of a
// list row. Other forms (a log edited by hand) go through the ISO reader.
inline QDateTime ParseStoredTime(const QString& text) {
    const auto number = [&](qsizetype from, qsizetype length) {
        int value = 0;
        for (qsizetype i = from; i < from + length; ++i) {
            const int digit = text[i].digitValue();
            if (digit < 0) return -1;
            value = value * 10 + digit;
        }
        return value;
    };
    if (text.size() >= 19 && text[4] == QLatin1Char('-') && text[7] == QLatin1Char('-') && text[10] == QLatin1Char(' ') &&
        text[13] == QLatin1Char(':') && text[16] == QLatin1Char(':')) {
        const int ms = text.size() >= 23 && text[19] == QLatin1Char('.') ? number(20, 3) : 0;
        const QDate date(number(0, 4), number(5, 2), number(8, 2));
        const QTime time(number(11, 2), number(14, 2), number(17, 2), ms);
        if (date.isValid() && time.isValid()) return QDateTime(date, time);
    }
    return QDateTime::fromString(text, Qt::ISODateWithMs);
}

// The columns of the Part's tables keep their names; text columns are TEXT
// (no length limit, so long names are kept whole), names compare without
// regard to letter case. Content stays empty: the side files hold it.
inline QString CreateTable(const QString& table) {
    return QStringLiteral("CREATE TABLE IF NOT EXISTS \"%1\" (ID INTEGER PRIMARY KEY AUTOINCREMENT, LangID INTEGER, "
                          "IfSendOut BOOLEAN, IfBroadcast BOOLEAN, LogTime DATETIME, Nick TEXT COLLATE NOCASE, "
                          "Computer TEXT COLLATE NOCASE, IP TEXT COLLATE NOCASE, First2Line TEXT, Content TEXT)")
        .arg(table);
}

// The index holds neither the text nor the trigrams' positions: it costs a
// third of an index with positions, and the store checks each candidate's
// text. (The texts' lengths stay: they are what counts its entries.)
// (The tokenizer's default spelled out marks an index that holds single characters.)
inline const QString kCreateSearchIndex = QStringLiteral(
    "CREATE VIRTUAL TABLE IF NOT EXISTS LogSearch USING fts5 (Body, content='', tokenize='trigram case_sensitive 0', "
    "detail=none)");
// What the index of a current log says of itself; an index without it (with
// positions, as logs were first written, or without single characters) is
// built anew when the log opens.
inline const QString kSearchIndexMark = QStringLiteral("case_sensitive 0");

inline QStringList SchemaStatements() {
    QStringList statements;
    for (TLogType type : kStoredTypes) statements += CreateTable(ChatLog::TableName(type));
    statements += QStringLiteral("CREATE INDEX IF NOT EXISTS MessageNick ON Message (Nick)");
    statements += QStringLiteral("CREATE INDEX IF NOT EXISTS MessageComputer ON Message (Computer, IP)");
    // Search: keys in the order records were written, across the tables.
    statements += QStringLiteral("CREATE TABLE IF NOT EXISTS LogSearchKey (Key INTEGER PRIMARY KEY AUTOINCREMENT, "
                                 "Kind INTEGER NOT NULL, RecordID INTEGER NOT NULL)");
    statements += QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS LogSearchKeyRecord ON LogSearchKey (Kind, RecordID)");
    statements += kCreateSearchIndex;
    statements += QStringLiteral("CREATE TABLE IF NOT EXISTS LogMaintenance (Name TEXT PRIMARY KEY, Value INTEGER)");
    return statements;
}

// The columns a list entry reads, in the order EntryFromQuery takes them.
inline const QString kEntryColumns =
    QStringLiteral("ID, LangID, IfSendOut, IfBroadcast, LogTime, Nick, Computer, IP, First2Line");

inline TLogEntry EntryFromQuery(const QSqlQuery& query, TLogType category) {
    TLogEntry entry;
    entry.Category = category;
    entry.ID = query.value(0).toLongLong();
    entry.LangID = qint16(query.value(1).toInt());
    entry.IfSendOut = query.value(2).toInt() != 0;
    entry.IfBroadcast = query.value(3).toInt() != 0;
    entry.LogTime = ParseStoredTime(query.value(4).toString());
    entry.Nick = query.value(5).toString();
    entry.Computer = query.value(6).toString();
    entry.IP = query.value(7).toString();
    entry.First2Line = query.value(8).toString();
    return entry;
}

// The WHERE clause of a filter and its values. Listing a peer by computer
// also matches its IP address when one is given; deleting and exporting match
// the computer alone.
struct TWhere {
    QString Sql;
    QVariantList Values;
};
inline TWhere WhereOf(const TLogFilter& filter, bool listing) {
    if (filter.Category != ltRelation) return {QStringLiteral("1=1"), {}};
    if (filter.ByNick) return {QStringLiteral("Nick = ?"), {filter.Peer}};
    if (listing && !filter.IP.isEmpty()) return {QStringLiteral("Computer = ? AND IP = ?"), {filter.Peer, filter.IP}};
    return {QStringLiteral("Computer = ?"), {filter.Peer}};
}

} // namespace ChatLogSql
