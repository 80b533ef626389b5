#pragma once

#include <QtGlobal>

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

} // namespace Platform
