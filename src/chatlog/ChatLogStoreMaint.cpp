// TChatLogStore: deleting, compacting, and the sweeps behind them.
#include "chatlog/ChatLogStoreUnit.h"

#include "chatlog/ChatLogStoreSql.h"
#include "platform/FileLockUnit.h"
#include "platform/FileSyncUnit.h"
#include "text/UILangUnit.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

using namespace ChatLogSql;

namespace {

// How long compaction waits for this process's own readers to finish.
constexpr int kExclusiveWaitMs = 3000;

QString ReadWriteFailed() { return Translate(QStringLiteral("The chat log could not be read or written.")); }

} // namespace

bool TChatLogStore::DeleteLogRecord(TLogType type, qint64 id, bool* found) {
    if (found) *found = false;
    if (!FOpen) return Fail(Translate(QStringLiteral("The chat log is not open.")));
    const TLogType stored = ChatLog::StoredType(type);
    if (!Begin()) return false;
    QSqlQuery row(FDb);
    row.prepare(QStringLiteral("DELETE FROM \"%1\" WHERE ID = ?").arg(ChatLog::TableName(stored)));
    row.addBindValue(id);
    QSqlQuery key(FDb);
    key.prepare(QStringLiteral("DELETE FROM LogSearchKey WHERE Kind = ? AND RecordID = ?"));
    key.addBindValue(int(stored));
    key.addBindValue(id);
    bool ok = Exec(row, QStringLiteral("delete"));
    const int rows = ok ? row.numRowsAffected() : 0;
    ok = ok && Exec(key, QStringLiteral("delete"));
    const int keys = ok ? key.numRowsAffected() : 0;
    if (rows == 0) {
        Rollback();
        return ok;
    }
    ok = ok && AddMetaValue(kDeadSearchEntries, keys) && SetMetaValue(kUnlinkPending, 1);
    if (!ok || !Commit()) {
        Rollback();
        return false;
    }
    if (found) *found = true;
    // The row is gone for good: now its file may go. A failure here leaves a
    // file no row owns, which the next start sweeps away.
    QFile::remove(SideFileName(stored, id));
    SetMetaValue(kUnlinkPending, 0);
    return true;
}

std::optional<int> TChatLogStore::DeleteLogCategory(const TLogFilter& filter) {
    if (!FOpen) return FailNone(Translate(QStringLiteral("The chat log is not open.")));
    const TLogType stored = ChatLog::StoredType(filter.Category);
    const QString table = ChatLog::TableName(stored);
    const TWhere where = WhereOf(filter, false);
    if (!Begin()) return std::nullopt;
    QList<qint64> ids;
    {
        QSqlQuery select(FDb);
        select.setForwardOnly(true);
        select.prepare(QStringLiteral("SELECT ID FROM \"%1\" WHERE %2").arg(table, where.Sql));
        for (const QVariant& value : where.Values) select.addBindValue(value);
        if (!Exec(select, QStringLiteral("delete"))) {
            Rollback();
            return std::nullopt;
        }
        while (select.next()) ids += select.value(0).toLongLong();
    }
    if (ids.isEmpty()) {
        Rollback();
        return 0;
    }
    QSqlQuery keys(FDb);
    keys.prepare(QStringLiteral("DELETE FROM LogSearchKey WHERE Kind = ? AND RecordID IN (SELECT ID FROM \"%1\" WHERE %2)")
                     .arg(table, where.Sql));
    keys.addBindValue(int(stored));
    for (const QVariant& value : where.Values) keys.addBindValue(value);
    QSqlQuery rows(FDb);
    rows.prepare(QStringLiteral("DELETE FROM \"%1\" WHERE %2").arg(table, where.Sql));
    for (const QVariant& value : where.Values) rows.addBindValue(value);
    bool ok = Exec(keys, QStringLiteral("delete"));
    const int deadKeys = ok ? keys.numRowsAffected() : 0;
    ok = ok && Exec(rows, QStringLiteral("delete")) && AddMetaValue(kDeadSearchEntries, deadKeys) &&
         SetMetaValue(kUnlinkPending, 1);
    Step("delete-executed");
    if (!ok || !Commit()) {
        Rollback();
        return std::nullopt;
    }
    Step("delete-committed");
    for (qint64 id : ids) QFile::remove(SideFileName(stored, id));
    SetMetaValue(kUnlinkPending, 0);
    return int(ids.size());
}

// Every side file whose row is gone. Only with the write lock held (no other
// writer is between a file and its commit).
bool TChatLogStore::RemoveUnownedSideFiles() {
    static const QRegularExpression name(QStringLiteral("^(\\d+)\\.(Single|Broadcast|Group|File)\\.db$"));
    QDirIterator it(ContentFolder(), QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        it.next();
        const QRegularExpressionMatch match = name.match(it.fileName());
        if (!match.hasMatch()) continue;
        QSqlQuery row(FDb);
        row.prepare(QStringLiteral("SELECT 1 FROM \"%1\" WHERE ID = ?")
                        .arg(ChatLog::TableName(*ChatLog::TypeOfName(match.captured(2)))));
        row.addBindValue(match.captured(1).toLongLong());
        if (!Exec(row, QStringLiteral("sweep"))) return false;
        if (!row.next()) QFile::remove(it.filePath());
    }
    return true;
}

