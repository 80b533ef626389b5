#pragma once

#include "console/ConsoleCodecUnit.h"
#include "neighbourhood/NetTreeUnit.h"

// How the neighbourhood finds a computer's IPv4 address: a NetBIOS name query
// (the name's workstation entry), mDNS (NAME.local through Avahi) and the
// system resolver, all asked at once within the time given; the first that
// answers by this rank wins. Only loopback targets under a loopback policy.
struct TNetResolverConfig {
    QList<QHostAddress> NameQueryTargets;   // empty: broadcast on every interface that is up
    quint16 NamePort = ConsoleWire::kNamePort;
    QHostAddress Wins;
    bool Mdns = true;
    bool SystemResolver = true;
    int LanguageId = 1033;                  // the code page of names on the wire
};

TNetResolveFunction MakeNetResolver(TNetResolverConfig config);
