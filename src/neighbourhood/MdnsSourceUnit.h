#pragma once

#include "neighbourhood/NetTreeUnit.h"

// Linux and Mac computers as DNS-SD announces them (_smb._tcp,
// _workstation._tcp), through the Avahi daemon's client library. Without a
// daemon the source is unavailable. Printers are never asked for. A flat
// source: every computer it finds has no workgroup.
struct TMdnsConfig {
    int MaxServices = 1024;   // services resolved per browse
};

class TMdnsSource : public TNetBrowseSource {
public:
    explicit TMdnsSource(TMdnsConfig config = {}) : FConfig(config) {}
    TNetSources Id() const override { return nsMdns; }
    QString Name() const override { return QStringLiteral("mDNS"); }
    bool IsFlat() const override { return true; }
    TNetBrowseResult Browse(const QString& container, int timeoutMs, const std::atomic<bool>& cancel) override;

private:
    TMdnsConfig FConfig;
};

// NAME.local to an IPv4 address through the Avahi daemon; null when there is
// no daemon, no answer within timeoutMs, or the process may not use the LAN.
QHostAddress MdnsResolveHost(const QString& name, int timeoutMs, const std::atomic<bool>& cancel);

// "pc.local" or "pc.local." to "pc"; empty for a name that is not one label under .local.
QString MdnsComputerName(const QString& hostName);
