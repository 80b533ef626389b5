#include "protocol/TcpListenerUnit.h"

#include "platform/SocketOptionsUnit.h"

#include <QSignalBlocker>
#include <QTcpSocket>
#include <QThread>
#include <QThreadPool>

namespace {
// What a socket may buffer while it is the listener's: a header line and a
// little more. A waiting request's body stays in the kernel until its turn.
constexpr qint64 kListenerReadBuffer = TRequestReader::MaxLineLength + 2;
// One warning per reason in this time, with the count of those not logged.
constexpr qint64 kLogIntervalMs = 10 * 1000;
// A refused accept (no file descriptors left) pauses Qt's server; try again after this.
constexpr int kAcceptRetryMs = 100;

QString SourceAddress(const QTcpSocket& socket) { return QHostAddress(socket.peerAddress().toIPv4Address()).toString(); }
} // namespace

TTcpListener::TTcpListener(const TListenOptions& options, QThreadPool& pool, TKnownType known, TServe serve,
                           TListenerCounters& counters)
    : FOptions(options), FPool(pool), FKnown(std::move(known)), FServe(std::move(serve)), FCounters(counters),
      FHeaderTimer(this) {
    FHeaderTimer.setSingleShot(true);
    connect(&FHeaderTimer, &QTimer::timeout, this, &TTcpListener::ExpireHeaders);
    connect(this, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        qWarning("listener: cannot accept a connection (%s); trying again", qPrintable(errorString()));
        QTimer::singleShot(kAcceptRetryMs, this, [this] { resumeAccepting(); });
    });
}

TTcpListener::~TTcpListener() { CloseAll(); }

void TTcpListener::CloseAll() {
    FClosed = true;
    FHeaderTimer.stop();
    // A socket closing in its destructor must not call back into the map being cleared.
    for (auto& [id, pending] : FPending) pending.Socket->disconnect(this);
    FPending.clear();
    for (THost& host : FHosts) {
        FCounters.Waiting -= int(host.Waiting.size());
        host.Waiting.clear();
    }
}

void TTcpListener::incomingConnection(qintptr descriptor) {
    auto socket = std::make_unique<QTcpSocket>();
    if (!socket->setSocketDescriptor(descriptor)) return;
    const QString address = SourceAddress(*socket);
    // Checked before anything is kept: a refused connection costs nothing more.
    // Refused with a reset, so that its sender knows the request was not taken.
    if (FOpen >= FOptions.MaxConnections) return Refuse(rfTotalConnections, address, *socket);
    THost& host = FHosts[address];
    if (host.Open >= FOptions.MaxConnectionsPerHost) return Refuse(rfHostConnections, address, *socket);
    ++host.Open;
    ++FOpen;
    ++FCounters.Open;

    socket->setReadBufferSize(kListenerReadBuffer);
    // File streams may idle while their sender waits for its user; keep-alive
    // still notices a peer that has vanished.
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const quint64 id = FNextId++;
    connect(socket.get(), &QTcpSocket::readyRead, this, [this, id] { ReadHeader(id, true); });
    connect(socket.get(), &QTcpSocket::disconnected, this, [this, id] { HeaderClosed(id); });
    auto reader = std::make_unique<TRequestReader>(*socket, nullptr);
    const bool first = FPending.empty();
    FPending.emplace(id, TPending{std::move(socket), std::move(reader), address, QDeadlineTimer(FOptions.HeaderTimeoutMs)});
    if (first) ArmHeaderTimer();
    // Bytes that came with the connection (a short request's usual case) are
    // read now, so that it goes to a worker without another turn of the loop.
    QTcpSocket& added = *FPending.at(id).Socket;
    {
        const QSignalBlocker quiet(&added);
        added.waitForReadyRead(0);
    }
    if (added.state() != QAbstractSocket::ConnectedState) return HeaderClosed(id);
    ReadHeader(id, false);
}

void TTcpListener::ReadHeader(quint64 id, bool inSignal) {
    const auto it = FPending.find(id);
    if (it == FPending.end()) return;
    QByteArray line;
    const TRequestReader::TResult result = it->second.Reader->TakeLine(&line);
    if (result == TRequestReader::rrPending) return;
    std::optional<TEnvelope> header;
    if (result == TRequestReader::rrOk) header = TEnvelope::Parse(line);
    if (!header || !FKnown(header->Type().toUpper())) {
        Refuse(rfBadHeader, it->second.Address, *it->second.Socket);
        return DropPending(it);
    }
    auto request = std::make_shared<TAcceptedRequest>();
    request->Socket = std::move(it->second.Socket);
    request->Reader = std::move(it->second.Reader);
    request->Header = std::move(header);
    request->PeerAddress = it->second.Address;
    request->Socket->disconnect(this);
    const bool wasFirst = it == FPending.begin();
    FPending.erase(it);
    if (wasFirst) ArmHeaderTimer();
    // Out of the socket's own signal before it changes threads.
    if (inSignal) QMetaObject::invokeMethod(this, [this, request] { Admit(request); }, Qt::QueuedConnection);
    else Admit(std::move(request));
}

