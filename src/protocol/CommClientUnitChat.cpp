// TCommClient: the chat messages.
#include "protocol/CommClientUnit.h"

#include "platform/NetworkPolicyUnit.h"
#include "platform/SocketOptionsUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "text/MsgLangUnit.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

namespace {

// Writers hand a block to the socket in pieces of this size.
constexpr qsizetype kChunk = 32768;
// Waits are cut into slices so that a cancel is seen soon.
constexpr int kSliceMs = 100;

const QString kOk = QStringLiteral("OK");
const QString kNotTaken = QStringLiteral("The recipient closed the connection without taking the message");

int Slice(const QDeadlineTimer& deadline) {
    return int(qBound<qint64>(qint64(1), deadline.remainingTime(), qint64(kSliceMs)));
}

// The recipient's address: its IP address when that reads as a dotted quad,
// else its computer name as the resolver finds it.
QHostAddress RecipientAddress(const TRecipient& r, const TTransportConfig& config) {
    if (const std::optional<quint32> quad = ParseDottedQuadPrefix(r.IPAddress)) return QHostAddress(*quad);
    if (r.ComputerName.trimmed().isEmpty()) return {};
    return ResolveAddress(r.ComputerName, config.Resolver);
}

// waitForConnected gives the attempt up when it times out, so it cannot wait
// in slices; a loop of this worker's own waits for the outcome instead and
// looks at the cancel flag meanwhile. Empty once connected, else why not.
QString WaitConnected(QTcpSocket& socket, int timeoutMs, const std::function<bool()>& cancelled) {
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&socket, &QAbstractSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (cancelled() || deadline.hasExpired()) loop.quit();
    });
    tick.start(kSliceMs);
    if (socket.state() != QAbstractSocket::ConnectedState && socket.state() != QAbstractSocket::UnconnectedState)
        loop.exec();
    if (socket.state() == QAbstractSocket::ConnectedState) return {};
    if (socket.state() == QAbstractSocket::UnconnectedState) return socket.errorString();
    socket.abort();
    return cancelled() ? QStringLiteral("Canceled") : QStringLiteral("Connection timed out");
}

struct TSendOutcome {
    QString Error; // empty: delivered
    bool Reset = false; // the peer reset the connection: it never took the request
};

// Until the peer ends the connection: closed in order means read; a reset means
// refused or closed unread. A peer that holds the connection has the request in
// its buffers and reads it in its turn, as one without a free worker does.
// A socket Qt closed while writing (no descriptor left) ended before our last
// byte was out, which only a refusal does: counted as a reset.
TSendOutcome AwaitDelivery(QTcpSocket& socket, const TMessageSendLimits& limits, const std::function<bool()>& cancelled) {
    switch (Platform::AwaitPeerEnd(socket.socketDescriptor(), limits.DeliveryWaitMs, cancelled)) {
    case Platform::peReset: return {kNotTaken, true};
    case Platform::peWaiting: return cancelled() ? TSendOutcome{QStringLiteral("Canceled")} : TSendOutcome{};
    case Platform::peClosed:
    case Platform::peData: break;
    }
    return {};
}

// One request over a connection of its own.
TSendOutcome SendRequest(const QHostAddress& to, quint16 port, const QByteArray& request, const TMessageSendLimits& limits) {
    const auto cancelled = [&limits] { return limits.Cancelled && limits.Cancelled(); };
    if (!Platform::DestinationAllowed(to)) return {QStringLiteral("Sending to %1 is not allowed here").arg(to.toString())};
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(to, port);
    if (const QString error = WaitConnected(socket, limits.ConnectTimeoutMs, cancelled); !error.isEmpty()) return {error};
    // A reset while writing is a refusal as well.
    const auto failed = [&socket] {
        if (socket.error() == QAbstractSocket::RemoteHostClosedError) return TSendOutcome{kNotTaken, true};
        return TSendOutcome{socket.errorString()};
    };
    for (qsizetype offset = 0; offset < request.size(); offset += kChunk) {
        if (socket.write(request.constData() + offset, qMin(kChunk, request.size() - offset)) < 0) return failed();
        // A peer that stops reading holds us only until the stall limit.
        QDeadlineTimer stall(limits.StallTimeoutMs);
        while (socket.bytesToWrite() > 0) {
            if (socket.waitForBytesWritten(Slice(stall))) {
                stall.setRemainingTime(limits.StallTimeoutMs);
                continue;
            }
            if (socket.state() != QAbstractSocket::ConnectedState) return failed();
            if (cancelled()) return {QStringLiteral("Canceled")};
            if (stall.hasExpired()) return {QStringLiteral("The recipient stopped reading")};
        }
    }
    TSendOutcome outcome = AwaitDelivery(socket, limits, cancelled);
    socket.disconnectFromHost();
    return outcome;
}

