#include "platform/SocketOptionsUnit.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Platform {

namespace {
// True once the socket has one of events (or an error), within waitMs.
bool PollFor(qintptr socketDescriptor, short events, int waitMs) {
    pollfd fd{int(socketDescriptor), events, 0};
    int ready;
    do ready = ::poll(&fd, 1, waitMs);
    while (ready < 0 && errno == EINTR);
    return ready != 0;
}
} // namespace

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
    if (!PollFor(socketDescriptor, POLLIN | POLLRDHUP, waitMs)) return peWaiting;
    // Peeking leaves any data for whoever reads the socket next.
    char byte;
    const ssize_t n = ::recv(int(socketDescriptor), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) return peClosed;
    if (n > 0) return peData;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return peWaiting;
    return peReset;
}

TPeerEnd AwaitPeerEnd(qintptr socketDescriptor, int waitMs, const std::function<bool()>& stop) {
    const QDeadlineTimer wait(waitMs);
    for (;;) {
        const int slice = int(qBound<qint64>(qint64(1), wait.remainingTime(), qint64(100)));
        const TPeerEnd end = WaitPeerEnd(socketDescriptor, slice);
        if (end != peWaiting || stop() || wait.hasExpired()) return end;
    }
}

TWriteStep WriteSome(qintptr socketDescriptor, const char* data, qint64 size, int waitMs) {
    if (socketDescriptor < 0) return {0, EBADF};
    for (bool waited = false;; waited = true) {
        // Never SIGPIPE: a peer gone away is an error to report, not a signal.
        const ssize_t n = ::send(int(socketDescriptor), data, size_t(size), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return {qint64(n), 0};
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return {0, errno};
        if (waited || !PollFor(socketDescriptor, POLLOUT, waitMs)) return {};
    }
}

TReadStep ReadSome(qintptr socketDescriptor, char* data, qint64 size, int waitMs) {
    if (socketDescriptor < 0) return {0, true};
    for (bool waited = false;; waited = true) {
        const ssize_t n = ::recv(int(socketDescriptor), data, size_t(size), MSG_DONTWAIT);
        if (n > 0) return {qint64(n), false};
        if (n == 0) return {0, true};
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return {0, true};
        if (waited || !PollFor(socketDescriptor, POLLIN, waitMs)) return {};
    }
}

bool TTcpConnection::Start(quint32 ipv4, quint16 port) {
    Close();
    FError = 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        FError = errno;
        return false;
    }
    FDescriptor = fd;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(ipv4);
    int r;
    do r = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    while (r < 0 && errno == EINTR);
    if (r == 0 || errno == EINPROGRESS) return true;
    FError = errno;
    Close();
    return false;
}

bool TTcpConnection::WaitConnected(int waitMs) {
    if (FDescriptor < 0) {
        if (FError == 0) FError = EBADF;
        return false;
    }
    if (!PollFor(FDescriptor, POLLOUT, waitMs)) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(int(FDescriptor), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error == EINPROGRESS || error == EALREADY) return false;
    if (error == 0) return true;
    FError = error;
    Close();
    return false;
}

void TTcpConnection::Close() {
    if (FDescriptor >= 0) ::close(int(FDescriptor));
    FDescriptor = -1;
}

QString SystemErrorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

} // namespace Platform
