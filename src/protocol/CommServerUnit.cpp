#include "protocol/CommServerUnit.h"

#include "platform/FileLimitUnit.h"
#include "platform/SocketOptionsUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/TcpListenerUnit.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTcpSocket>
#include <QUdpSocket>
#include <atomic>

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
    // Called from the stopping thread: a steady flood would otherwise keep
    // ReadPending busy, and the queued Close waiting behind it, for as long as
    // it lasts.
    void RequestStop() { FStopping.store(true, std::memory_order_relaxed); }

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
        while (FSocket && !FStopping.load(std::memory_order_relaxed) && FSocket->hasPendingDatagrams()) {
            // One byte more than allowed tells a long datagram from one that just fits.
            const QNetworkDatagram datagram = FSocket->receiveDatagram(MaxDatagramSize + 1);
            if (!datagram.isValid() || datagram.data().size() > MaxDatagramSize) continue;
            FDispatcher.Dispatch(datagram.data(), QHostAddress(datagram.senderAddress().toIPv4Address()).toString());
        }
    }

    const TDatagramDispatcher& FDispatcher;
    std::unique_ptr<QUdpSocket> FSocket;
    std::atomic<bool> FStopping{false};
};

TCommServer::TCommServer(std::unique_ptr<TDatagramDispatcher> dispatcher, QObject* parent)
    : QObject(parent), FDispatcher(std::move(dispatcher)) {
    FPool.setMaxThreadCount(MaxConcurrentRequests);
    FUdpThread.setObjectName(QStringLiteral("UDP receiver"));
}

TCommServer::~TCommServer() { StopListening(); }

void TCommServer::RegisterRequest(const char* type, TRequestHandler handler, bool quick) {
    const QByteArray key = QByteArray(type).toUpper();
    FRequestHandlers.insert(key, std::move(handler));
    if (quick) FQuickTypes.insert(key);
    else FQuickTypes.remove(key);
}

quint16 TCommServer::TcpPort() const { return FListening ? FPort : 0; }

bool TCommServer::StartListening(const TOptions& options) {
    if (FListening) return true;
    FErrorText.clear();
    // Room for every connection the limits allow, besides the files the node has open.
    constexpr int kOtherFiles = 256;
    Platform::RaiseOpenFileLimit(qint64(options.MaxConnections) + kOtherFiles);
    const int stallMs = options.StallTimeoutMs;
    const TBodyPace pace = options.BodyPace();
    auto* listener = new TTcpListener( // deleted with its thread's finish
        options, FPool, [this](const QByteArray& type) { return FRequestHandlers.contains(type); },
        [this, stallMs, pace](TAcceptedRequest& request, bool onWorker) {
            return ServeRequest(request, stallMs, pace, onWorker);
        }, FCounters);
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
        if (FUdp) {
            FUdp->RequestStop();
            QMetaObject::invokeMethod(FUdp, [receiver = FUdp.data()] { receiver->Close(); }, Qt::BlockingQueuedConnection);
        }
        FUdpThread.quit();
        FUdpThread.wait();
    }
    StopTcp();
    FListening = false;
}

void TCommServer::StopTcp() {
    if (!FTcpThread.isRunning()) return;
    if (FTcp)
        QMetaObject::invokeMethod(FTcp, [listener = FTcp.data()] {
            listener->close();
            listener->CloseAll();
        }, Qt::BlockingQueuedConnection);
    // Requests in progress see the flag at their next wait and end.
    FStopping = true;
    FPool.waitForDone();
    FStopping = false;
    FTcpThread.quit();
    FTcpThread.wait();
    FCounters.Open = 0;
    FCounters.Running = 0;
    FCounters.Waiting = 0;
}

bool TCommServer::ServeRequest(TAcceptedRequest& request, int stallMs, const TBodyPace& pace, bool onWorker) {
    const QByteArray type = request.Header->Type().toUpper();
    if (!onWorker && !FQuickTypes.contains(type)) return false;
    const auto handler = FRequestHandlers.constFind(type);
    if (handler == FRequestHandlers.cend()) return true;
    QTcpSocket& socket = *request.Socket;
    // Set when a handler on the listener's thread asked to wait after all.
    bool waited = false;
    if (onWorker) {
        // Bounded while it waited on the listener; a worker reads as fast as it can.
        socket.setReadBufferSize(0);
        // Waits in slices so that a stop does not have to sit out a slow peer.
        request.Reader->SetSocket(socket.socketDescriptor(), [this] { return FStopping.load(); });
        request.Reader->SetWait([&socket, this](int ms) {
            const QDeadlineTimer deadline = ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(ms);
            while (!FStopping.load()) {
                const int slice = deadline.isForever() ? 250 : int(qBound<qint64>(qint64(0), deadline.remainingTime(), qint64(250)));
                if (socket.waitForReadyRead(slice)) return true;
                if (socket.state() != QAbstractSocket::ConnectedState || deadline.hasExpired()) return false;
            }
            return false;
        });
    } else {
        request.Reader->SetWait([&waited](int) {
            waited = true;
            return false;
        });
    }
    // From the worker's start: the time it waited for its host's turn is not the sender's.
    request.Reader->SetPace(pace);
    TRequestContext context{*request.Reader, socket, *request.Header, request.PeerAddress, stallMs};
    context.MayWait = onWorker;
    (*handler)(context);
    if (!onWorker && context.NeedsWorker) return false;
    // Cut for its pace, whatever the handler made of it: the sender must not count it delivered.
    const bool slow = request.Reader->TooSlow();
    // Bytes it counted on were not there: whatever it made of them, the sender is told.
    if (context.Refused || slow || waited) {
        FCounters.Refused[slow ? rfSlowBody : rfNotTaken].fetch_add(1, std::memory_order_relaxed);
        Platform::ResetOnClose(socket.socketDescriptor());
        socket.abort();
        return true;
    }
    socket.disconnectFromHost();
    // Nothing was written, so the close is at once; the listener's thread never waits here.
    if (onWorker && socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(1000);
    return true;
}

#include "CommServerUnit.moc"
