#pragma once

#include <QList>
#include <QString>

// One IPv4 address of a network interface, as the operating system lists it.
struct TNetInterfaceEntry {
    QString Address; // dotted quad
    QString Mask;    // dotted quad
    bool Up = false;
    bool Loopback = false;
};

namespace Platform {

// Every IPv4 address of every interface, in the order the system lists them
// (interfaces that are down or loopback included, so callers can apply their
// own rules and limits).
QList<TNetInterfaceEntry> IPv4InterfaceEntries();

} // namespace Platform
