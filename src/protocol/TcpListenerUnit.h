#pragma once

#include "protocol/EnvelopeUnit.h"
#include "protocol/ListenOptionsUnit.h"
#include "protocol/RequestReaderUnit.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QTcpServer>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTcpSocket;
class QThreadPool;

// A request whose whole header line has come. Its reader holds whatever
// arrived after the line, so the handler's first read starts there.
struct TAcceptedRequest {
    std::unique_ptr<QTcpSocket> Socket;
    std::unique_ptr<TRequestReader> Reader;
    std::optional<TEnvelope> Header;
    QString PeerAddress;
};

// The TCP listener, on a thread of its own. It reads each connection's header
// line itself, event-driven, so an idle or slow peer costs a socket and a few
// bytes, never a worker. A request of a known type goes to the pool when its
// host has fewer than MaxRequestsPerHost running, else waits for that host's
// turn; other hosts are never held up by it.
class TTcpListener : public QTcpServer {
    Q_OBJECT
public:
    using TKnownType = std::function<bool(const QByteArray& type)>;
    // onWorker: runs on a worker, the socket already on the worker's thread;
    // returns true. Else on the listener's thread, first: false when the
    // request needs a worker (nothing of it read), true when it was served.
    using TServe = std::function<bool(TAcceptedRequest& request, bool onWorker)>;

    TTcpListener(const TListenOptions& options, QThreadPool& pool, TKnownType known, TServe serve,
                 TListenerCounters& counters);
    ~TTcpListener() override;

    // Closes every connection not yet on a worker (listener thread).
    void CloseAll();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct TPending {
        std::unique_ptr<QTcpSocket> Socket;
        std::unique_ptr<TRequestReader> Reader;
        QString Address;
        QDeadlineTimer Deadline;
    };
    struct THost {
        int Open = 0;    // every connection of the host the listener holds
        int Running = 0; // on a worker
        std::deque<std::shared_ptr<TAcceptedRequest>> Waiting;
    };
    using TPendingMap = std::map<quint64, TPending>;

    // inSignal: called from one of the socket's signals.
    void ReadHeader(quint64 id, bool inSignal);
    void HeaderClosed(quint64 id);
    void ExpireHeaders();
    void ArmHeaderTimer();
    void DropPending(TPendingMap::iterator it);
    void Admit(std::shared_ptr<TAcceptedRequest> request);
    void Dispatch(THost& host, std::shared_ptr<TAcceptedRequest> request);
    void Finished(const QString& address);
    void Release(const QString& address);
    void Refuse(TRefusal reason, const QString& address, QTcpSocket& socket);

    const TListenOptions FOptions;
    QThreadPool& FPool;
    const TKnownType FKnown;
    const TServe FServe;
    TListenerCounters& FCounters;
    // Keyed by arrival; the header deadline is the same for all, so the first
    // entry is always the next to expire and one timer serves them all.
    TPendingMap FPending;
    quint64 FNextId = 0;
    QTimer FHeaderTimer;
    QHash<QString, THost> FHosts;
    int FOpen = 0;
    bool FClosed = false;
    QElapsedTimer FLastLog[rfCount];
    quint64 FUnlogged[rfCount] = {};
};
