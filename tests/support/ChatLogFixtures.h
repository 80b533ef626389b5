#pragma once

// Records, folders and a raw view of the database for the chat-log tests.
#include "chatlog/ChatLogSearchUnit.h"
#include "chatlog/ChatLogStoreUnit.h"
#include "chatlog/ChatLogTypesUnit.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <gtest/gtest.h>
#include <atomic>
#include <memory>

namespace ChatLogFixtures {

// A fixed local time, so list and export texts are stable.
inline QDateTime When(int minutes = 0) {
    return QDateTime(QDate(2024, 5, 1), QTime(13, 45, 10)).addSecs(qint64(minutes) * 60);
}

inline TLogRecord Record(TLogType type, const QString& nick, const QByteArray& content, bool sendOut = false,
                         const QString& computer = QStringLiteral("PC-1"), const QString& ip = QStringLiteral("10.0.0.5")) {
    TLogRecord r;
    r.LogType = type;
    r.LangID = 1033;
    r.Content = content;
    r.First2Line = QStringLiteral("first line\r\nsecond line");
    r.IP = ip;
    r.Computer = computer;
    r.Nick = nick;
    r.LogTime = When();
    r.IfBroadcast = type == ltBroadcast;
    r.IfSendOut = sendOut;
    return r;
}

// US English dates and times in list and export texts for the test's lifetime.
class TScopedLocale {
public:
    explicit TScopedLocale(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates)) {
        QLocale::setDefault(locale);
    }
    ~TScopedLocale() { QLocale::setDefault(FOld); }

private:
    QLocale FOld;
};

// A log folder in a throw-away program folder, with a store open for writing.
class TLogHome {
public:
    TLogHome() : Store(Folder()) {}
    QString Folder() const { return Home.Path() + QStringLiteral("ChatDB/"); }
    QString SideFile(TLogType type, qint64 id) const { return Store.SideFileName(type, id); }
    QByteArray SideBytes(TLogType type, qint64 id) const {
        QFile f(SideFile(type, id));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Appends and returns the new ID (0 on failure).
    qint64 Add(const TLogRecord& record) {
        QList<qint64> ids;
        return Store.Append({record}, &ids) && !ids.isEmpty() ? ids.first() : 0;
    }

    TTempHome Home;
    TChatLogStore Store;
};

// A connection of its own to a database file, for looking behind the store.
class TRawDb {
public:
    explicit TRawDb(const QString& file) : FName(QStringLiteral("raw-%1").arg(++Count())) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FName);
        db.setDatabaseName(file);
        db.open();
    }
    ~TRawDb() {
        { QSqlDatabase::database(FName).close(); }
        QSqlDatabase::removeDatabase(FName);
    }
    // The first column of the first row; invalid when there is none.
    QVariant Value(const QString& sql) const {
        QSqlQuery q(QSqlDatabase::database(FName));
        if (!q.exec(sql) || !q.next()) return {};
        return q.value(0);
    }
    // Every row, columns joined by '|'.
    QStringList Rows(const QString& sql) const {
        QSqlQuery q(QSqlDatabase::database(FName));
        QStringList rows;
        if (!q.exec(sql)) return {QStringLiteral("error: ") + q.lastError().text()};
        while (q.next()) {
            QStringList columns;
            for (int i = 0; i < q.record().count(); ++i) columns += q.value(i).toString();
            rows += columns.join(QLatin1Char('|'));
        }
        return rows;
    }

private:
    static int& Count() {
        static int count = 0;
        return count;
    }
    QString FName;
};

