#pragma once

#include "chatlog/ChatLogTypesUnit.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class TChatLogStore;
class TChatLogThread;
class TChatLogReader;
class TChatLogSpace;

// The chat log of this process: one writer thread with a queue in front of
// the store (ChatLogStoreUnit), so the GUI never waits for the disk, and a
// reader for lists, contents and searches. Lives on the main thread; results
// arrive as its signals there.
class TChatLog : public QObject {
    Q_OBJECT
public:
    // folder: the log folder (default: program folder + "ChatDB/"); space:
    // the free-space floor of its writes (default: 64 MiB of the system's figure).
    explicit TChatLog(QString folder = {}, QObject* parent = nullptr, std::shared_ptr<TChatLogSpace> space = {});
    // Stores everything still queued, then stops the writer.
    ~TChatLog() override;

    QString DatabaseFileName() const;
    // The database check at start: creates the folder, the database and its
    // tables when missing and cleans up after an interrupted run, on the writer.
    void Start();

    // Returns at once; records keep their order. A record that cannot be
    // stored is tried once more, then reported through ErrorOccurred.
    void AddLogRecord(TLogRecord record);

    // Run on the writer, after the records queued before them. Each returns a
    // ticket that OperationFinished names.
    quint64 DeleteLogRecord(TLogType type, qint64 id);
    quint64 DeleteLogCategory(const TLogFilter& filter);
    quint64 ExportLog(const TLogFilter& filter, const QString& fileName);
    // Every record a search for text finds, as one RTF file.
    quint64 ExportSearch(const QString& text, const QString& fileName);
    quint64 CompactDatabase();

    // Lists, contents, nicknames and searches, answered off this thread.
    TChatLogReader& Reader() { return *FReader; }

    // Blocks until the writer's queue is empty (tests, benchmarks, exit).
    void Flush();
    qsizetype PendingRecords() const;
    // Records not stored because the disk's free space was below the floor.
    qint64 RefusedForSpace() const;

signals:
    // A record is stored; entry carries its new ID.
    void RecordAdded(const TLogEntry& entry);
    // Records of the category were deleted (lists showing it reload).
    void RecordsDeleted(TLogType category);
    // error is empty when the operation succeeded.
    void OperationFinished(quint64 ticket, const QString& error);
    // The log cannot be opened, or records could not be stored: the text for
    // the error box. Given once until the log works again.
    void ErrorOccurred(const QString& text);
    // The log's disk fell below the free-space floor (full: records are
    // refused from now on) or has room again; once each way.
    void SpaceChanged(bool full, qint64 freeBytes);

private:
    quint64 Queue(std::function<QString(TChatLogStore&)> job, TLogType changed = ltRelation, bool changes = false);
    void Report(bool ok, const QString& text);

    QString FFolder;
    std::shared_ptr<TChatLogSpace> FSpace;
    std::unique_ptr<TChatLogThread> FWriter;
    std::unique_ptr<TChatLogReader> FReader;
    quint64 FNextTicket = 0;
    bool FErrorShown = false;
};
