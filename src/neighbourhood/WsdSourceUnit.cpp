#include "neighbourhood/WsdSourceUnit.h"

#include "platform/NetworkPolicyUnit.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHash>
#include <QSet>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>

using namespace WsdWire;

namespace {

// Responders wait up to 500 ms before they answer a multicast probe.
constexpr int kProbeWindowMs = 1500;
constexpr int kResendMs = 250;
constexpr int kPollMs = 50;

struct TFetch {
    QString Endpoint;
    TXAddr To;
    std::unique_ptr<QTcpSocket> Socket;
    QByteArray Raw;
    QDeadlineTimer Deadline;
    bool Done = false;
};

} // namespace

TNetBrowseResult TWsdSource::Browse(const QString& container, int timeoutMs, const std::atomic<bool>& cancel) {
    TNetBrowseResult result;
    if (!container.isEmpty()) return result;
    if (!Platform::DestinationAllowed(FConfig.Destination)) {
        result.Available = false;
        result.Error = QStringLiteral("the network policy of this process allows no discovery");
        return result;
    }
    const QDeadlineTimer deadline(qMax(1, timeoutMs));
    const QDeadlineTimer probeWindow(qMin(kProbeWindowMs, qMax(1, timeoutMs / 2)));
    QEventLoop loop;
    QUdpSocket udp;
    if (!udp.bind(QHostAddress::AnyIPv4, 0)) {
        result.Error = QStringLiteral("cannot open a UDP socket: %1").arg(udp.errorString());
        return result;
    }
    if (FConfig.Destination.isMulticast()) udp.setSocketOption(QAbstractSocket::MulticastTtlOption, 1);

    const QString probeId = NewMessageId();
    const QByteArray probe = BuildProbe(probeId);
    QHash<QString, QString> resolves;     // message id -> endpoint
    QSet<QString> endpoints;              // followed so far
    QList<std::shared_ptr<TFetch>> queued, running, all;
    QSet<QString> fetched;                // endpoints whose metadata was asked for
    int datagrams = 0;
    int sends = 0;

    auto settled = [&] {
        return probeWindow.hasExpired() && resolves.isEmpty() && queued.isEmpty() && running.isEmpty();
    };
    std::function<void()> pump;
    // Sockets live to the end of the browse: a fetch ends inside its own signals.
    auto finishFetch = [&](const std::shared_ptr<TFetch>& f) {
        if (f->Done) return;
        f->Done = true;
        running.removeAll(f);
        QByteArray body;
        if (ReadHttpResponse(f->Raw, true, &body) == THttpState::Done) {
            if (const auto computer = ParseMetadata(body)) {
                if (result.Computers.size() < FConfig.MaxComputers)
                    result.Computers << TNetSighting{computer->Workgroup, computer->Name, f->To.Host};
            }
        }
        f->Socket->abort();
        pump();
    };
    pump = [&] {
        while (!queued.isEmpty() && running.size() < FConfig.FetchesAtOnce) {
            const std::shared_ptr<TFetch> f = queued.takeFirst();
            f->Socket = std::make_unique<QTcpSocket>();
            f->Socket->setReadBufferSize(kMaxMetadata + 16 * 1024);
            f->Deadline = QDeadlineTimer(qMin<qint64>(FConfig.FetchMs, qMax<qint64>(1, deadline.remainingTime())));
            running.append(f);
            all.append(f);
            QTcpSocket* s = f->Socket.get();
            QObject::connect(s, &QTcpSocket::connected, &loop, [s, f] {
                s->write(BuildHttpPost(f->To, BuildGet(NewMessageId(), f->Endpoint)));
            });
            QObject::connect(s, &QTcpSocket::readyRead, &loop, [&, s, f] {
                f->Raw += s->readAll();
                QByteArray body;
                const THttpState state = ReadHttpResponse(f->Raw, false, &body);
                if (state != THttpState::Incomplete || f->Raw.size() > kMaxMetadata + 16 * 1024) finishFetch(f);
            });
            QObject::connect(s, &QTcpSocket::disconnected, &loop, [&, f] { finishFetch(f); });
            QObject::connect(s, &QTcpSocket::errorOccurred, &loop, [&, s, f](QAbstractSocket::SocketError e) {
                if (e != QAbstractSocket::RemoteHostClosedError) finishFetch(f);
                else if (s->state() == QAbstractSocket::UnconnectedState) finishFetch(f);
            });
            s->connectToHost(f->To.Host, f->To.Port);
        }
        if (settled()) loop.quit();
    };
    auto follow = [&](const TMatch& m) {
        if (!m.IsComputer() || fetched.contains(m.Endpoint)) return;
        for (const QString& x : m.XAddrs) {
            const auto to = ParseXAddr(x);
            if (!to || !Platform::DestinationAllowed(to->Host)) continue;
            fetched.insert(m.Endpoint);
            auto f = std::make_shared<TFetch>();
            f->Endpoint = m.Endpoint;
            f->To = *to;
            queued.append(f);
            return;
        }
        if (!m.XAddrs.isEmpty()) return;
        // No transport address: ask for it once.
        if (!resolves.values().contains(m.Endpoint)) {
            const QString id = NewMessageId();
            resolves.insert(id, m.Endpoint);
            udp.writeDatagram(BuildResolve(id, m.Endpoint), FConfig.Destination, FConfig.Port);
        }
    };
    QObject::connect(&udp, &QUdpSocket::readyRead, &loop, [&] {
        while (udp.hasPendingDatagrams()) {
            QByteArray d(kMaxDatagram + 1, '\0');
            const qint64 got = udp.readDatagram(d.data(), d.size());
            if (++datagrams > FConfig.MaxDatagrams) continue;  // drained, not read
            if (got <= 0 || got > kMaxDatagram) continue;
            d.truncate(int(got));
            if (auto matches = ParseMatches(d, probeId, 64)) {
                for (const TMatch& m : *matches) {
                    if (endpoints.size() >= FConfig.MaxComputers && !endpoints.contains(m.Endpoint)) continue;
                    endpoints.insert(m.Endpoint);
                    follow(m);
                }
                continue;
            }
            // A ResolveMatch relates to one of our resolves.
            for (auto it = resolves.begin(); it != resolves.end(); ++it) {
                const auto matches = ParseMatches(d, it.key(), 4);
                if (!matches) continue;
                const QString endpoint = it.value();
                resolves.erase(it);
                for (const TMatch& m : *matches)
                    if (m.Endpoint == endpoint) follow(m);
                break;
            }
        }
        pump();
    });

    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (cancel.load() || deadline.hasExpired()) {
            loop.quit();
            return;
        }
        if (sends < 2 && !probeWindow.hasExpired() && deadline.remainingTime() > 0 &&
            probeWindow.remainingTime() < kProbeWindowMs - kResendMs * sends) {
            udp.writeDatagram(probe, FConfig.Destination, FConfig.Port);
            ++sends;
        }
        for (const auto& f : QList<std::shared_ptr<TFetch>>(running))
            if (f->Deadline.hasExpired()) finishFetch(f);
        if (settled()) loop.quit();
    });
    udp.writeDatagram(probe, FConfig.Destination, FConfig.Port);
    ++sends;
    tick.start(kPollMs);
    loop.exec();
    for (const auto& f : std::as_const(all)) {
        f->Socket->disconnect();
        f->Socket->abort();
    }
    return result;
}
