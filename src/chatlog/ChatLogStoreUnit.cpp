#include "chatlog/ChatLogStoreUnit.h"

#include "chatlog/ChatLogSearchUnit.h"
#include "chatlog/ChatLogSpaceUnit.h"
#include "chatlog/ChatLogStoreSql.h"
#include "platform/FileLockUnit.h"
#include "platform/FileSyncUnit.h"
#include "platform/PathsUnit.h"
#include "text/UILangUnit.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>

using namespace ChatLogSql;

namespace {

std::atomic<quint64> GConnectionCount{0};

// Readable by the user alone: SQLite has no password to keep the log private.
bool MakeOwnerOnly(const QString& path, bool folder) {
    const QFile::Permissions wanted =
        QFile::ReadOwner | QFile::WriteOwner | (folder ? QFile::ExeOwner : QFile::Permissions());
    const QFile::Permissions others =
        QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    const QFile::Permissions now = QFile::permissions(path);
    return ((now & others) == 0 && (now & wanted) == wanted) || QFile::setPermissions(path, wanted);
}

bool MakeOwnerFolder(const QString& path) { return QDir().mkpath(path) && MakeOwnerOnly(path, true); }

} // namespace

TChatLogStore::TChatLogStore(QString folder) : FFolder(std::move(folder)) {
    if (!FFolder.endsWith(QLatin1Char('/'))) FFolder += QLatin1Char('/');
    FConnectionName = QStringLiteral("chatlog-%1").arg(++GConnectionCount);
}

TChatLogStore::~TChatLogStore() { Close(); }

QString TChatLogStore::DefaultFolder() { return Platform::DataFolder() + QStringLiteral("ChatDB/"); }

QString TChatLogStore::SideFileName(TLogType type, qint64 id) const {
    return ContentFolder() + QString::number(id) + QLatin1Char('.') + ChatLog::TypeName(type) + QStringLiteral(".db");
}

bool TChatLogStore::Fail(const QString& sentence, const QString& detail) {
    FError = detail.isEmpty() ? sentence : sentence + QStringLiteral("\r\n") + detail;
    return false;
}

bool TChatLogStore::Exec(const QString& sql) {
    QSqlQuery query(FDb);
    if (query.exec(sql)) return true;
    return Fail(Translate(QStringLiteral("The chat log could not be read or written.")), query.lastError().text());
}

bool TChatLogStore::Exec(QSqlQuery& query, const QString& what) {
    if (query.exec()) return true;
    return Fail(Translate(QStringLiteral("The chat log could not be read or written.")),
                what + QStringLiteral(": ") + query.lastError().text());
}

bool TChatLogStore::Begin() { return Exec(QStringLiteral("BEGIN IMMEDIATE")); }

bool TChatLogStore::Commit() { return Exec(QStringLiteral("COMMIT")); }

void TChatLogStore::Rollback() {
    QSqlQuery query(FDb);
    query.exec(QStringLiteral("ROLLBACK"));
}

bool TChatLogStore::Open(TOpenMode mode) {
    Close();
    const QString cannotOpen =
        TranslateFormat(QStringLiteral("Cannot open the chat log %s."), {QDir::toNativeSeparators(DatabaseFileName())});
    if (!MakeOwnerFolder(FFolder) || !MakeOwnerFolder(ContentFolder()))
        return Fail(cannotOpen, Translate(QStringLiteral("The folder cannot be created.")));
    FLock = std::make_unique<Platform::TFileLock>(DatabaseFileName() + QStringLiteral(".lock"));
    if (!FLock->LockShared()) {
        const QString detail = FLock->ErrorString();
        FLock.reset();
        return Fail(cannotOpen, detail);
    }
    // A new database file is created here, so that SQLite's own files take
    // its owner-only mode.
    QFile database(DatabaseFileName());
    const QFile::Permissions ownerFile = QFile::ReadOwner | QFile::WriteOwner;
    if (!database.exists()) {
        if (!database.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerFile) && !database.exists()) {
            Close();
            return Fail(cannotOpen, database.errorString());
        }
        database.close();
    } else {
        MakeOwnerOnly(database.fileName(), false);
    }
    // Left by a compaction that was cut short: the database is the old one, whole.
    QFile::remove(DatabaseFileName() + QStringLiteral(".bak"));

    if (!OpenConnection() || !CreateSchema(mode == omWrite) || (mode == omWrite && !CleanUp())) {
        const QString detail = FError;
        Close();
        return Fail(cannotOpen, detail);
    }
    FOpen = true;
    return true;
}

