#pragma once

#include "neighbourhood/NetTreeUnit.h"

#include <functional>

// The Windows network as Samba's client library browses it: "smb://" lists
// the workgroups and domains the browse master knows, "smb://WG" the
// computers of one. Anonymous, one library context per call and one call at
// a time in the process (the library keeps global state), entries capped.
struct TSmbConfig {
    int MaxEntries = 2000;
    // Stands in for the library (tests): runs where the library call would.
    std::function<TNetBrowseResult(const QByteArray& url, bool workgroups, int timeoutMs)> Call;
};

// Library calls a browse stopped waiting for (cancel, time) that still run.
// The process waits for them at exit, up to SmbExitWaitMs, so none is inside
// the library while it and the process's statics are torn down.
constexpr int SmbExitWaitMs = 3000;
int SmbCallsRunning();
bool WaitForSmbCalls(int maxMs);

class TSmbSource : public TNetBrowseSource {
public:
    explicit TSmbSource(TSmbConfig config = {}) : FConfig(config) {}
    TNetSources Id() const override { return nsSmb; }
    QString Name() const override { return QStringLiteral("SMB"); }
    TNetBrowseResult Browse(const QString& container, int timeoutMs, const std::atomic<bool>& cancel) override;

private:
    TSmbConfig FConfig;
};
