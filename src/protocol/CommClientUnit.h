#pragma once

#include "protocol/ChatCodecUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/PresenceCodecUnit.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class TMessageLang;

// Where datagrams go. The node builds it from the settings; tests inject
// loopback addresses.
struct TTransportConfig {
    // Host name -> dotted quad; false when the name cannot be resolved.
    using TResolver = std::function<bool(const QString& host, QString* address)>;

    quint16 Port = 7709;
    QString MulticastGroup = QStringLiteral("234.0.0.1");
    int TimeToLive = 1;
    bool UseMulticast = true;
    QStringList BroadcastList;                             // the "+" entries, without the sign
    QString LocalBroadcast = QStringLiteral("255.255.255.255"); // the self-check's destination
    TResolver Resolver;                                    // empty: the system resolver (blocking)
};

// host as an IPv4 address: a dotted quad as it is, a name through resolver
// (the system's, which may block, when empty); null when it cannot be found.
QHostAddress ResolveAddress(const QString& host, const TTransportConfig::TResolver& resolver);

// Connections in flight over all the send jobs of a node: a worker takes a
// slot before it connects and gives it back once its recipient is done, so
// many jobs at once never open more sockets than this.
class TSendSlots {
public:
    explicit TSendSlots(int count) : FFree(count) {}
    // Waits for a free slot; false when cancelled first.
    bool Acquire(const std::function<bool()>& cancelled);
    void Release();
    int Free() const;

private:
    mutable std::mutex FMutex;
    std::condition_variable FReleased;
    int FFree;
};

// How long one recipient of a "QLM_MESSAGE" may take; tests shorten them.
struct TMessageSendLimits {
    int ConnectTimeoutMs = 10 * 1000;
    int StallTimeoutMs = 30 * 1000; // nothing could be written for this long: the recipient is given up
    // Written in full, the request is taken once the recipient closes; one that
    // keeps the connection longer than this has it in its buffers all the same.
    int DeliveryWaitMs = 3 * 1000;
    // A recipient that resets the connection (too many of ours open) is tried
    // again this often, after pauses of ResetPauseMs, twice that, ...
    int ResetRetries = 3;
    int ResetPauseMs = 100;
    std::function<bool()> Cancelled; // asked while waiting; true ends the send at once
    // Recipients tried at once by one job, started in list order.
    int ParallelPerJob = 32;
    std::shared_ptr<TSendSlots> Slots; // the node's bound over all jobs; none: only the job's own
    // Tests put each recipient on a port of its own; empty: the configured port.
    std::function<quint16(qsizetype index)> PortOf;
    // The longest body sent; tests lower it to reach the edge cheaply.
    qint64 MaxBody = MaxChatBody;
};

// How one recipient of a "QLM_MESSAGE" fared.
struct TRecipientDelivery {
    QString Reason;   // empty when reached, else why not
    int Attempts = 0; // connections tried, a reset one tried again included; 0 when none was
};

// The sender. Every operation builds its text and sends it on the calling
// thread through a socket of its own; any thread may call it.
class TCommClient {
public:
    using TConfigSource = std::function<TTransportConfig()>;
    using TIdentitySource = std::function<TLocalIdentity()>;

    TCommClient(TConfigSource config, TIdentitySource identity, const TMessageLang& lang);

    // Delivery modes. Each returns false when the datagram could not be sent
    // (for lists: when none could).
    bool SendToAll(const QByteArray& datagram) const;
    bool SendToPeer(const QString& ipOrComputerName, const QByteArray& datagram) const;
    bool SendToAddress(const QString& address, const QByteArray& datagram) const;
    // One socket, list order; a failure skips to the next address. Returns how many went out.
    int SendToEachAddress(const QStringList& addresses, const QByteArray& datagram) const;
    bool SendLocalBroadcast(const QByteArray& datagram) const;

    bool SendCheckNetworkState() const;
    bool SendLogon() const;
    // "QLM_LOGONREPLY", "QLM_LOGOFF", "QLM_ONLINESTATE" or "QLM_NICKNAME" to one address.
    bool SendPresence(const char* type, const QString& address) const;
    // Sends "QLM_CHECKSIGNAL" to every address from a short-lived worker.
    void StartCheckSignal(const QStringList& addresses) const;
    int SendCheckSignal(const QStringList& addresses) const;
    bool SendCheckSignalReply(const QString& address) const;
    // Sends the logon once from a short-lived worker (the network just came up).
    void StartLogonThread() const;

    // "QLM_MESSAGE" to each recipient, one connection each, up to
    // limits.ParallelPerJob of them at once and started in array order; blocks
    // until all are done (a job's worker calls it). The request is encoded
    // once and shared by every connection. SendStatus becomes "OK" for every
    // recipient reached; deliveries, when given, gets one entry per recipient
    // in array order. onRecipient is told of each as it ends, in the order
    // they end, one call at a time (from the workers' threads).
    // True when at least one recipient was reached.
    bool SendMessageTo(const QString& summary, TRecipients& recipients, const QByteArray& body,
                       const TMessageSendLimits& limits, QList<TRecipientDelivery>* deliveries = nullptr,
                       const std::function<void(int index, const TRecipientDelivery& delivery)>& onRecipient = {}) const;
    // One "QLM_BROADCAST" to all; false when it did not go out (or is longer
    // than a receiver takes).
    bool SendBroadcast(const QString& summary, const QString& body) const;
    // "QLM_REFUSE" with the auto-reply text to one address.
    bool SendRefuse(const QString& address, const QString& replyText) const;

    // A sender holding copies of this moment's settings and identity, for a
    // worker that must not read the live ones.
    TCommClient Snapshot() const;

    TTransportConfig Config() const { return FConfig(); }
    const TMessageLang& Lang() const { return FLang; }
    TLocalIdentity Identity() const { return FIdentity(); }

private:
    TConfigSource FConfig;
    TIdentitySource FIdentity;
    const TMessageLang& FLang;
};
