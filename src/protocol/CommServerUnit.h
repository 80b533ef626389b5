#pragma once

#include "protocol/DatagramDispatchUnit.h"
#include "protocol/RequestReaderUnit.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>

class TUdpReceiver;

// One accepted TCP request, handed to the handler of its type.
struct TRequestContext {
    TRequestReader& Reader;
    QIODevice& Socket;
    const TEnvelope& Header;
    QString PeerAddress;
    QObject* Target;
    int StallMs; // how long a body may pause before the request is dropped
};

// The listener: a UDP receiver (port P, member of the multicast group) on a
// thread of its own, and a TCP listener whose requests are served on a pool of
// at most MaxConcurrentRequests threads. Results reach the target object
// (the main thread's node) as posted events in the order they were handled.
class TCommServer : public QObject {
    Q_OBJECT
public:
    using TRequestHandler = std::function<void(TRequestContext&)>;
    static constexpr int MaxConcurrentRequests = 64;
    static constexpr int ListenBacklog = 100;

    struct TOptions {
        quint16 Port = 7709;
        QString MulticastGroup = QStringLiteral("234.0.0.1"); // empty: no membership (loopback tests)
        // Without multicast sending (broadcast mode) the group is joined where
        // possible, but a node that cannot join it still listens.
        bool MembershipRequired = true;
        QHostAddress BindAddress = QHostAddress(QHostAddress::AnyIPv4);
        int HeaderTimeoutMs = TRequestReader::HeaderTimeoutMs; // whole header line
        int StallTimeoutMs = TRequestReader::StallTimeoutMs;   // pause inside a body
    };

    TCommServer(QObject* target, std::unique_ptr<TDatagramDispatcher> dispatcher, QObject* parent = nullptr);
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
    void RegisterRequest(const char* type, TRequestHandler handler);

private:
    friend class TTcpListener;
    void ServeConnection(qintptr descriptor, int headerTimeoutMs, int stallMs) const;
    void StopTcp();

    QObject* FTarget;
    std::unique_ptr<TDatagramDispatcher> FDispatcher;
    QHash<QByteArray, TRequestHandler> FRequestHandlers;
    QThread FTcpThread;
    QPointer<QTcpServer> FTcp;
    QThread FUdpThread;
    QPointer<TUdpReceiver> FUdp;
    QThreadPool FPool;
    quint16 FPort = 0;
    std::atomic<bool> FStopping{false};
    bool FListening = false;
    QString FErrorText;
};
