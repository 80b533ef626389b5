#include "platform/SocketOptionsUnit.h"

#include <sys/socket.h>

namespace Platform {

bool EnableBroadcast(qintptr socketDescriptor) {
    if (socketDescriptor < 0) return false;
    const int on = 1;
    return ::setsockopt(int(socketDescriptor), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

} // namespace Platform
