#pragma once

#include "protocol/PresenceCodecUnit.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

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

    TTransportConfig Config() const { return FConfig(); }
    TLocalIdentity Identity() const { return FIdentity(); }

private:
    TConfigSource FConfig;
    TIdentitySource FIdentity;
    const TMessageLang& FLang;
};
