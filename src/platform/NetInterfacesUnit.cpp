#include "platform/NetInterfacesUnit.h"

#include <QHostAddress>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>

namespace Platform {

QList<TNetInterfaceEntry> IPv4InterfaceEntries() {
    QList<TNetInterfaceEntry> out;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = iface.flags();
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol) continue;
            TNetInterfaceEntry e;
            e.Address = ip.toString();
            e.Mask = entry.netmask().toString();
            e.Up = flags.testFlag(QNetworkInterface::IsUp);
            e.Loopback = flags.testFlag(QNetworkInterface::IsLoopBack) || ip.isLoopback();
            out.append(e);
        }
    }
    return out;
}

} // namespace Platform
