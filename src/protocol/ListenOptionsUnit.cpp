#include "protocol/ListenOptionsUnit.h"

#include <algorithm>
#include <numeric>

quint64 TListenerCounts::RefusedTotal() const { return std::accumulate(std::begin(Refused), std::end(Refused), quint64(0)); }

bool TListenerCounts::operator==(const TListenerCounts& other) const {
    return std::equal(std::begin(Refused), std::end(Refused), std::begin(other.Refused)) && Open == other.Open &&
           Running == other.Running && Waiting == other.Waiting;
}

TListenerCounts TListenerCounters::Snapshot() const {
    TListenerCounts counts;
    for (int i = 0; i < rfCount; ++i) counts.Refused[i] = Refused[i].load();
    counts.Open = Open.load();
    counts.Running = Running.load();
    counts.Waiting = Waiting.load();
    return counts;
}

const char* RefusalName(TRefusal reason) {
    switch (reason) {
    case rfHostConnections: return "host-connections";
    case rfTotalConnections: return "total-connections";
    case rfHeaderTimeout: return "header-timeout";
    case rfBadHeader: return "bad-header";
    case rfNotTaken: return "not-taken";
    case rfSlowBody: return "slow-body";
    case rfCount: break;
    }
    return "unknown";
}
