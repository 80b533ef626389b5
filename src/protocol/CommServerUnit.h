#pragma once

#include "protocol/DatagramDispatchUnit.h"
#include "protocol/ListenOptionsUnit.h"
#include "protocol/RequestReaderUnit.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTcpServer>
#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>

class TUdpReceiver;
class TTcpListener;
struct TAcceptedRequest;

// One accepted TCP request, handed to the handler of its type.
struct TRequestContext {
    TRequestReader& Reader;
    QIODevice& Socket;
    const TEnvelope& Header;
    QString PeerAddress;
    int StallMs; // how long a body may pause before the request is dropped
    // (the reader also cuts a body that falls behind the listener's pace)
    // Set by a handler that read the request but could not take it: the
    // connection ends with a reset, so the sender does not count it as delivered.
    bool Refused = false;
    // False on the listener's own thread: the handler may take the request
    // only if it never has to wait (all its bytes here, room in its budgets);
    // otherwise it sets NeedsWorker before reading anything and the request
    // goes to a worker untouched.
    bool MayWait = true;
    bool NeedsWorker = false;
};

// The listener: a UDP receiver (port P, member of the multicast group) on a
// thread of its own, and a TCP listener (TTcpListener) that reads header lines
// itself and serves whole requests on a pool of at most MaxConcurrentRequests
// threads, at most TOptions::MaxRequestsPerHost of them for one host. Results
// reach the main thread through the router the handlers post to, in the order
// they were handled.
class TCommServer : public QObject {
    Q_OBJECT
public:
    using TRequestHandler = std::function<void(TRequestContext&)>;
    using TOptions = TListenOptions;
    // Many, so that filling them takes many hosts (see MaxRequestsPerHost);
    // an idle worker costs a thread and its stack.
    static constexpr int MaxConcurrentRequests = 128;
    static constexpr int ListenBacklog = 100;

    explicit TCommServer(std::unique_ptr<TDatagramDispatcher> dispatcher, QObject* parent = nullptr);
    ~TCommServer() override;

    // TCP first, then UDP; on failure nothing listens and ErrorText() says why.
    bool StartListening(const TOptions& options);
    // UDP first, then TCP; waits for requests being served.
    void StopListening();
    bool IsListening() const { return FListening; }
    const QString& ErrorText() const { return FErrorText; }
    quint16 TcpPort() const;

    TDatagramDispatcher& Dispatcher() { return *FDispatcher; }
    // Handlers of TCP request types ("QLM_MESSAGE" ...), registered before listening.
    // quick: the handler honours TRequestContext::MayWait, so a request whose
    // bytes are all here may be served on the listener's thread, without the
    // hand-off to a worker.
    void RegisterRequest(const char* type, TRequestHandler handler, bool quick = false);
    // Connections refused and held so far; any thread.
    TListenerCounts Counts() const { return FCounters.Snapshot(); }

private:
    // On a worker: the handler of the request's type.
    bool ServeRequest(TAcceptedRequest& request, int stallMs, const TBodyPace& pace, bool onWorker);
    void StopTcp();

    std::unique_ptr<TDatagramDispatcher> FDispatcher;
    QHash<QByteArray, TRequestHandler> FRequestHandlers;
    QSet<QByteArray> FQuickTypes;
    QThread FTcpThread;
    QPointer<TTcpListener> FTcp;
    QThread FUdpThread;
    QPointer<TUdpReceiver> FUdp;
    QThreadPool FPool;
    quint16 FPort = 0;
    std::atomic<bool> FStopping{false};
    TListenerCounters FCounters;
    bool FListening = false;
    QString FErrorText;
};
