#include "platform/SocketOptionsUnit.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace Platform {

bool EnableBroadcast(qintptr socketDescriptor) {
    if (socketDescriptor < 0) return false;
    const int on = 1;
    return ::setsockopt(int(socketDescriptor), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

void ResetOnClose(qintptr socketDescriptor) {
    if (socketDescriptor < 0) return;
    const linger now{1, 0};
    ::setsockopt(int(socketDescriptor), SOL_SOCKET, SO_LINGER, &now, sizeof now);
}

TPeerEnd WaitPeerEnd(qintptr socketDescriptor, int waitMs) {
    if (socketDescriptor < 0) return peReset;
    pollfd fd{int(socketDescriptor), POLLIN | POLLRDHUP, 0};
    int ready;
    do ready = ::poll(&fd, 1, waitMs);
    while (ready < 0 && errno == EINTR);
    if (ready == 0) return peWaiting;
    // Peeking leaves any data for whoever reads the socket next.
    char byte;
    const ssize_t n = ::recv(int(socketDescriptor), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) return peClosed;
    if (n > 0) return peData;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return peWaiting;
    return peReset;
}

} // namespace Platform
