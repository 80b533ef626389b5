#pragma once

#include "console/ConsoleCodecUnit.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <atomic>

// Asks the LAN who holds a NetBIOS name: a name query broadcast on every
// interface that is up (or sent to the given targets) and to the WINS server,
// with the system resolver asked at the same time. Blocks the calling thread
// (a worker) for at most TimeoutMs. Used by console messages and by the
// network neighbourhood.
struct TNameQuery {
    QByteArray Name;                 // in the code page, at most 15 bytes, upper case
    quint8 Suffix = ConsoleWire::kWorkstationSuffix;
    QString PlainName;               // for the system resolver
    QList<QHostAddress> Targets;     // empty: the broadcast address of every interface that is up
    QHostAddress Wins;
    quint16 Port = ConsoleWire::kNamePort;
    bool SystemResolver = true;      // only under the normal network policy in any case
    int TimeoutMs = 1500;
    int SettleMs = 20;               // after a first answer, for a second host claiming the name
};

struct TNameQueryResult {
    QHostAddress NetBios;            // the first positive answer (null: none)
    QHostAddress FromResolver;       // the system resolver's first IPv4 address (null: none in time)
    bool Conflict = false;           // two hosts claimed the name
    bool Cancelled = false;
};

TNameQueryResult QueryName(const TNameQuery& query, const std::atomic<bool>* cancel = nullptr);
