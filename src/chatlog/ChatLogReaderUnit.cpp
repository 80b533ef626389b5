#include "chatlog/ChatLogReaderUnit.h"

#include "chatlog/ChatLogStoreUnit.h"
#include "chatlog/ChatLogThreadUnit.h"

TChatLogReader::TChatLogReader(QString folder, QObject* parent) : QObject(parent) {
    TChatLogThread::TOptions options;
    options.Mode = TChatLogStore::omRead;
    options.CloseWhenIdle = true;
    options.DrainOnStop = false;
    FThread = std::make_unique<TChatLogThread>(std::move(folder), options);
}

TChatLogReader::~TChatLogReader() { FThread.reset(); }

// call(store) runs on the reader's thread and returns an optional result;
// emitter(ticket, result, error) runs here.
template <typename TResult, typename TCall, typename TEmit>
quint64 TChatLogReader::Request(TCall call, TEmit emitter) {
    const quint64 ticket = ++FNextTicket;
    FThread->Post([this, ticket, call = std::move(call), emitter = std::move(emitter)](TChatLogStore& store) {
        std::optional<TResult> result = store.IsOpen() ? call(store) : std::nullopt;
        const QString error = result ? QString() : store.LastError();
        QMetaObject::invokeMethod(
            this,
            [this, ticket, emitter, result = result.value_or(TResult{}), error] { emitter(this, ticket, result, error); },
            Qt::QueuedConnection);
    });
    return ticket;
}

quint64 TChatLogReader::FetchLogList(const TLogFilter& filter, qint64 lowerBound, qint64 upperBound, int limit) {
    return Request<QList<TLogEntry>>(
        [=](TChatLogStore& store) { return store.LoadLogList(filter, lowerBound, upperBound, limit); },
        [](TChatLogReader* self, quint64 ticket, const QList<TLogEntry>& entries, const QString& error) {
            emit self->LogListFetched(ticket, entries, error);
        });
}

quint64 TChatLogReader::FetchLogContent(TLogType type, qint64 id) {
    return Request<TLogContent>(
        [=](TChatLogStore& store) { return store.LoadLogContent(type, id); },
        [](TChatLogReader* self, quint64 ticket, const TLogContent& content, const QString& error) {
            emit self->LogContentFetched(ticket, content, error);
        });
}

quint64 TChatLogReader::FetchNicknames() {
    return Request<QStringList>(
        [](TChatLogStore& store) { return store.ListNicknames(); },
        [](TChatLogReader* self, quint64 ticket, const QStringList& nicknames, const QString& error) {
            emit self->NicknamesFetched(ticket, nicknames, error);
        });
}

quint64 TChatLogReader::FetchSearch(const QString& text, qint64 beforeKey, int limit) {
    return Request<QList<TLogSearchHit>>(
        [=](TChatLogStore& store) { return store.SearchLog(text, beforeKey, limit); },
        [](TChatLogReader* self, quint64 ticket, const QList<TLogSearchHit>& hits, const QString& error) {
            emit self->SearchFetched(ticket, hits, error);
        });
}

quint64 TChatLogReader::FetchSearchCount(const QString& text) {
    return Request<int>(
        [=](TChatLogStore& store) -> std::optional<int> {
            const std::optional<QList<TLogSearchHit>> hits = store.SearchLog(text, 0, -1);
            return hits ? std::optional<int>(int(hits->size())) : std::nullopt;
        },
        [](TChatLogReader* self, quint64 ticket, int count, const QString& error) {
            emit self->SearchCounted(ticket, count, error);
        });
}
