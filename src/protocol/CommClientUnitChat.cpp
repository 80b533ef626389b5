// TCommClient: the chat messages.
#include "protocol/CommClientUnit.h"

#include "platform/NetworkPolicyUnit.h"
#include "platform/SocketOptionsUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "text/MsgLangUnit.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>
#include <vector>

namespace {

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

// The connection within timeoutMs, waited for in slices so that a cancel is
// seen soon. Empty once connected, else why not.
QString WaitConnected(Platform::TTcpConnection& connection, int timeoutMs, const std::function<bool()>& cancelled) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (connection.WaitConnected(Slice(deadline))) return {};
        if (connection.Error() != 0) return Platform::SystemErrorText(connection.Error());
        if (cancelled()) return QStringLiteral("Canceled");
        if (deadline.hasExpired()) return QStringLiteral("Connection timed out");
    }
}

struct TSendOutcome {
    QString Error; // empty: delivered
    bool Reset = false; // the peer reset the connection: it never took the request
};

// Until the peer ends the connection: closed in order means read; a reset means
// refused or closed unread. A peer that holds the connection has the request in
// its buffers and reads it in its turn, as one without a free worker does.
TSendOutcome AwaitDelivery(qintptr descriptor, const TMessageSendLimits& limits, const std::function<bool()>& cancelled) {
    switch (Platform::AwaitPeerEnd(descriptor, limits.DeliveryWaitMs, cancelled)) {
    case Platform::peReset: return {kNotTaken, true};
    case Platform::peWaiting: return cancelled() ? TSendOutcome{QStringLiteral("Canceled")} : TSendOutcome{};
    case Platform::peClosed:
    case Platform::peData: break;
    }
    return {};
}

// One request over a connection of its own: a plain socket, since a sender
// to many makes thousands of them and nothing else listens on it.
TSendOutcome SendRequest(const QHostAddress& to, quint16 port, const QByteArray& head, const QByteArray& body,
                         const TMessageSendLimits& limits) {
    const auto cancelled = [&limits] { return limits.Cancelled && limits.Cancelled(); };
    if (!Platform::DestinationAllowed(to)) return {QStringLiteral("Sending to %1 is not allowed here").arg(to.toString())};
    bool ipv4 = false;
    const quint32 address = to.toIPv4Address(&ipv4);
    if (!ipv4) return {QStringLiteral("Host not found")};
    Platform::TTcpConnection connection;
    if (!connection.Start(address, port)) return {Platform::SystemErrorText(connection.Error())};
    if (const QString error = WaitConnected(connection, limits.ConnectTimeoutMs, cancelled); !error.isEmpty())
        return {error};
    // A reset or a close while writing is a refusal: the peer never took it all.
    const auto failed = [](int error) {
        if (error == ECONNRESET || error == EPIPE) return TSendOutcome{kNotTaken, true};
        return TSendOutcome{Platform::SystemErrorText(error)};
    };
    // A peer that stops reading holds us only until the stall limit.
    QDeadlineTimer stall(limits.StallTimeoutMs);
    for (const QByteArray* part : {&head, &body}) {
        for (qsizetype offset = 0; offset < part->size();) {
            const Platform::TWriteStep step = Platform::WriteSome(connection.Descriptor(), part->constData() + offset,
                                                                  part->size() - offset, Slice(stall));
            if (step.Error != 0) return failed(step.Error);
            if (step.Written > 0) {
                offset += step.Written;
                stall.setRemainingTime(limits.StallTimeoutMs);
                continue;
            }
            if (cancelled()) return {QStringLiteral("Canceled")};
            if (stall.hasExpired()) return {QStringLiteral("The recipient stopped reading")};
        }
    }
    return AwaitDelivery(connection.Descriptor(), limits, cancelled);
}

// A listener busy with many connections from us refuses more with a reset;
// it takes the request again once some of those are done.
TRecipientDelivery Deliver(const QHostAddress& to, quint16 port, const QByteArray& head, const QByteArray& body,
                           const TMessageSendLimits& limits) {
    TRecipientDelivery delivery;
    for (int attempt = 0;; ++attempt) {
        const TSendOutcome outcome = SendRequest(to, port, head, body, limits);
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
    const QString tooLarge = ChatBodySizeError(body.size(), limits.MaxBody);
    // One head for all, and the caller's body itself: the connections only
    // read them, so a large body is in memory once however many receive it.
    const QByteArray head = tooLarge.isEmpty() ? EncodeMessageHead(FIdentity(), summary, body.size(), FLang) : QByteArray();
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
                    delivery = Deliver(address, port, head, body, limits);
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
