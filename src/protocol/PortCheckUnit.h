#pragma once

#include <QHostAddress>
#include <QString>

// Whether a port could be listened on now, as the node listens: UDP and TCP
// bound without sharing. Binding sends nothing; the sockets close at once.
struct TPortCheck {
    bool Udp = false;
    bool Tcp = false;
    bool Free() const { return Udp && Tcp; }
};

namespace PortCheck {

// Tries both binds on address:port.
TPortCheck Check(quint16 port, const QHostAddress& address);
// The address a node of this process would listen on under the network
// policy: every IPv4 address, or 127.0.0.1 in tests.
QHostAddress ListenAddress();

} // namespace PortCheck
