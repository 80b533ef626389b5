#pragma once

#include <QtGlobal>

namespace Platform {

// Allows a UDP socket to send to broadcast addresses other than the limited
// one (Qt asks for it only for 255.255.255.255). False when the system refuses.
bool EnableBroadcast(qintptr socketDescriptor);

} // namespace Platform