bool TChatLogStore::OpenConnection() {
    FDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FConnectionName);
    FDb.setDatabaseName(DatabaseFileName());
    FDb.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!FDb.open()) return Fail(Translate(QStringLiteral("The chat log could not be read or written.")), FDb.lastError().text());
    QSqlQuery mode(FDb);
    if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next() ||
        mode.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return Fail(Translate(QStringLiteral("The chat log could not be read or written.")),
                    QStringLiteral("journal_mode: ") + mode.lastError().text());
    // The write-ahead log is folded in every MiB and cut back to that size
    // (it keeps its largest size otherwise: 4 MiB beside a small log).
    // Side files are flushed before their rows commit, so a commit lost with
    // the power leaves no row without its file.
    return Exec(QStringLiteral("PRAGMA wal_autocheckpoint=256")) && Exec(QStringLiteral("PRAGMA journal_size_limit=1048576")) &&
           Exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
}

void TChatLogStore::Close() {
    FOpen = false;
    // Before the connection goes: a statement left would keep it in use.
    FStatements.clear();
    if (FDb.isValid()) {
        FDb.close();
        FDb = QSqlDatabase();
        QSqlDatabase::removeDatabase(FConnectionName);
    }
    FLock.reset();
}

bool TChatLogStore::CreateSchema(bool migrate) {
    const auto state = [this](int& tables, QString& indexSql) {
        QSqlQuery query(FDb);
        if (!query.exec(QStringLiteral("SELECT count(*), max(CASE name WHEN 'LogSearch' THEN sql END) FROM sqlite_master "
                                       "WHERE name IN ('Message','Broadcast','GroupMsg','File','LogSearch','LogSearchKey',"
                                       "'LogMaintenance')")) ||
            !query.next())
            return Fail(Translate(QStringLiteral("The chat log could not be read or written.")), query.lastError().text());
        tables = query.value(0).toInt();
        indexSql = query.value(1).toString();
        return true;
    };
    int tables = 0;
    QString indexSql;
    if (!state(tables, indexSql)) return false;
    // A reader searches an index with positions as well (the query's trigrams
    // are single terms): the writer, which may wait, builds the new one.
    const auto done = [&] { return tables == 7 && (!migrate || indexSql.contains(kSearchIndexMark)); };
    if (done()) return true;

    // One transaction: a crash leaves the old schema or the new one, whole.
    // Read again under the write lock: another connection may have done it.
    if (!Begin()) return false;
    const auto undo = [this] {
        Rollback();
        return false;
    };
    if (!state(tables, indexSql)) return undo();
    if (done()) return Commit() || undo();
    // An index with positions (as logs were first written) costs three times
    // the space: it goes, and the one below is built from the side files.
    const bool rebuild = indexSql.isEmpty() || (migrate && !indexSql.contains(kSearchIndexMark));
    if (!indexSql.isEmpty() && rebuild && !Exec(QStringLiteral("DROP TABLE LogSearch"))) return undo();
    for (const QString& sql : SchemaStatements())
        if (!Exec(sql)) return undo();
    Step("schema-created");
    // A log written without the index (by hand or an older tool) is indexed now.
    if (rebuild && !RebuildSearchIndex()) return undo();
    Step("index-rebuilt");
    return Commit() || undo();
}

