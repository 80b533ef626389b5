#pragma once

#include "neighbourhood/NetTreeUnit.h"
#include "neighbourhood/WsdCodecUnit.h"

// Computers that announce themselves by WS-Discovery (current Windows, wsdd):
// a Probe for devices, a Resolve for matches without a transport address,
// then each computer's metadata by HTTP for its name and workgroup. A flat
// source: it knows no tree of its own.
struct TWsdConfig {
    QHostAddress Destination = QHostAddress(WsdWire::kMulticastGroup);
    quint16 Port = WsdWire::kPort;
    int MaxComputers = 512;      // endpoints followed per browse
    int MaxDatagrams = 4096;     // datagrams read per browse; the rest are dropped
    int FetchesAtOnce = 16;      // metadata requests open at once
    int FetchMs = 2000;          // per metadata request (within the browse's own limit)
};

class TWsdSource : public TNetBrowseSource {
public:
    explicit TWsdSource(TWsdConfig config = {}) : FConfig(config) {}
    TNetSources Id() const override { return nsWsd; }
    QString Name() const override { return QStringLiteral("WS-Discovery"); }
    bool IsFlat() const override { return true; }
    TNetBrowseResult Browse(const QString& container, int timeoutMs, const std::atomic<bool>& cancel) override;

private:
    TWsdConfig FConfig;
};
