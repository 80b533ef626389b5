#pragma once

#include "protocol/RequestReaderUnit.h"

#include <QHostAddress>
#include <QString>
#include <atomic>

// How a node listens, from its owner: ports, deadlines and the limits that
// keep one host from crowding out the others.
struct TListenOptions {
    quint16 Port = 7709;
    QString MulticastGroup = QStringLiteral("234.0.0.1"); // empty: no membership (loopback tests)
    // Without multicast sending (broadcast mode) the group is joined where
    // possible, but a node that cannot join it still listens.
    bool MembershipRequired = true;
    QHostAddress BindAddress = QHostAddress(QHostAddress::AnyIPv4);
    int HeaderTimeoutMs = TRequestReader::HeaderTimeoutMs; // whole header line, read without a worker
    int StallTimeoutMs = TRequestReader::StallTimeoutMs;   // pause inside a body
    // A body slower than this on average is cut (rfSlowBody): it may start
    // BodyGraceMs behind, and what comes faster banks time for one pause of
    // up to StallTimeoutMs. A LAN sender is a thousand times faster; a
    // trickle that would hold a worker for minutes is cut in seconds.
    qint64 MinBodyBytesPerSecond = 4 * 1024;
    int BodyGraceMs = 5 * 1000;
    // Served at once for one source address; more wait their turn, unread.
    // It takes 32 hosts to fill the listener's 128 workers.
    int MaxRequestsPerHost = 4;
    int MaxConnectionsPerHost = 32; // open at once from one source address; more are closed at once
    int MaxConnections = 1024;      // open at once in all

    TBodyPace BodyPace() const { return {MinBodyBytesPerSecond, BodyGraceMs, StallTimeoutMs}; }
};

// Why the listener ended a connection with a reset instead of serving it.
// rfNotTaken: the request was read but its event was not admitted (its source
// over its share, or too many events waiting). rfSlowBody: its body fell
// behind the slowest pace the listener allows.
enum TRefusal { rfHostConnections, rfTotalConnections, rfHeaderTimeout, rfBadHeader, rfNotTaken, rfSlowBody, rfCount };

// A copy of the listener's counters, safe to take from any thread.
struct TListenerCounts {
    quint64 Refused[rfCount] = {};
    int Open = 0;    // connections the listener holds (header, waiting or served)
    int Running = 0; // requests on a worker
    int Waiting = 0; // whole headers waiting for their host's turn

    quint64 RefusedTotal() const;
    bool operator==(const TListenerCounts& other) const;
};

// Written by the listener thread, read by anyone.
struct TListenerCounters {
    std::atomic<quint64> Refused[rfCount] = {};
    std::atomic<int> Open{0};
    std::atomic<int> Running{0};
    std::atomic<int> Waiting{0};

    TListenerCounts Snapshot() const;
};

// The short names used in logs and the CLI's JSON ("host-connections" ...).
const char* RefusalName(TRefusal reason);
