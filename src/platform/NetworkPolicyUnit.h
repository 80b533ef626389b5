#pragma once

#include <QHostAddress>

// How far this process may reach on the network, from QUILLMATE_NETWORK:
// unset: the LAN as configured; "loopback": only 127.0.0.0/8 is sent to and
// listened on (unit tests); "off": nothing listens and nothing is sent
// (widget and process tests outside the lab).
namespace Platform {

enum class TNetworkPolicy { Normal, Loopback, Off };

TNetworkPolicy NetworkPolicy();
// Whether a datagram or connection may go to this address under the policy.
bool DestinationAllowed(const QHostAddress& address);

} // namespace Platform
