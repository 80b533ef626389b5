#pragma once

#include "chatlog/ChatLogStoreUnit.h"

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>
#include <deque>
#include <functional>
#include <memory>
#include <variant>

// One thread with a queue in front of a TChatLogStore of its own. Records and
// tasks run in the order they were queued; records queued back to back are
// stored in one transaction, so a burst costs one flush to disk, not one per
// record. A record that follows a stored one closely waits up to GatherMs for
// more, so that records coming one at a time in a stream (a peer sending
// message after message) share transactions too. Callers never wait: Add and
// Post return at once.
class TChatLogThread {
public:
    using TTask = std::function<void(TChatLogStore&)>;

    struct TOptions {
        TChatLogStore::TOpenMode Mode = TChatLogStore::omWrite;
        // Readers close the database whenever the queue runs dry, so that a
        // compaction in this process finds no connection but its own.
        bool CloseWhenIdle = false;
        // What is still queued at destruction: done (a writer) or dropped.
        bool DrainOnStop = true;
        int MaxBatch = 256; // records per transaction (each holds a file open until commit)
        // How long a record of a stream waits for others to share its
        // transaction (0: never). A record queued within StreamGapMs of the
        // last store belongs to a stream; one after a quiet spell is stored at once.
        int GatherMs = 5;
        int StreamGapMs = 50;
        // The free-space floor of appends (TChatLogStore::SetSpace); records
        // it refuses are counted there, neither retried nor reported as failed.
        std::shared_ptr<TChatLogSpace> Space;
        // Test hook: the store's step probe (TChatLogStore::SetStepProbe).
        std::function<void(const char*)> StepProbe;
    };

    // Called on the thread. ok false: error is the text for the user.
    struct THooks {
        std::function<void(bool ok, const QString& error)> Opened;
        // The records of one transaction and their new IDs.
        std::function<void(const QList<TLogRecord>& records, const QList<qint64>& ids)> Appended;
        // A record that failed twice; it is not stored.
        std::function<void(const TLogRecord& record, const QString& error)> Failed;
    };

    TChatLogThread(QString folder, TOptions options, THooks hooks = {});
    // Drains or drops the queue (TOptions::DrainOnStop), then ends the thread.
    ~TChatLogThread();
    TChatLogThread(const TChatLogThread&) = delete;
    TChatLogThread& operator=(const TChatLogThread&) = delete;

    // Opens the store at once (the database check at start); without it the
    // first queued item opens it.
    void OpenNow();
    void Add(TLogRecord record);
    void Post(TTask task);
    // Blocks until everything queued before the call is done.
    void Drain();
    // Items queued or in hand.
    qsizetype Pending() const;

private:
    using TItem = std::variant<TLogRecord, TTask>;

    void Run();
    void Enqueue(TItem item);
    bool EnsureOpen(TChatLogStore& store, bool report);
    void StoreRecords(TChatLogStore& store, QList<TLogRecord>& records);
    // Under FMutex: the queued records at the front, up to room of them.
    void TakeRecords(QList<TLogRecord>& records);
    // Under FMutex: true when a gathering wait should end now.
    bool GatherDone(qsizetype have) const;

    const QString FFolder;
    const TOptions FOptions;
    const THooks FHooks;
    mutable QMutex FMutex;
    QWaitCondition FWake;
    QWaitCondition FIdle;
    std::deque<TItem> FQueue;
    qsizetype FInHand = 0;
    int FDraining = 0;       // callers waiting in Drain
    bool FGathering = false; // waiting for more records of a stream
    bool FStopping = false;
    bool FOpenPending = false; // OpenNow was called, the store not yet opened
    std::unique_ptr<QThread> FThread;
};
