#pragma once

#include "chatlog/ChatLogTypesUnit.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace Platform {
class TFileLock;
}
class QSqlQuery;
class TChatLogSpace;

// The chat log on disk: the SQLite database "chatlog.mdb" in the log folder
// (one table per log type, the content column always empty) and one side file
// per record, "Content/<ID>.<Single|Broadcast|Group|File>.db", with the
// record's content bytes exactly. A full-text index of the content's plain
// text sits beside the tables (ChatLogSearchUnit).
//
// A record is complete or absent: its row commits only after its side file is
// whole and on disk, and a deleted row's file goes only after the delete
// committed. What a killed process leaves (side files of rows that
// never committed, files of rows deleted) is removed on the next Open.
//
// Synchronous, one connection of its own, used on one thread. Every process
// that has the log open holds a shared lock on "chatlog.mdb.lock"; compaction
// needs it alone. The folder and files are readable by the user alone: SQLite
// has no password of its own.
class TChatLogStore {
public:
    enum TOpenMode {
        omRead,  // lists, contents, searches
        omWrite, // also appends and deletes: cleans up after an interrupted run first
    };

    // folder: the log folder, with or without a trailing "/".
    explicit TChatLogStore(QString folder = DefaultFolder());
    ~TChatLogStore();
    TChatLogStore(const TChatLogStore&) = delete;
    TChatLogStore& operator=(const TChatLogStore&) = delete;

    // Program folder + "ChatDB/".
    static QString DefaultFolder();
    const QString& Folder() const { return FFolder; }
    QString DatabaseFileName() const { return FFolder + QStringLiteral("chatlog.mdb"); }
    QString ContentFolder() const { return FFolder + QStringLiteral("Content/"); }
    QString SideFileName(TLogType type, qint64 id) const;

    // Creates the folder, the database, its tables and index when missing.
    bool Open(TOpenMode mode = omWrite);
    void Close();
    bool IsOpen() const { return FOpen; }
    // The last failure as the user reads it: a translated sentence, then the detail.
    const QString& LastError() const { return FError; }

    // Stores the records in one transaction, in order (ltRelation counts as
    // ltSingle). All or none; ids receives the new IDs. Refused, with nothing
    // written, while the disk's free space is below the floor of space.
    bool Append(const QList<TLogRecord>& records, QList<qint64>* ids = nullptr);
    // Whether the last Append was refused for want of free space.
    bool RefusedForSpace() const { return FRefusedForSpace; }
    // The free-space floor appends keep to; none: no floor.
    void SetSpace(std::shared_ptr<TChatLogSpace> space) { FSpace = std::move(space); }

    // The records of the filter with lowerBound < ID (and ID < upperBound when
    // it is not 0), newest first, at most limit of them (all when negative).
    std::optional<QList<TLogEntry>> LoadLogList(const TLogFilter& filter, qint64 lowerBound, qint64 upperBound = 0,
                                                int limit = -1);
    // Rows of the filter newest first, one at a time until visit returns false;
    // the export's reading (filters of ltRelation by computer ignore the IP).
    bool ForEachRecord(const TLogFilter& filter, const std::function<bool(const TLogEntry&)>& visit);
    std::optional<TLogContent> LoadLogContent(TLogType type, qint64 id);
    // Every distinct Nick of the single-message table.
    std::optional<QStringList> ListNicknames();
    // Hits newest first, keys below beforeKey (0: from the newest), at most limit.
    std::optional<QList<TLogSearchHit>> SearchLog(const QString& text, qint64 beforeKey = 0, int limit = 50);

    // False (with LastError) on failure; *found tells whether the row existed.
    bool DeleteLogRecord(TLogType type, qint64 id, bool* found = nullptr);
    // Every record of the filter (ltRelation by computer ignores the IP); the
    // number deleted, none on failure. No rows: nothing is written.
    std::optional<int> DeleteLogCategory(const TLogFilter& filter);
    // Rewrites the database into "chatlog.mdb.bak", checks it and renames it
    // over "chatlog.mdb"; the old file stays whole until the rename. Needs the
    // log to be open in no other process. Also removes side files no row owns.
    bool CompactDatabase();

    // Tests stop a writer at a named step of Append to kill it there.
    void SetStepProbe(std::function<void(const char* step)> probe) { FStepProbe = std::move(probe); }

private:
    bool OpenConnection();
    bool CreateSchema(bool migrate);
    bool CleanUp();
    bool RemoveOrphansAbove(TLogType type);
    bool RemoveUnownedSideFiles();
    bool RebuildSearchIndex();
    bool OptimizeSearchIndex();
    bool IndexRecord(TLogType type, qint64 id, const TLogContent& content);
    // The statement of sql prepared once per connection (appends run the same
    // few for every record); nullptr with the error set when it cannot be.
    QSqlQuery* Statement(const QString& sql);
    std::optional<qint64> MetaValue(const QString& name);
    bool SetMetaValue(const QString& name, qint64 value);
    bool AddMetaValue(const QString& name, qint64 delta);

    bool Exec(const QString& sql);
    bool Exec(QSqlQuery& query, const QString& what);
    bool Begin();
    bool Commit();
    void Rollback();
    bool Fail(const QString& sentence, const QString& detail = {});
    std::nullopt_t FailNone(const QString& sentence, const QString& detail = {}) {
        Fail(sentence, detail);
        return std::nullopt;
    }
    void Step(const char* step) const {
        if (FStepProbe) FStepProbe(step);
    }

    QString FFolder;
    QString FConnectionName;
    QSqlDatabase FDb;
    QHash<QString, QSqlQuery> FStatements;
    std::unique_ptr<Platform::TFileLock> FLock;
    bool FOpen = false;
    QString FError;
    std::function<void(const char*)> FStepProbe;
    std::shared_ptr<TChatLogSpace> FSpace;
    bool FRefusedForSpace = false;
};
