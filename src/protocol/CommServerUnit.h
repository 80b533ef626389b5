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
        QHostAddress BindAddress = QHostAddress(QHostAddress::AnyIPv4);
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
    void AcceptConnection(qintptr descriptor);
    void ServeConnection(qintptr descriptor) const;
    void RequestFinished();

    QObject* FTarget;
    std::unique_ptr<TDatagramDispatcher> FDispatcher;
    QHash<QByteArray, TRequestHandler> FRequestHandlers;
    std::unique_ptr<QTcpServer> FTcp;
    QThread FUdpThread;
    QPointer<TUdpReceiver> FUdp;
    QThreadPool FPool;
    int FActive = 0;
    bool FListening = false;
    QString FErrorText;
};
