#pragma once

#include "chatlog/ChatLogTypesUnit.h"

#include <QObject>
#include <QStringList>
#include <memory>

class TChatLogThread;

// Reads the chat log on a thread of its own and answers with signals on the
// thread that owns this object, so a window asks and never waits. Each request
// returns a ticket that its answer names; a window drops answers to tickets
// it no longer waits for. The database is open only while requests are queued.
class TChatLogReader : public QObject {
    Q_OBJECT
public:
    explicit TChatLogReader(QString folder, QObject* parent = nullptr);
    // Drops requests not yet started.
    ~TChatLogReader() override;

    // The records of filter with lowerBound < ID (< upperBound unless 0),
    // newest first, at most limit (all when negative): the first page is
    // (0, 0, n), the next (0, oldest ID shown, n), newer ones (newest ID shown, 0, -1).
    quint64 FetchLogList(const TLogFilter& filter, qint64 lowerBound, qint64 upperBound, int limit);
    quint64 FetchLogContent(TLogType type, qint64 id);
    quint64 FetchNicknames();
    // Hits newest first with keys below beforeKey (0: from the newest).
    quint64 FetchSearch(const QString& text, qint64 beforeKey, int limit);
    // How many records a search for text finds in all.
    quint64 FetchSearchCount(const QString& text);

signals:
    // error is empty on success (then the list may still be empty).
    void LogListFetched(quint64 ticket, const QList<TLogEntry>& entries, const QString& error);
    void LogContentFetched(quint64 ticket, const TLogContent& content, const QString& error);
    void NicknamesFetched(quint64 ticket, const QStringList& nicknames, const QString& error);
    void SearchFetched(quint64 ticket, const QList<TLogSearchHit>& hits, const QString& error);
    void SearchCounted(quint64 ticket, int count, const QString& error);

private:
    template <typename TResult, typename TCall, typename TEmit>
    quint64 Request(TCall call, TEmit emitter);

    std::unique_ptr<TChatLogThread> FThread;
    quint64 FNextTicket = 0;
};
