#include "protocol/CommServerUnit.h"

#include "protocol/CommConstsUnit.h"

#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>

// The UDP socket's owner on the receiver thread.
class TUdpReceiver : public QObject {
    Q_OBJECT
public:
    explicit TUdpReceiver(const TDatagramDispatcher& dispatcher) : FDispatcher(dispatcher) {}

    bool Open(quint16 port, const QString& group, const QHostAddress& bindAddress, QString* error) {
        FSocket = std::make_unique<QUdpSocket>();
        if (!FSocket->bind(bindAddress, port, QUdpSocket::DontShareAddress)) {
            *error = FSocket->errorString();
            FSocket.reset();
            return false;
        }
        if (!group.isEmpty() && !FSocket->joinMulticastGroup(QHostAddress(group))) {
            *error = QStringLiteral("Cannot join the multicast group %1 (%2).").arg(group, FSocket->errorString());
            FSocket.reset();
            return false;
        }
        connect(FSocket.get(), &QUdpSocket::readyRead, this, &TUdpReceiver::ReadPending);
        return true;
    }

    void Close() { FSocket.reset(); }

private:
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

// Hands accepted descriptors to the server instead of making QTcpSockets here.
class TTcpListener : public QTcpServer {
public:
    explicit TTcpListener(TCommServer& server) : FServer(server) {}

protected:
    void incomingConnection(qintptr descriptor) override { FServer.AcceptConnection(descriptor); }

private:
    TCommServer& FServer;
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

quint16 TCommServer::TcpPort() const { return FTcp ? FTcp->serverPort() : 0; }

bool TCommServer::StartListening(const TOptions& options) {
    if (FListening) return true;
    FErrorText.clear();
    FTcp = std::make_unique<TTcpListener>(*this);
    FTcp->setMaxPendingConnections(ListenBacklog);
    FTcp->setListenBacklogSize(ListenBacklog);
    if (!FTcp->listen(options.BindAddress, options.Port)) {
        FErrorText = FTcp->errorString();
        FTcp.reset();
        return false;
    }

    auto* receiver = new TUdpReceiver(*FDispatcher); // deleted with the thread's finish
    receiver->moveToThread(&FUdpThread);
    connect(&FUdpThread, &QThread::finished, receiver, &QObject::deleteLater);
    FUdpThread.start();
    bool opened = false;
    QString error;
    QMetaObject::invokeMethod(receiver, [&] { opened = receiver->Open(options.Port, options.MulticastGroup, options.BindAddress, &error); },
                              Qt::BlockingQueuedConnection);
    if (!opened) {
        FErrorText = error;
        FUdpThread.quit();
        FUdpThread.wait();
        FTcp.reset();
        return false;
    }
    FUdp = receiver;
    FListening = true;
    return true;
}

void TCommServer::StopListening() {
    if (FUdpThread.isRunning()) {
        if (FUdp) QMetaObject::invokeMethod(FUdp, [receiver = FUdp.data()] { receiver->Close(); }, Qt::BlockingQueuedConnection);
        FUdpThread.quit();
        FUdpThread.wait();
    }
    if (FTcp) FTcp->close();
    FPool.waitForDone();
    FTcp.reset();
    FActive = 0;
    FListening = false;
}

void TCommServer::AcceptConnection(qintptr descriptor) {
    ++FActive;
    // Further peers wait in the kernel's backlog until a request finishes.
    if (FActive >= MaxConcurrentRequests && FTcp) FTcp->pauseAccepting();
    FPool.start([this, descriptor] {
        ServeConnection(descriptor);
        QMetaObject::invokeMethod(this, [this] { RequestFinished(); }, Qt::QueuedConnection);
    });
}

void TCommServer::RequestFinished() {
    if (FActive > 0) --FActive;
    if (FActive < MaxConcurrentRequests && FTcp) FTcp->resumeAccepting();
}

void TCommServer::ServeConnection(qintptr descriptor) const {
    QTcpSocket socket;
    if (!socket.setSocketDescriptor(descriptor)) return;
    TRequestReader reader(socket, [&socket](int ms) { return socket.waitForReadyRead(ms); });
    QByteArray line;
    if (reader.ReadLine(&line) != TRequestReader::rrOk) return;
    const std::optional<TEnvelope> header = TEnvelope::Parse(line);
    if (!header) return;
    const auto handler = FRequestHandlers.constFind(header->Type().toUpper());
    if (handler == FRequestHandlers.cend()) return;
    TRequestContext context{reader, socket, *header,
                            QHostAddress(socket.peerAddress().toIPv4Address()).toString(), FTarget};
    (*handler)(context);
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(1000);
}

#include "CommServerUnit.moc"
