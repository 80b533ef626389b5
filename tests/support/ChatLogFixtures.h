#pragma once

// Records, folders and a raw view of the database for the chat-log tests.
#include "chatlog/ChatLogStoreUnit.h"
#include "chatlog/ChatLogTypesUnit.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
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

} // namespace ChatLogFixtures
