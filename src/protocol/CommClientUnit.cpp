#include "protocol/CommClientUnit.h"

#include "core/UtilsUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "platform/NetworkPolicyUnit.h"
#include "platform/SocketOptionsUnit.h"
#include "text/MsgLangUnit.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QThreadPool>
#include <QUdpSocket>

// A dotted quad as it is; a name through the resolver (which may block).
QHostAddress ResolveAddress(const QString& host, const TTransportConfig::TResolver& resolver) {
    const QString trimmed = host.trimmed();
    QHostAddress address;
    if (address.setAddress(trimmed) && address.protocol() == QAbstractSocket::IPv4Protocol) return address;
    QString resolved;
    if (resolver ? resolver(trimmed, &resolved) : Utils::ResolveHost(trimmed, &resolved)) return QHostAddress(resolved);
    return {};
}

namespace {

bool Send(QUdpSocket& socket, const QHostAddress& to, quint16 port, const QByteArray& datagram) {
    if (!Platform::DestinationAllowed(to)) return false;
    return socket.writeDatagram(datagram, to, port) == datagram.size();
}

// A fresh socket on an ephemeral port, as every send uses.
void Prepare(QUdpSocket& socket, bool broadcast) {
    // Datagrams on the LAN never go through a proxy; asking the system for
    // one reads the services database on every send.
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    if (broadcast) Platform::EnableBroadcast(socket.socketDescriptor());
}

} // namespace

TCommClient::TCommClient(TConfigSource config, TIdentitySource identity, const TMessageLang& lang)
    : FConfig(std::move(config)), FIdentity(std::move(identity)), FLang(lang) {}

bool TCommClient::SendToAll(const QByteArray& datagram) const {
    const TTransportConfig config = FConfig();
    QUdpSocket socket;
    if (config.UseMulticast) {
        Prepare(socket, false);
        socket.setSocketOption(QAbstractSocket::MulticastTtlOption, config.TimeToLive);
        socket.setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
        return Send(socket, QHostAddress(config.MulticastGroup), config.Port, datagram);
    }
    Prepare(socket, true);
    bool any = false;
    for (const QString& address : config.BroadcastList)
        any = Send(socket, ResolveAddress(address, config.Resolver), config.Port, datagram) || any;
    return any;
}

bool TCommClient::SendToPeer(const QString& ipOrComputerName, const QByteArray& datagram) const {
    return SendToAddress(ipOrComputerName, datagram);
}

bool TCommClient::SendToAddress(const QString& address, const QByteArray& datagram) const {
    const TTransportConfig config = FConfig();
    QUdpSocket socket;
    Prepare(socket, false);
    return Send(socket, ResolveAddress(address, config.Resolver), config.Port, datagram);
}

int TCommClient::SendToEachAddress(const QStringList& addresses, const QByteArray& datagram) const {
    const TTransportConfig config = FConfig();
    QUdpSocket socket;
    Prepare(socket, false);
    int sent = 0;
    for (const QString& address : addresses)
        if (!address.trimmed().isEmpty() && Send(socket, ResolveAddress(address, config.Resolver), config.Port, datagram)) ++sent;
    return sent;
}

bool TCommClient::SendLocalBroadcast(const QByteArray& datagram) const {
    const TTransportConfig config = FConfig();
    QUdpSocket socket;
    Prepare(socket, true);
    return Send(socket, QHostAddress(config.LocalBroadcast), config.Port, datagram);
}

bool TCommClient::SendCheckNetworkState() const {
    return SendLocalBroadcast(EncodeCheckNetworkState(FIdentity().UserId));
}

bool TCommClient::SendLogon() const { return SendToAll(EncodeLogon(FIdentity(), FLang)); }

bool TCommClient::SendPresence(const char* type, const QString& address) const {
    return SendToAddress(address, EncodePresence(type, FIdentity(), FLang));
}

void TCommClient::StartCheckSignal(const QStringList& addresses) const {
    // The worker gets copies of everything it needs and touches nothing shared.
    const QByteArray datagram = EncodeCheckSignal(FIdentity().UserId);
    TCommClient worker([config = FConfig()] { return config; }, [] { return TLocalIdentity(); }, FLang);
    QThreadPool::globalInstance()->start([worker, addresses, datagram] { worker.SendToEachAddress(addresses, datagram); });
}

int TCommClient::SendCheckSignal(const QStringList& addresses) const {
    return SendToEachAddress(addresses, EncodeCheckSignal(FIdentity().UserId));
}

bool TCommClient::SendCheckSignalReply(const QString& address) const {
    return SendToAddress(address, EncodeCheckSignalReply(FIdentity().UserId));
}

void TCommClient::StartLogonThread() const {
    const QByteArray datagram = EncodeLogon(FIdentity(), FLang);
    TCommClient worker([config = FConfig()] { return config; }, [] { return TLocalIdentity(); }, FLang);
    QThreadPool::globalInstance()->start([worker, datagram] { worker.SendToAll(datagram); });
}

TCommClient TCommClient::Snapshot() const {
    return TCommClient([config = FConfig()] { return config; }, [self = FIdentity()] { return self; }, FLang);
}
