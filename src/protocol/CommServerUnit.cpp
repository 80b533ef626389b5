#include "protocol/CommServerUnit.h"

#include "protocol/CommConstsUnit.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTcpSocket>
#include <QUdpSocket>

// The UDP socket's owner on the receiver thread.
class TUdpReceiver : public QObject {
    Q_OBJECT
public:
    explicit TUdpReceiver(const TDatagramDispatcher& dispatcher) : FDispatcher(dispatcher) {}

    bool Open(const TCommServer::TOptions& options, QString* error) {
        const quint16 port = options.Port;
        const QString& group = options.MulticastGroup;
        const QHostAddress& bindAddress = options.BindAddress;
        FSocket = std::make_unique<QUdpSocket>();
        if (!FSocket->bind(bindAddress, port, QUdpSocket::DontShareAddress)) {
            *error = FSocket->errorString();
            FSocket.reset();
            return false;
        }
        if (!group.isEmpty() && !JoinGroup(QHostAddress(group)) && options.MembershipRequired) {
            *error = QStringLiteral("Cannot join the multicast group %1 (%2).").arg(group, FSocket->errorString());
            FSocket.reset();
            return false;
        }
        // Room for a burst: a few hundred peers answer one logon at the same moment.
        FSocket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
        connect(FSocket.get(), &QUdpSocket::readyRead, this, &TUdpReceiver::ReadPending);
        return true;
    }

    void Close() { FSocket.reset(); }

private:
    // The system picks the interface by its route to the group; a LAN without
    // a default route has none, so then every multicast-capable interface is
    // asked on its own.
    bool JoinGroup(const QHostAddress& group) {
        if (FSocket->joinMulticastGroup(group)) return true;
        bool joined = false;
        for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
            const auto flags = iface.flags();
            if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::CanMulticast) ||
                (flags & QNetworkInterface::IsLoopBack))
                continue;
            joined = FSocket->joinMulticastGroup(group, iface) || joined;
        }
        return joined;
    }

    void ReadPending() {
        while (FSocket && FSocket->hasPendingDatagrams()) {
            // One byte more than allowed tells a long datagram from one that just fits.
            const QNetworkDatagram datagram = FSocket->receiveDatagram(MaxDatagramSize + 1);
            if (!datagram.isValid() || datagram.data().size() > MaxDatagramSize) continue;
            FDispatcher.Dispatch(datagram.data(), QHostAddress(datagram.senderAddress().toIPv4Address()).toString());
        }
    }

    const TDatagramDispatcher& FDispatcher;
    std::unique_ptr<QUdpSocket> FSocket;
};

// The TCP listener on a thread of its own, so that accepting never waits for
// the main thread. Requests run on the server's pool; while
// MaxConcurrentRequests are running it stops accepting and further peers wait
// in the kernel's backlog.
class TTcpListener : public QTcpServer {
public:
    TTcpListener(const TCommServer& server, QThreadPool& pool, TCommServer::TOptions options)
        : FServer(server), FPool(pool), FOptions(std::move(options)) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        if (++FActive >= TCommServer::MaxConcurrentRequests) pauseAccepting();
        FPool.start([this, descriptor] {
            FServer.ServeConnection(descriptor, FOptions.HeaderTimeoutMs, FOptions.StallTimeoutMs);
            QMetaObject::invokeMethod(this, [this] {
                if (--FActive < TCommServer::MaxConcurrentRequests) resumeAccepting();
            });
        });
    }

private:
    const TCommServer& FServer;
    QThreadPool& FPool;
    const TCommServer::TOptions FOptions;
    int FActive = 0; // listener thread only
};

TCommServer::TCommServer(QObject* target, std::unique_ptr<TDatagramDispatcher> dispatcher, QObject* parent)
    : QObject(parent), FTarget(target), FDispatcher(std::move(dispatcher)) {
    FPool.setMaxThreadCount(MaxConcurrentRequests);
    FUdpThread.setObjectName(QStringLiteral("UDP receiver"));
}

TCommServer::~TCommServer() { StopListening(); }