void TTcpListener::HeaderClosed(quint64 id) {
    // Whatever came before the close still counts.
    ReadHeader(id, true);
    const auto it = FPending.find(id);
    if (it != FPending.end()) DropPending(it);
}

void TTcpListener::ExpireHeaders() {
    while (!FPending.empty() && FPending.begin()->second.Deadline.hasExpired()) {
        Refuse(rfHeaderTimeout, FPending.begin()->second.Address, *FPending.begin()->second.Socket);
        DropPending(FPending.begin());
    }
    ArmHeaderTimer();
}

void TTcpListener::ArmHeaderTimer() {
    if (FPending.empty()) return FHeaderTimer.stop();
    FHeaderTimer.start(int(qMax<qint64>(0, FPending.begin()->second.Deadline.remainingTime())));
}

void TTcpListener::DropPending(TPendingMap::iterator it) {
    const QString address = it->second.Address;
    const bool wasFirst = it == FPending.begin();
    it->second.Socket->disconnect(this);
    it->second.Socket->abort();
    // We may be inside one of its signals.
    it->second.Socket.release()->deleteLater();
    it->second.Reader.reset();
    FPending.erase(it);
    if (wasFirst) ArmHeaderTimer();
    Release(address);
}

void TTcpListener::Admit(std::shared_ptr<TAcceptedRequest> request) {
    if (FClosed) return;
    THost& host = FHosts[request->PeerAddress];
    if (host.Running < FOptions.MaxRequestsPerHost) {
        // A small request whose bytes are all here is served at once: the
        // sender waits for our close, and a worker's turn costs it more than
        // the serving does. Counted as running meanwhile, like any other.
        ++FCounters.Running;
        const bool served = FServe(*request, false);
        --FCounters.Running;
        if (!served) return Dispatch(host, std::move(request));
        const QString address = request->PeerAddress;
        request->Reader.reset();
        request->Socket.reset();
        return Release(address);
    }
    host.Waiting.push_back(std::move(request));
    ++FCounters.Waiting;
}

void TTcpListener::Dispatch(THost& host, std::shared_ptr<TAcceptedRequest> request) {
    ++host.Running;
    ++FCounters.Running;
    // Without a thread on the way, so the worker can take it onto its own.
    request->Socket->moveToThread(nullptr);
    FPool.start([this, request] {
        request->Socket->moveToThread(QThread::currentThread());
        FServe(*request, true);
        // Deleted on the thread it lives on.
        request->Reader.reset();
        request->Socket.reset();
        QMetaObject::invokeMethod(this, [this, address = request->PeerAddress] { Finished(address); });
    });
}

void TTcpListener::Finished(const QString& address) {
    --FCounters.Running;
    const auto it = FHosts.find(address);
    if (it == FHosts.end()) return;
    THost& host = *it;
    --host.Running;
    while (!host.Waiting.empty() && host.Running < FOptions.MaxRequestsPerHost) {
        std::shared_ptr<TAcceptedRequest> next = std::move(host.Waiting.front());
        host.Waiting.pop_front();
        --FCounters.Waiting;
        Dispatch(host, std::move(next));
    }
    Release(address);
}

void TTcpListener::Release(const QString& address) {
    --FOpen;
    --FCounters.Open;
    const auto it = FHosts.find(address);
    if (it != FHosts.end() && --it->Open <= 0) FHosts.erase(it);
}

void TTcpListener::Refuse(TRefusal reason, const QString& address, QTcpSocket& socket) {
    // Its close, wherever the caller does it, becomes a reset.
    Platform::ResetOnClose(socket.socketDescriptor());
    ++FCounters.Refused[reason];
    // A flood must not flood the log as well.
    QElapsedTimer& last = FLastLog[reason];
    if (last.isValid() && last.elapsed() < kLogIntervalMs) {
        ++FUnlogged[reason];
        return;
    }
    if (FUnlogged[reason] > 0)
        qWarning("listener: closed a connection from %s (%s); %llu more for this reason not logged since the last",
                 qPrintable(address), RefusalName(reason), static_cast<unsigned long long>(FUnlogged[reason]));
    else
        qWarning("listener: closed a connection from %s (%s)", qPrintable(address), RefusalName(reason));
    FUnlogged[reason] = 0;
    last.start();
}
