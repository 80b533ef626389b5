#include "protocol/PortCheckUnit.h"

#include "platform/NetworkPolicyUnit.h"

#include <QTcpServer>
#include <QUdpSocket>

namespace PortCheck {

TPortCheck Check(quint16 port, const QHostAddress& address) {
    TPortCheck result;
    if (port == 0) return result; // 0 would bind whatever port the system picks
    {
        // The listener binds without sharing; a shared bind here would pass
        // beside a running node.
        QUdpSocket udp;
        result.Udp = udp.bind(address, port, QUdpSocket::DontShareAddress);
    }
    {
        QTcpServer tcp;
        result.Tcp = tcp.listen(address, port);
    }
    return result;
}

QHostAddress ListenAddress() {
    return Platform::NetworkPolicy() == Platform::TNetworkPolicy::Normal ? QHostAddress(QHostAddress::AnyIPv4)
                                                                         : QHostAddress(QHostAddress::LocalHost);
}

} // namespace PortCheck