void TCommServer::RegisterRequest(const char* type, TRequestHandler handler) {
    FRequestHandlers.insert(QByteArray(type).toUpper(), std::move(handler));
}

quint16 TCommServer::TcpPort() const { return FListening ? FPort : 0; }

bool TCommServer::StartListening(const TOptions& options) {
    if (FListening) return true;
    FErrorText.clear();
    auto* listener = new TTcpListener(*this, FPool, options); // deleted with its thread's finish
    listener->moveToThread(&FTcpThread);
    connect(&FTcpThread, &QThread::finished, listener, &QObject::deleteLater);
    FTcpThread.start();
    bool listening = false;
    QMetaObject::invokeMethod(listener, [&] {
        listener->setMaxPendingConnections(ListenBacklog);
        listener->setListenBacklogSize(ListenBacklog);
        listening = listener->listen(options.BindAddress, options.Port);
        if (!listening) FErrorText = listener->errorString();
    }, Qt::BlockingQueuedConnection);
    if (!listening) {
        FTcpThread.quit();
        FTcpThread.wait();
        return false;
    }
    FTcp = listener;

    auto* receiver = new TUdpReceiver(*FDispatcher); // deleted with the thread's finish
    receiver->moveToThread(&FUdpThread);
    connect(&FUdpThread, &QThread::finished, receiver, &QObject::deleteLater);
    FUdpThread.start();
    bool opened = false;
    QString error;
    QMetaObject::invokeMethod(receiver, [&] { opened = receiver->Open(options, &error); },
                              Qt::BlockingQueuedConnection);
    if (!opened) {
        FErrorText = error;
        FUdpThread.quit();
        FUdpThread.wait();
        StopTcp();
        return false;
    }
    FUdp = receiver;
    FPort = options.Port;
    FListening = true;
    return true;
}

void TCommServer::StopListening() {
    if (FUdpThread.isRunning()) {
        if (FUdp) QMetaObject::invokeMethod(FUdp, [receiver = FUdp.data()] { receiver->Close(); }, Qt::BlockingQueuedConnection);
        FUdpThread.quit();
        FUdpThread.wait();
    }
    StopTcp();
    FListening = false;
}

void TCommServer::StopTcp() {
    if (!FTcpThread.isRunning()) return;
    if (FTcp) QMetaObject::invokeMethod(FTcp, [listener = FTcp.data()] { listener->close(); }, Qt::BlockingQueuedConnection);
    // Requests in progress see the flag at their next wait and end.
    FStopping = true;
    FPool.waitForDone();
    FStopping = false;
    FTcpThread.quit();
    FTcpThread.wait();
}

void TCommServer::ServeConnection(qintptr descriptor, int headerTimeoutMs, int stallMs) const {
    QTcpSocket socket;
    if (!socket.setSocketDescriptor(descriptor)) return;
    // File streams may idle while their sender waits for its user; keep-alive
    // still notices a peer that has vanished.
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    // Waits in slices so that a stop does not have to sit out a slow peer.
    TRequestReader reader(socket, [&socket, this](int ms) {
        const QDeadlineTimer deadline = ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(ms);
        while (!FStopping.load()) {
            const int slice = deadline.isForever() ? 250 : int(qBound<qint64>(qint64(0), deadline.remainingTime(), qint64(250)));
            if (socket.waitForReadyRead(slice)) return true;
            if (socket.state() != QAbstractSocket::ConnectedState || deadline.hasExpired()) return false;
        }
        return false;
    });
    QByteArray line;
    if (reader.ReadLine(&line, headerTimeoutMs) != TRequestReader::rrOk) return;
    const std::optional<TEnvelope> header = TEnvelope::Parse(line);
    if (!header) return;
    const auto handler = FRequestHandlers.constFind(header->Type().toUpper());
    if (handler == FRequestHandlers.cend()) return;
    TRequestContext context{reader, socket, *header,
                            QHostAddress(socket.peerAddress().toIPv4Address()).toString(), FTarget, stallMs};
    (*handler)(context);
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(1000);
}

#include "CommServerUnit.moc"
