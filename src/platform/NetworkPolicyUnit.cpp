#include "platform/NetworkPolicyUnit.h"

namespace Platform {

TNetworkPolicy NetworkPolicy() {
    const QByteArray value = qgetenv("QUILLMATE_NETWORK").trimmed().toLower();
    if (value == "off") return TNetworkPolicy::Off;
    if (value == "loopback") return TNetworkPolicy::Loopback;
    return TNetworkPolicy::Normal;
}

bool DestinationAllowed(const QHostAddress& address) {
    switch (NetworkPolicy()) {
    case TNetworkPolicy::Normal: return !address.isNull();
    case TNetworkPolicy::Loopback: return address.isLoopback();
    case TNetworkPolicy::Off: return false;
    }
    return false;
}

} // namespace Platform