// Index of every record again, in the order of their times, from the side files.
bool TChatLogStore::RebuildSearchIndex() {
    if (!Exec(QStringLiteral("INSERT INTO LogSearch (LogSearch) VALUES ('delete-all')")) ||
        !Exec(QStringLiteral("DELETE FROM LogSearchKey")))
        return false;
    QSqlQuery records(FDb);
    records.setForwardOnly(true);
    if (!records.exec(QStringLiteral("SELECT 1, ID, LangID, LogTime FROM Message UNION ALL "
                                     "SELECT 2, ID, LangID, LogTime FROM Broadcast UNION ALL "
                                     "SELECT 3, ID, LangID, LogTime FROM GroupMsg UNION ALL "
                                     "SELECT 4, ID, LangID, LogTime FROM File ORDER BY 4, 1, 2")))
        return Fail(ReadWriteFailed(), records.lastError().text());
    while (records.next()) {
        const TLogType type = TLogType(records.value(0).toInt());
        const qint64 id = records.value(1).toLongLong();
        QFile file(SideFileName(type, id));
        if (!file.open(QIODevice::ReadOnly)) continue;
        if (!IndexRecord(type, id, TLogContent{type, id, qint16(records.value(2).toInt()), file.readAll()})) return false;
    }
    return OptimizeSearchIndex() && SetMetaValue(kDeadSearchEntries, 0);
}

// The index's segments merged into one: a fifth smaller than as appends leave it.
bool TChatLogStore::OptimizeSearchIndex() {
    return Exec(QStringLiteral("INSERT INTO LogSearch (LogSearch) VALUES ('optimize')"));
}

bool TChatLogStore::CompactDatabase() {
    if (!FOpen) return Fail(Translate(QStringLiteral("The chat log is not open.")));
    const QString cannot = Translate(QStringLiteral("The chat log could not be compacted."));
    if (!FLock->TryLockExclusive(kExclusiveWaitMs))
        return Fail(cannot, Translate(QStringLiteral("It is open in another program; close that program and try again.")));
    // From here on no other connection to the database exists.
    const auto failed = [&](const QString& detail) {
        FLock->LockShared();
        return Fail(cannot, detail);
    };

    const std::optional<qint64> dead = MetaValue(kDeadSearchEntries);
    QSqlQuery liveKeys(FDb);
    if (!dead || !liveKeys.exec(QStringLiteral("SELECT count(*) FROM LogSearchKey")) || !liveKeys.next())
        return failed(FError);
    const qint64 live = liveKeys.value(0).toLongLong();
    liveKeys.finish();
    // Entries of deleted records cost space until the index is built anew.
    if (*dead >= 64 && *dead * 4 >= live) {
        if (!Begin()) return failed(FError);
        if (!RebuildSearchIndex() || !Commit()) {
            Rollback();
            return failed(FError);
        }
    }
    if (!Begin()) return failed(FError);
    if (!RemoveUnownedSideFiles() || !SetMetaValue(kUnlinkPending, 0) || !OptimizeSearchIndex() || !Commit()) {
        Rollback();
        return failed(FError);
    }

    const QString target = DatabaseFileName() + QStringLiteral(".bak");
    QFile::remove(target);
    QSqlQuery vacuum(FDb);
    vacuum.prepare(QStringLiteral("VACUUM INTO ?"));
    vacuum.addBindValue(target);
    if (!vacuum.exec()) {
        const QString detail = vacuum.lastError().text();
        QFile::remove(target);
        return failed(detail);
    }
    vacuum.finish();
    Step("compact-written");

    // The copy must hold what the database holds before it replaces it.
    QString checkError;
    {
        const QString name = FConnectionName + QStringLiteral("-check");
        {
            QSqlDatabase copy = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            copy.setDatabaseName(target);
            QSqlQuery check(copy);
            if (!copy.open() || !check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next() ||
                check.value(0).toString() != QLatin1String("ok")) {
                checkError = QStringLiteral("check: ") + check.lastError().text();
            }
            check.finish();
            const QString counts = QStringLiteral(
                "SELECT (SELECT count(*) FROM Message), (SELECT count(*) FROM Broadcast), (SELECT count(*) FROM GroupMsg), "
                "(SELECT count(*) FROM File), (SELECT count(*) FROM LogSearchKey), "
                "(SELECT group_concat(name || '=' || seq) FROM sqlite_sequence)");
            QSqlQuery mine(FDb);
            QSqlQuery theirs(copy);
            if (checkError.isEmpty() &&
                (!mine.exec(counts) || !mine.next() || !theirs.exec(counts) || !theirs.next()))
                checkError = QStringLiteral("count: ") + theirs.lastError().text();
            for (int i = 0; checkError.isEmpty() && i < 6; ++i)
                if (mine.value(i) != theirs.value(i)) checkError = QStringLiteral("the copy differs");
        }
        QSqlDatabase::removeDatabase(name);
    }
    if (!checkError.isEmpty() || !QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner) ||
        !Platform::SyncFile(target)) {
        QFile::remove(target);
        return failed(checkError.isEmpty() ? QStringLiteral("sync") : checkError);
    }

    // The last connection's close folds the write-ahead log in and removes it;
    // an old log left beside the new file would be read into it.
    std::unique_ptr<Platform::TFileLock> lock = std::move(FLock);
    FStatements.clear();
    FDb.close();
    FDb = QSqlDatabase();
    QSqlDatabase::removeDatabase(FConnectionName);
    FOpen = false;
    const QFileInfo wal(DatabaseFileName() + QStringLiteral("-wal"));
    QString renameError;
    bool replaced = false;
    if (wal.exists() && wal.size() > 0) renameError = QStringLiteral("write-ahead log left");
    else {
        Step("compact-before-rename");
        replaced = Platform::ReplaceFile(target, DatabaseFileName(), &renameError);
        if (replaced) Platform::SyncFolder(FFolder);
    }
    if (!replaced) QFile::remove(target);
    FLock = std::move(lock);
    FLock->LockShared();
    if (!OpenConnection()) {
        const QString detail = FError;
        Close();
        return Fail(cannot, detail);
    }
    FOpen = true;
    if (!replaced) return Fail(cannot, renameError);
    return true;
}
