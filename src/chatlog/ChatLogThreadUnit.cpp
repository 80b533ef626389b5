#include "chatlog/ChatLogThreadUnit.h"

#include "platform/MemoryTrimUnit.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <algorithm>

namespace {
constexpr qint64 kTrimAfterBytes = 4 * 1024 * 1024;
} // namespace

TChatLogThread::TChatLogThread(QString folder, TOptions options, THooks hooks)
    : FFolder(std::move(folder)), FOptions(options), FHooks(std::move(hooks)) {
    FThread.reset(QThread::create([this] { Run(); }));
    FThread->setObjectName(QStringLiteral("chatlog"));
    FThread->start();
}

TChatLogThread::~TChatLogThread() {
    {
        QMutexLocker lock(&FMutex);
        FStopping = true;
        if (!FOptions.DrainOnStop) FQueue.clear();
    }
    FWake.wakeAll();
    FThread->wait();
}

void TChatLogThread::OpenNow() {
    {
        QMutexLocker lock(&FMutex);
        FOpenPending = true;
    }
    FWake.wakeAll();
}

void TChatLogThread::Add(TLogRecord record) { Enqueue(std::move(record)); }

void TChatLogThread::Post(TTask task) { Enqueue(std::move(task)); }

void TChatLogThread::Enqueue(TItem item) {
    bool wake = true;
    {
        QMutexLocker lock(&FMutex);
        FQueue.push_back(std::move(item));
        // A gathering writer sleeps its time out unless it has to act sooner:
        // a wake per record would cost what the shared transaction saves.
        wake = !FGathering || GatherDone(FInHand);
    }
    if (wake) FWake.wakeOne();
}

void TChatLogThread::Drain() {
    QMutexLocker lock(&FMutex);
    ++FDraining;
    if (FGathering) FWake.wakeAll();
    while (!FQueue.empty() || FInHand > 0 || FOpenPending) FIdle.wait(&FMutex);
    --FDraining;
}

bool TChatLogThread::GatherDone(qsizetype have) const {
    if (FStopping || FDraining > 0 || have + qsizetype(FQueue.size()) >= FOptions.MaxBatch) return true;
    // A task waits behind the records: it is not held up for more of them.
    // (Records are taken from the front, so a task is first or came last.)
    return !FQueue.empty() && (!std::holds_alternative<TLogRecord>(FQueue.front()) ||
                               !std::holds_alternative<TLogRecord>(FQueue.back()));
}

void TChatLogThread::TakeRecords(QList<TLogRecord>& records) {
    while (!FQueue.empty() && std::holds_alternative<TLogRecord>(FQueue.front()) && records.size() < FOptions.MaxBatch) {
        records += std::move(std::get<TLogRecord>(FQueue.front()));
        FQueue.pop_front();
    }
}

qsizetype TChatLogThread::Pending() const {
    QMutexLocker lock(&FMutex);
    return qsizetype(FQueue.size()) + FInHand;
}

bool TChatLogThread::EnsureOpen(TChatLogStore& store, bool report) {
    if (store.IsOpen()) return true;
    const bool ok = store.Open(FOptions.Mode);
    if (report && FHooks.Opened) FHooks.Opened(ok, store.LastError());
    return ok;
}

void TChatLogThread::StoreRecords(TChatLogStore& store, QList<TLogRecord>& records) {
    // Done with, the received bytes no longer count against their source,
    // whoever keeps a copy of the record after this.
    const auto release = [](TLogRecord& record) { record.Hold.reset(); };
    QList<qint64> ids;
    if (EnsureOpen(store, false) && store.Append(records, &ids)) {
        std::for_each(records.begin(), records.end(), release);
        if (FHooks.Appended) FHooks.Appended(records, ids);
        return;
    }
    if (store.RefusedForSpace()) return;
    // One by one, each tried once more on a fresh connection, so that one bad
    // record (or a passing fault) does not take the others with it.
    for (TLogRecord& record : records) {
        bool stored = false;
        for (int attempt = 0; attempt < 2 && !stored; ++attempt) {
            if (attempt > 0 || !store.IsOpen()) store.Close();
            stored = EnsureOpen(store, false) && store.Append({record}, &ids);
        }
        release(record);
        if (stored) {
            if (FHooks.Appended) FHooks.Appended({record}, ids);
        } else if (FHooks.Failed) {
            FHooks.Failed(record, store.LastError());
        }
    }
}

void TChatLogThread::Run() {
    TChatLogStore store(FFolder);
    store.SetStepProbe(FOptions.StepProbe);
    store.SetSpace(FOptions.Space);
    bool opened = false;
    QElapsedTimer sinceStore; // from the end of the last store
    for (;;) {
        QList<TLogRecord> records;
        TTask task;
        {
            QMutexLocker lock(&FMutex);
            while (FQueue.empty() && !FStopping && !FOpenPending) {
                if (FOptions.CloseWhenIdle && store.IsOpen()) {
                    lock.unlock();
                    store.Close();
                    lock.relock();
                    continue;
                }
                FWake.wait(&FMutex);
            }
            if (FQueue.empty() && FStopping) break;
            TakeRecords(records);
            if (!records.isEmpty() && FOptions.GatherMs > 0 && sinceStore.isValid() &&
                sinceStore.elapsed() < FOptions.StreamGapMs) {
                // Records of a stream: the next ones share this transaction.
                // Held in hand meanwhile, so Drain and Pending see them.
                FInHand = records.size();
                const QDeadlineTimer until(FOptions.GatherMs);
                FGathering = true;
                while (!GatherDone(records.size()) && !until.hasExpired()) FWake.wait(&FMutex, until);
                FGathering = false;
                TakeRecords(records);
            }
            if (records.isEmpty() && !FQueue.empty()) {
                task = std::move(std::get<TTask>(FQueue.front()));
                FQueue.pop_front();
            }
            FInHand = records.size() + (task ? 1 : 0);
        }
        if (!opened) {
            // The first opening is the database check at start: its failure is reported once.
            opened = true;
            EnsureOpen(store, true);
        }
        qint64 bytes = 0;
        for (const TLogRecord& record : records) bytes += record.Content.size();
        if (!records.isEmpty()) {
            StoreRecords(store, records);
            sinceStore.start();
        }
        // What indexing a large text took is given back, not kept at the peak.
        if (bytes >= kTrimAfterBytes) {
            records.clear();
            Platform::ReleaseFreeMemory();
        }
        if (task) {
            EnsureOpen(store, false);
            task(store);
        }
        {
            QMutexLocker lock(&FMutex);
            FInHand = 0;
            FOpenPending = false;
            if (FQueue.empty()) FIdle.wakeAll();
        }
    }
    store.Close();
    QMutexLocker lock(&FMutex);
    FOpenPending = false;
    FIdle.wakeAll();
}