// A log as the first schema wrote it: the same tables, and an index with
// positions queried by one doubled phrase. Records go in in order, each with
// its side file; returns their IDs.
inline QList<qint64> MakeFirstSchemaLog(const QString& folder, const QList<TLogRecord>& records) {
    QDir().mkpath(folder + QStringLiteral("Content"));
    QList<qint64> ids;
    const QString name = QStringLiteral("first-schema");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(folder + QStringLiteral("chatlog.mdb"));
        db.open();
        QSqlQuery q(db);
        const auto table = [](const char* name) {
            return QStringLiteral("CREATE TABLE \"%1\" (ID INTEGER PRIMARY KEY AUTOINCREMENT, LangID INTEGER, "
                                  "IfSendOut BOOLEAN, IfBroadcast BOOLEAN, LogTime DATETIME, Nick TEXT COLLATE NOCASE, "
                                  "Computer TEXT COLLATE NOCASE, IP TEXT COLLATE NOCASE, First2Line TEXT, Content TEXT)")
                .arg(QLatin1String(name));
        };
        for (const QString& sql :
             {QStringLiteral("PRAGMA journal_mode=WAL"), table("Message"), table("Broadcast"), table("GroupMsg"), table("File"),
              QStringLiteral("CREATE INDEX MessageNick ON Message (Nick)"),
              QStringLiteral("CREATE INDEX MessageComputer ON Message (Computer, IP)"),
              QStringLiteral("CREATE TABLE LogSearchKey (Key INTEGER PRIMARY KEY AUTOINCREMENT, Kind INTEGER NOT NULL, "
                             "RecordID INTEGER NOT NULL)"),
              QStringLiteral("CREATE UNIQUE INDEX LogSearchKeyRecord ON LogSearchKey (Kind, RecordID)"),
              QStringLiteral("CREATE VIRTUAL TABLE LogSearch USING fts5 (Body, content='', tokenize='trigram')"),
              QStringLiteral("CREATE TABLE LogMaintenance (Name TEXT PRIMARY KEY, Value INTEGER)")})
            EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        for (const TLogRecord& record : records) {
            const TLogType type = ChatLog::StoredType(record.LogType);
            QSqlQuery insert(db);
            insert.prepare(QStringLiteral("INSERT INTO \"%1\" (LangID, IfSendOut, IfBroadcast, LogTime, Nick, Computer, IP, "
                                          "First2Line, Content) VALUES (?, ?, ?, ?, ?, ?, ?, ?, '')")
                               .arg(ChatLog::TableName(type)));
            for (const QVariant& value :
                 {QVariant(int(record.LangID)), QVariant(int(record.IfSendOut)), QVariant(int(record.IfBroadcast)),
                  QVariant(record.LogTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))), QVariant(record.Nick),
                  QVariant(record.Computer), QVariant(record.IP), QVariant(record.First2Line)})
                insert.addBindValue(value);
            EXPECT_TRUE(insert.exec()) << insert.lastError().text().toStdString();
            const qint64 id = insert.lastInsertId().toLongLong();
            ids += id;
            QFile file(folder + QStringLiteral("Content/%1.%2.db").arg(id).arg(ChatLog::TypeName(type)));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(record.Content) == record.Content.size());
            const QString text = ChatLog::SearchableText(TLogContent{type, id, record.LangID, record.Content});
            if (text.isEmpty()) continue;
            QSqlQuery key(db);
            key.prepare(QStringLiteral("INSERT INTO LogSearchKey (Kind, RecordID) VALUES (?, ?)"));
            key.addBindValue(int(type));
            key.addBindValue(id);
            EXPECT_TRUE(key.exec());
            QSqlQuery index(db);
            index.prepare(QStringLiteral("INSERT INTO LogSearch (rowid, Body) VALUES (?, ?)"));
            index.addBindValue(key.lastInsertId());
            // The first schema held the doubled text only, without the single characters.
            index.addBindValue(ChatLog::IndexForm(text).section(QLatin1Char('\n'), 0, 0));
            EXPECT_TRUE(index.exec()) << index.lastError().text().toStdString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ids;
}

// The first schema's own search: IDs (as "Kind:ID") newest first of one doubled phrase.
inline QStringList FirstSchemaHits(const QString& database, const QString& query) {
    QStringList hits;
    const QString name = QStringLiteral("first-schema-search");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(database);
        db.open();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT k.Kind, k.RecordID FROM LogSearch s JOIN LogSearchKey k ON k.Key = s.rowid "
                                 "WHERE LogSearch MATCH ? ORDER BY s.rowid DESC"));
        QString phrase = ChatLog::IndexForm(query.simplified()).section(QLatin1Char('\n'), 0, 0);
        phrase.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        q.addBindValue(QLatin1Char('"') + phrase + QLatin1Char('"'));
        if (!q.exec()) hits += QStringLiteral("error: ") + q.lastError().text();
        while (q.next()) hits += q.value(0).toString() + QLatin1Char(':') + q.value(1).toString();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return hits;
}

} // namespace ChatLogFixtures
