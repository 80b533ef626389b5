#pragma once

#include "neighbourhood/NetTreeUnit.h"

// The Windows network as Samba's client library browses it: "smb://" lists
// the workgroups and domains the browse master knows, "smb://WG" the
// computers of one. Anonymous, one library context per call and one call at
// a time in the process (the library keeps global state), entries capped.
struct TSmbConfig {
    int MaxEntries = 2000;
};

class TSmbSource : public TNetBrowseSource {
public:
    explicit TSmbSource(TSmbConfig config = {}) : FConfig(config) {}
    TNetSources Id() const override { return nsSmb; }
    QString Name() const override { return QStringLiteral("SMB"); }
    TNetBrowseResult Browse(const QString& container, int timeoutMs, const std::atomic<bool>& cancel) override;

private:
    TSmbConfig FConfig;
};
