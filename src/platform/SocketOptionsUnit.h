#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

namespace Platform {

// Allows a UDP socket to send to broadcast addresses other than the limited
// one (Qt asks for it only for 255.255.255.255). False when the system refuses.
bool EnableBroadcast(qintptr socketDescriptor);

// Makes the next close of a TCP socket a reset instead of an orderly end, so
// a sender whose request was never read cannot take it for delivered.
void ResetOnClose(qintptr socketDescriptor);

// How a peer ended a connection we have finished writing to.
enum TPeerEnd {
    peClosed,  // an orderly end: it read what it wanted and closed
    peReset,   // a reset: closed without reading, or refused
    peData,    // it said something instead (still open)
    peWaiting, // nothing yet within the wait
};

// Waits at most waitMs for the peer's end without reading anything.
TPeerEnd WaitPeerEnd(qintptr socketDescriptor, int waitMs);
// The same in short slices, giving up (peWaiting) as soon as stop() says so.
TPeerEnd AwaitPeerEnd(qintptr socketDescriptor, int waitMs, const std::function<bool()>& stop);

// One step of writing to a non-blocking TCP socket: what it took within
// waitMs (0 when it was full all along), or the system's error number.
struct TWriteStep {
    qint64 Written = 0;
    int Error = 0;
};
TWriteStep WriteSome(qintptr socketDescriptor, const char* data, qint64 size, int waitMs);

// One step of reading a non-blocking TCP socket: what came within waitMs
// (0: nothing yet), or Closed when the peer ended or failed.
struct TReadStep {
    qint64 Read = 0;
    bool Closed = false;
};
TReadStep ReadSome(qintptr socketDescriptor, char* data, qint64 size, int waitMs);

// An outgoing TCP connection on a non-blocking socket of its own, for senders
// that make one connection per request (a QTcpSocket costs several times the
// system calls and an event loop per connection). Closed with the object.
class TTcpConnection {
public:
    TTcpConnection() = default;
    ~TTcpConnection() { Close(); }
    TTcpConnection(const TTcpConnection&) = delete;
    TTcpConnection& operator=(const TTcpConnection&) = delete;

    // Starts connecting to ipv4:port; false with Error() set when it cannot.
    bool Start(quint32 ipv4, quint16 port);
    // Waits at most waitMs: true once connected; false with Error() 0 while
    // still connecting, else with the reason it failed.
    bool WaitConnected(int waitMs);
    qintptr Descriptor() const { return FDescriptor; }
    int Error() const { return FError; }
    void Close();

private:
    qintptr FDescriptor = -1;
    int FError = 0;
};

// The system's sentence for an error number.
QString SystemErrorText(int error);

} // namespace Platform