bool TChatLogStore::CleanUp() {
    // Under the write lock no other process is half-way through a record.
    if (!Begin()) return false;
    bool ok = true;
    for (TLogType type : kStoredTypes) ok = ok && RemoveOrphansAbove(type);
    const std::optional<qint64> pending = ok ? MetaValue(kUnlinkPending) : std::nullopt;
    ok = pending.has_value();
    if (ok && *pending != 0) ok = RemoveUnownedSideFiles() && SetMetaValue(kUnlinkPending, 0);
    if (!ok || !Commit()) {
        Rollback();
        return false;
    }
    return true;
}

// Records that never committed had the IDs after the table's sequence, and
// their files were written in ID order: the files from there on up to the
// first gap are theirs.
bool TChatLogStore::RemoveOrphansAbove(TLogType type) {
    QSqlQuery sequence(FDb);
    sequence.prepare(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"));
    sequence.addBindValue(ChatLog::TableName(type));
    if (!Exec(sequence, QStringLiteral("sequence"))) return false;
    const qint64 last = sequence.next() ? sequence.value(0).toLongLong() : 0;
    for (qint64 id = last + 1;; ++id) {
        const QString file = SideFileName(type, id);
        if (!QFile::exists(file)) return true;
        if (!QFile::remove(file))
            return Fail(Translate(QStringLiteral("The chat log could not be read or written.")),
                        QDir::toNativeSeparators(file));
    }
}

std::optional<qint64> TChatLogStore::MetaValue(const QString& name) {
    QSqlQuery query(FDb);
    query.prepare(QStringLiteral("SELECT Value FROM LogMaintenance WHERE Name = ?"));
    query.addBindValue(name);
    if (!Exec(query, name)) return std::nullopt;
    return query.next() ? query.value(0).toLongLong() : 0;
}

bool TChatLogStore::SetMetaValue(const QString& name, qint64 value) {
    QSqlQuery query(FDb);
    query.prepare(QStringLiteral("INSERT INTO LogMaintenance (Name, Value) VALUES (?, ?) "
                                 "ON CONFLICT (Name) DO UPDATE SET Value = excluded.Value"));
    query.addBindValue(name);
    query.addBindValue(value);
    return Exec(query, name);
}

bool TChatLogStore::AddMetaValue(const QString& name, qint64 delta) {
    QSqlQuery query(FDb);
    query.prepare(QStringLiteral("INSERT INTO LogMaintenance (Name, Value) VALUES (?, ?) "
                                 "ON CONFLICT (Name) DO UPDATE SET Value = Value + excluded.Value"));
    query.addBindValue(name);
    query.addBindValue(delta);
    return Exec(query, name);
}

QSqlQuery* TChatLogStore::Statement(const QString& sql) {
    auto it = FStatements.find(sql);
    if (it != FStatements.end()) return &*it;
    QSqlQuery query(FDb);
    if (!query.prepare(sql)) {
        Fail(Translate(QStringLiteral("The chat log could not be read or written.")), query.lastError().text());
        return nullptr;
    }
    return &*FStatements.insert(sql, std::move(query));
}

bool TChatLogStore::IndexRecord(TLogType type, qint64 id, const TLogContent& content) {
    const QString text = ChatLog::SearchableText(
        content.Bytes.size() <= ChatLog::kMaxIndexedBytes
            ? content
            : TLogContent{content.Category, content.ID, content.LangID, content.Bytes.left(ChatLog::kMaxIndexedBytes)});
    if (text.isEmpty()) return true;
    QSqlQuery* key = Statement(QStringLiteral("INSERT INTO LogSearchKey (Kind, RecordID) VALUES (?, ?)"));
    if (!key) return false;
    key->addBindValue(int(type));
    key->addBindValue(id);
    if (!Exec(*key, QStringLiteral("search key"))) return false;
    const QVariant rowid = key->lastInsertId();
    key->finish();
    QSqlQuery* index = Statement(QStringLiteral("INSERT INTO LogSearch (rowid, Body) VALUES (?, ?)"));
    if (!index) return false;
    index->addBindValue(rowid);
    index->addBindValue(ChatLog::IndexForm(text));
    const bool ok = Exec(*index, QStringLiteral("search index"));
    index->finish();
    return ok;
}

bool TChatLogStore::Append(const QList<TLogRecord>& records, QList<qint64>* ids) {
    if (ids) ids->clear();
    FRefusedForSpace = false;
    if (!FOpen) return Fail(Translate(QStringLiteral("The chat log is not open.")));
    if (records.isEmpty()) return true;
    if (FSpace) {
        // A side file takes at least a block; its row and index entries about as much again.
        qint64 bytes = 0;
        for (const TLogRecord& record : records) bytes += record.Content.size() + 8192;
        if (!FSpace->Admit(FFolder, bytes, int(records.size()))) {
            FRefusedForSpace = true;
            return Fail(Translate(QStringLiteral("The chat log could not be read or written.")),
                        QStringLiteral("free space below %1 MiB").arg(FSpace->Floor() / (1024 * 1024)));
        }
    }
    if (!Begin()) return false;

    // Each side file is written under its final name: its row is not
    // committed until the file is whole and on disk, and a record that never
    // committed leaves a file only above the table's sequence, which the next
    // record with that ID overwrites or the next start removes.
    std::vector<std::unique_ptr<QFile>> files;
    files.reserve(size_t(records.size()));
    QList<qint64> newIds;
    const auto undo = [&] {
        Rollback();
        for (const std::unique_ptr<QFile>& file : files) file->remove();
        return false;
    };
    const auto fileFailed = [&](const QFile& file, const QString& detail) {
        Fail(Translate(QStringLiteral("The chat log could not be read or written.")),
             QDir::toNativeSeparators(file.fileName()) + QStringLiteral(": ") + detail);
        return undo();
    };

    for (const TLogRecord& record : records) {
        const TLogType type = ChatLog::StoredType(record.LogType);
        QSqlQuery* prepared = Statement(QStringLiteral("INSERT INTO \"%1\" (LangID, IfSendOut, IfBroadcast, LogTime, Nick, "
                                                       "Computer, IP, First2Line, Content) VALUES (?, ?, ?, ?, ?, ?, ?, ?, '')")
                                            .arg(ChatLog::TableName(type)));
        if (!prepared) return undo();
        QSqlQuery& insert = *prepared;
        insert.addBindValue(int(record.LangID));
        insert.addBindValue(int(record.IfSendOut));
        insert.addBindValue(int(record.IfBroadcast));
        insert.addBindValue(StoredTime(record.LogTime.isValid() ? record.LogTime : QDateTime::currentDateTime()));
        insert.addBindValue(record.Nick);
        insert.addBindValue(record.Computer);
        insert.addBindValue(record.IP);
        insert.addBindValue(record.First2Line);
        if (!Exec(insert, QStringLiteral("insert"))) return undo();
        const qint64 id = insert.lastInsertId().toLongLong();
        insert.finish();
        newIds += id;
        Step("row-inserted");

        files.push_back(std::make_unique<QFile>(SideFileName(type, id)));
        QFile& file = *files.back();
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFile::ReadOwner | QFile::WriteOwner) ||
            file.write(record.Content) != record.Content.size() || !file.flush())
            return fileFailed(file, file.errorString());
        Step("file-written");
        if (!IndexRecord(type, id, TLogContent{type, id, record.LangID, record.Content})) return undo();
    }

    QList<int> handles;
    for (const std::unique_ptr<QFile>& file : files) handles += file->handle();
    if (!Platform::SyncFiles(handles)) return fileFailed(*files.front(), QStringLiteral("sync"));
    for (const std::unique_ptr<QFile>& file : files) file->close();
    Platform::SyncFolder(ContentFolder());
    Step("files-synced");
    if (!Commit()) return undo();
    Step("committed");
    if (ids) *ids = newIds;
    return true;
}
