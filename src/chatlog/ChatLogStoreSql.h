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
inline QDateTime ParseStoredTime(const QString& text) {
    QDateTime time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    if (!time.isValid()) time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return time;
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

inline QStringList SchemaStatements() {
    QStringList statements;
    for (TLogType type : kStoredTypes) statements += CreateTable(ChatLog::TableName(type));
    statements += QStringLiteral("CREATE INDEX IF NOT EXISTS MessageNick ON Message (Nick)");
    statements += QStringLiteral("CREATE INDEX IF NOT EXISTS MessageComputer ON Message (Computer, IP)");
    // Search: keys in the order records were written, across the tables.
    statements += QStringLiteral("CREATE TABLE IF NOT EXISTS LogSearchKey (Key INTEGER PRIMARY KEY AUTOINCREMENT, "
                                 "Kind INTEGER NOT NULL, RecordID INTEGER NOT NULL)");
    statements += QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS LogSearchKeyRecord ON LogSearchKey (Kind, RecordID)");
    statements += QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS LogSearch USING fts5 (Body, content='', tokenize='trigram')");
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
