#include "console/NameQueryUnit.h"

#include "platform/NetInterfacesUnit.h"
#include "platform/NetworkPolicyUnit.h"

#include <QEventLoop>
#include <QHostInfo>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>

#include <memory>
#include <thread>

using namespace ConsoleWire;

namespace {

// Short waits, so a cancel takes effect soon.
constexpr int kWaitSliceMs = 100;
// Datagrams looked at per query: a flood ends the query, not the worker.
constexpr int kMaxDatagramsPerQuery = 256;
// How often a query looks whether the system resolver has answered.
constexpr int kResolverPollMs = 20;

QList<QHostAddress> BroadcastTargets() {
    QList<QHostAddress> out;
    for (const TNetInterfaceEntry& e : Platform::IPv4InterfaceEntries()) {
        if (!e.Up || e.Loopback) continue;
        const quint32 address = QHostAddress(e.Address).toIPv4Address();
        const quint32 mask = QHostAddress(e.Mask).toIPv4Address();
        if (address == 0) continue;
        const QHostAddress broadcast(address | ~mask);
        if (!out.contains(broadcast)) out << broadcast;
    }
    return out;
}

} // namespace

// The first positive NetBIOS answer wins unless another host claims the name
// within SettleMs; the resolver's answer is kept beside it.
TNameQueryResult QueryName(const TNameQuery& q, const std::atomic<bool>* cancel) {
    auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    TNameQueryResult result;
    QList<QPair<QHostAddress, bool>> targets; // address, broadcast
    if (!q.Name.isEmpty() && q.Name.size() <= kNetBiosNameLength) {
        for (const QHostAddress& a : q.Targets.isEmpty() ? BroadcastTargets() : q.Targets)
            if (Platform::DestinationAllowed(a)) targets << qMakePair(a, q.Targets.isEmpty());
        if (!q.Wins.isNull() && Platform::DestinationAllowed(q.Wins)) targets << qMakePair(q.Wins, false);
    }
    // Outside the LAN policy nothing but loopback may be asked: no resolver.
    const bool useResolver = q.SystemResolver && !q.PlainName.isEmpty() &&
        Platform::NetworkPolicy() == Platform::TNetworkPolicy::Normal;

    QEventLoop loop;
    QUdpSocket udp;
    const quint16 id = quint16(QRandomGenerator::global()->bounded(1, 0xFFFF));
    const QByteArray query = BuildNameQuery(id, q.Name, q.Suffix, true);
    const QByteArray unicastQuery = BuildNameQuery(id, q.Name, q.Suffix, false);
    int pendingUnicast = 0;
    for (const auto& t : targets)
        if (!t.second) ++pendingUnicast;
    const int unicastTargets = pendingUnicast;
    auto sendQueries = [&] {
        for (const auto& t : targets) udp.writeDatagram(t.second ? query : unicastQuery, t.first, q.Port);
    };

    std::optional<QHostAddress> netbios;
    bool resolverDone = !useResolver;
    int datagrams = 0;
    QTimer deadline, settle, resend, poll;
    deadline.setSingleShot(true);
    settle.setSingleShot(true);
    resend.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&settle, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&resend, &QTimer::timeout, &loop, sendQueries);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (cancelled()) loop.quit();
    });
    auto nothingLeftToHear = [&] {
        // Only unicast targets, each answered negatively: no need to wait.
        return targets.size() == unicastTargets && pendingUnicast == 0 && resolverDone;
    };
    QObject::connect(&udp, &QUdpSocket::readyRead, &loop, [&] {
        while (udp.hasPendingDatagrams()) {
            QByteArray buffer(kMaxDatagram + 1, '\0');
            const qint64 got = udp.readDatagram(buffer.data(), buffer.size());
            if (++datagrams > kMaxDatagramsPerQuery) {
                loop.quit();
                return;
            }
            if (got <= 0 || got > kMaxDatagram) continue;
            buffer.truncate(int(got));
            const auto answer = ParseNameQueryResponse(buffer, id, q.Name, q.Suffix);
            if (!answer) continue;
            if (!answer->Positive) {
                if (pendingUnicast > 0) --pendingUnicast;
                if (!netbios && nothingLeftToHear()) loop.quit();
                continue;
            }
            const QHostAddress& first = answer->Addresses.first();
            if (!netbios) {
                netbios = first;
                settle.start(q.SettleMs);
            } else if (*netbios != first) {
                result.Conflict = true;
                loop.quit();
            }
        }
    });

    // The system resolver on a thread of its own that nobody waits for: a
    // lookup cannot be cancelled, and an unreachable DNS server must delay
    // neither this query past its limit nor the end of the process.
    struct TLookup {
        std::atomic<bool> Done{false};
        QList<QHostAddress> Addresses;
    };
    auto lookup = std::make_shared<TLookup>();
    QTimer resolverPoll;
    if (useResolver) {
        std::thread([lookup, plainName = q.PlainName] {
            lookup->Addresses = QHostInfo::fromName(plainName).addresses();
            lookup->Done.store(true, std::memory_order_release);
        }).detach();
        QObject::connect(&resolverPoll, &QTimer::timeout, &loop, [&] {
            if (resolverDone || !lookup->Done.load(std::memory_order_acquire)) return;
            resolverDone = true;
            resolverPoll.stop();
            for (const QHostAddress& a : lookup->Addresses)
                if (a.protocol() == QAbstractSocket::IPv4Protocol && Platform::DestinationAllowed(a)) {
                    result.FromResolver = a;
                    break;
                }
            if (!netbios && (targets.isEmpty() || nothingLeftToHear())) loop.quit();
        });
        resolverPoll.start(kResolverPollMs);
    }
    if (!targets.isEmpty() && udp.bind(QHostAddress::AnyIPv4, 0)) {
        sendQueries();
        resend.start(q.TimeoutMs / 2);
    } else {
        targets.clear();
        pendingUnicast = 0;
    }
    if (!targets.isEmpty() || !resolverDone) {
        deadline.start(q.TimeoutMs);
        poll.start(kWaitSliceMs);
        loop.exec();
    }
    result.Cancelled = cancelled();
    if (netbios && Platform::DestinationAllowed(*netbios)) result.NetBios = *netbios;
    return result;
}
