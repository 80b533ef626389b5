#include "chatlog/ChatLogUnit.h"

#include "chatlog/ChatLogExportUnit.h"
#include "chatlog/ChatLogReaderUnit.h"
#include "chatlog/ChatLogSpaceUnit.h"
#include "chatlog/ChatLogStoreUnit.h"
#include "chatlog/ChatLogThreadUnit.h"
#include "text/UILangUnit.h"

namespace {

TLogEntry EntryOf(const TLogRecord& record, qint64 id) {
    TLogEntry entry;
    entry.Category = ChatLog::StoredType(record.LogType);
    entry.ID = id;
    entry.LangID = record.LangID;
    entry.IfSendOut = record.IfSendOut;
    entry.IfBroadcast = record.IfBroadcast;
    entry.LogTime = record.LogTime;
    entry.Nick = record.Nick;
    entry.Computer = record.Computer;
    entry.IP = record.IP;
    entry.First2Line = record.First2Line;
    return entry;
}

} // namespace

TChatLog::TChatLog(QString folder, QObject* parent, std::shared_ptr<TChatLogSpace> space)
    : QObject(parent), FFolder(folder.isEmpty() ? TChatLogStore::DefaultFolder() : std::move(folder)),
      FSpace(space ? std::move(space) : std::make_shared<TChatLogSpace>()) {
    FSpace->SetChanged([this](bool full, qint64 freeBytes) {
        QMetaObject::invokeMethod(this, [this, full, freeBytes] { emit SpaceChanged(full, freeBytes); }, Qt::QueuedConnection);
    });
    TChatLogThread::THooks hooks;
    // The hooks run on the writer; what they report is handed to this thread.
    hooks.Opened = [this](bool ok, const QString& error) {
        QMetaObject::invokeMethod(this, [this, ok, error] { Report(ok, error); }, Qt::QueuedConnection);
    };
    hooks.Appended = [this](const QList<TLogRecord>& records, const QList<qint64>& ids) {
        QList<TLogEntry> entries;
        entries.reserve(ids.size());
        for (qsizetype i = 0; i < ids.size() && i < records.size(); ++i) {
            entries += EntryOf(records[i], ids[i]);
            // The stored time, when the caller left it to the log.
            if (!entries.back().LogTime.isValid()) entries.back().LogTime = QDateTime::currentDateTime();
        }
        QMetaObject::invokeMethod(
            this,
            [this, entries] {
                Report(true, {});
                for (const TLogEntry& entry : entries) emit RecordAdded(entry);
            },
            Qt::QueuedConnection);
    };
    hooks.Failed = [this](const TLogRecord&, const QString& error) {
        QMetaObject::invokeMethod(this, [this, error] { Report(false, error); }, Qt::QueuedConnection);
    };
    TChatLogThread::TOptions options;
    options.Space = FSpace;
    FWriter = std::make_unique<TChatLogThread>(FFolder, options, std::move(hooks));
    FReader = std::make_unique<TChatLogReader>(FFolder);
}

TChatLog::~TChatLog() {
    FReader.reset();
    FWriter.reset(); // drains the queue
    FSpace->SetChanged({});
}

QString TChatLog::DatabaseFileName() const { return TChatLogStore(FFolder).DatabaseFileName(); }

void TChatLog::Start() { FWriter->OpenNow(); }

void TChatLog::AddLogRecord(TLogRecord record) {
    if (record.LogType == ltRelation) return; // not a table of its own
    FWriter->Add(std::move(record));
}

void TChatLog::Report(bool ok, const QString& text) {
    if (ok) {
        FErrorShown = false;
        return;
    }
    if (FErrorShown) return;
    FErrorShown = true;
    emit ErrorOccurred(text);
}

quint64 TChatLog::Queue(std::function<QString(TChatLogStore&)> job, TLogType changed, bool changes) {
    const quint64 ticket = ++FNextTicket;
    FWriter->Post([this, ticket, job = std::move(job), changed, changes](TChatLogStore& store) {
        const QString error = store.IsOpen() ? job(store) : store.LastError();
        QMetaObject::invokeMethod(
            this,
            [this, ticket, error, changed, changes] {
                if (changes && error.isEmpty()) emit RecordsDeleted(changed);
                emit OperationFinished(ticket, error);
            },
            Qt::QueuedConnection);
    });
    return ticket;
}

quint64 TChatLog::DeleteLogRecord(TLogType type, qint64 id) {
    return Queue(
        [type, id](TChatLogStore& store) {
            bool found = false;
            if (!store.DeleteLogRecord(type, id, &found)) return store.LastError();
            return found ? QString() : TranslateFormat(QStringLiteral("The chat log has no record %d of this kind."), {id});
        },
        type, true);
}

quint64 TChatLog::DeleteLogCategory(const TLogFilter& filter) {
    return Queue(
        [filter](TChatLogStore& store) { return store.DeleteLogCategory(filter) ? QString() : store.LastError(); },
        filter.Category, true);
}

quint64 TChatLog::ExportLog(const TLogFilter& filter, const QString& fileName) {
    return Queue([filter, fileName](TChatLogStore& store) { return ::ExportLog(store, filter, fileName); });
}

quint64 TChatLog::ExportSearch(const QString& text, const QString& fileName) {
    return Queue([text, fileName](TChatLogStore& store) { return ::ExportSearch(store, text, fileName); });
}

quint64 TChatLog::CompactDatabase() {
    return Queue([](TChatLogStore& store) { return store.CompactDatabase() ? QString() : store.LastError(); });
}

void TChatLog::Flush() { FWriter->Drain(); }

qsizetype TChatLog::PendingRecords() const { return FWriter->Pending(); }

qint64 TChatLog::RefusedForSpace() const { return FSpace->Refused(); }