// A listener busy with many connections from us refuses more with a reset;
// it takes the request again once some of those are done.
TRecipientDelivery Deliver(const QHostAddress& to, quint16 port, const QByteArray& request, const TMessageSendLimits& limits) {
    TRecipientDelivery delivery;
    for (int attempt = 0;; ++attempt) {
        const TSendOutcome outcome = SendRequest(to, port, request, limits);
        ++delivery.Attempts;
        delivery.Reason = outcome.Error;
        if (!outcome.Reset || attempt >= limits.ResetRetries) break;
        const QDeadlineTimer pause(limits.ResetPauseMs << attempt);
        while (!pause.hasExpired() && !(limits.Cancelled && limits.Cancelled())) QThread::msleep(quint64(Slice(pause)));
    }
    return delivery;
}

} // namespace

bool TSendSlots::Acquire(const std::function<bool()>& cancelled) {
    std::unique_lock lock(FMutex);
    for (;;) {
        if (cancelled && cancelled()) return false;
        if (FFree > 0) {
            --FFree;
            return true;
        }
        // In slices, so that a cancel is seen while every slot is taken.
        FReleased.wait_for(lock, std::chrono::milliseconds(kSliceMs));
    }
}

void TSendSlots::Release() {
    {
        std::lock_guard lock(FMutex);
        ++FFree;
    }
    FReleased.notify_one();
}

int TSendSlots::Free() const {
    std::lock_guard lock(FMutex);
    return FFree;
}

bool TCommClient::SendMessageTo(const QString& summary, TRecipients& recipients, const QByteArray& body,
                                const TMessageSendLimits& limits, QList<TRecipientDelivery>* deliveries,
                                const std::function<void(int index, const TRecipientDelivery& delivery)>& onRecipient) const {
    const TTransportConfig config = FConfig();
    if (deliveries) deliveries->clear();
    QString tooLarge;
    if (body.size() > MaxChatBody) tooLarge = QStringLiteral("The message is larger than %1 bytes").arg(MaxChatBody);
    // One request for all: the connections only read it.
    const QByteArray request = tooLarge.isEmpty() ? EncodeMessageRequest(FIdentity(), summary, body, FLang) : QByteArray();
    const auto cancelled = [&limits] { return limits.Cancelled && limits.Cancelled(); };
    const qsizetype count = recipients.size();
    recipients.detach(); // the workers write their own entries only
    std::vector<TRecipientDelivery> results(static_cast<size_t>(count));
    std::atomic<qsizetype> next{0};
    std::mutex report;
    bool any = false;
    // Each lane takes the next recipient in list order until none is left.
    const auto lane = [&] {
        for (qsizetype i = next++; i < count; i = next++) {
            TRecipientDelivery delivery{tooLarge};
            if (delivery.Reason.isEmpty() && cancelled()) delivery.Reason = QStringLiteral("Canceled");
            if (delivery.Reason.isEmpty()) {
                const QHostAddress address = RecipientAddress(std::as_const(recipients)[i], config);
                const quint16 port = limits.PortOf ? limits.PortOf(i) : config.Port;
                if (address.isNull()) delivery.Reason = QStringLiteral("Host not found");
                else if (limits.Slots && !limits.Slots->Acquire(cancelled)) delivery.Reason = QStringLiteral("Canceled");
                else {
                    delivery = Deliver(address, port, request, limits);
                    if (limits.Slots) limits.Slots->Release();
                }
            }
            const std::lock_guard lock(report);
            if (delivery.Reason.isEmpty()) {
                recipients[i].SendStatus = kOk;
                any = true;
            }
            results[size_t(i)] = delivery;
            if (onRecipient) onRecipient(int(i), delivery);
        }
    };
    const int lanes = int(std::clamp<qsizetype>(qMin<qsizetype>(limits.ParallelPerJob, count), 1, 1024));
    if (lanes > 1 && tooLarge.isEmpty()) {
        // The calling thread is one of the lanes.
        QThreadPool pool;
        pool.setMaxThreadCount(lanes - 1);
        for (int l = 1; l < lanes; ++l) pool.start(lane);
        lane();
        pool.waitForDone();
    } else {
        lane();
    }
    if (deliveries)
        for (const TRecipientDelivery& d : results) deliveries->append(d);
    return any;
}

bool TCommClient::SendBroadcast(const QString& summary, const QString& body) const {
    const QByteArray datagram = EncodeBroadcast(FIdentity(), summary, body, FLang);
    // Every receiver would drop it: reaching nobody is no success.
    if (datagram.size() > MaxDatagramSize) return false;
    return SendToAll(datagram);
}

bool TCommClient::SendRefuse(const QString& address, const QString& replyText) const {
    return SendToAddress(address, EncodeRefuse(FIdentity(), replyText, FLang));
}
