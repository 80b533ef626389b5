#include "neighbourhood/MdnsSourceUnit.h"

#include "platform/NetworkPolicyUnit.h"

#include <QDeadlineTimer>
#include <QHash>

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

namespace {

constexpr int kIterateMs = 50;

struct TBrowseState {
    AvahiClient* Client = nullptr;
    int BrowsersDone = 0;
    int Pending = 0;
    int Started = 0;
    int MaxServices = 0;
    QString Error;
    QHash<QString, TNetSighting> Computers;   // upper-cased name
};

void ResolveCallback(AvahiServiceResolver* r, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event, const char*,
                     const char*, const char*, const char* hostName, const AvahiAddress* address, uint16_t,
                     AvahiStringList*, AvahiLookupResultFlags, void* userdata) {
    auto* state = static_cast<TBrowseState*>(userdata);
    if (event == AVAHI_RESOLVER_FOUND && hostName) {
        const QString name = MdnsComputerName(QString::fromUtf8(hostName));
        if (!name.isEmpty() && !state->Computers.contains(name.toUpper())) {
            TNetSighting s;
            s.ComputerName = name;
            if (address && address->proto == AVAHI_PROTO_INET) {
                char text[AVAHI_ADDRESS_STR_MAX] = {};
                avahi_address_snprint(text, sizeof text, address);
                s.Address = QHostAddress(QString::fromLatin1(text));
            }
            state->Computers.insert(name.toUpper(), s);
        }
    }
    avahi_service_resolver_free(r);
    --state->Pending;
}

void BrowseCallback(AvahiServiceBrowser*, AvahiIfIndex iface, AvahiProtocol protocol, AvahiBrowserEvent event,
                    const char* name, const char* type, const char* domain, AvahiLookupResultFlags, void* userdata) {
    auto* state = static_cast<TBrowseState*>(userdata);
    switch (event) {
    case AVAHI_BROWSER_NEW:
        if (state->Started >= state->MaxServices) return;
        if (avahi_service_resolver_new(state->Client, iface, protocol, name, type, domain, AVAHI_PROTO_INET,
                                       AvahiLookupFlags(0), ResolveCallback, state)) {
            ++state->Started;
            ++state->Pending;
        }
        return;
    case AVAHI_BROWSER_ALL_FOR_NOW:
        ++state->BrowsersDone;
        return;
    case AVAHI_BROWSER_FAILURE:
        state->Error = QString::fromUtf8(avahi_strerror(avahi_client_errno(state->Client)));
        ++state->BrowsersDone;
        return;
    default:
        return;
    }
}

void ClientCallback(AvahiClient*, AvahiClientState, void*) {}

// One client on one simple poll, freed together.
struct TAvahi {
    AvahiSimplePoll* Poll = nullptr;
    AvahiClient* Client = nullptr;
    int Error = 0;
    TAvahi() {
        Poll = avahi_simple_poll_new();
        if (Poll) Client = avahi_client_new(avahi_simple_poll_get(Poll), AvahiClientFlags(0), ClientCallback, nullptr, &Error);
    }
    ~TAvahi() {
        if (Client) avahi_client_free(Client);
        if (Poll) avahi_simple_poll_free(Poll);
    }
    TAvahi(const TAvahi&) = delete;
    TAvahi& operator=(const TAvahi&) = delete;
};

struct THostState {
    bool Done = false;
    QHostAddress Address;
};

void HostCallback(AvahiHostNameResolver* r, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event, const char*,
                  const AvahiAddress* address, AvahiLookupResultFlags, void* userdata) {
    auto* state = static_cast<THostState*>(userdata);
    if (event == AVAHI_RESOLVER_FOUND && address && address->proto == AVAHI_PROTO_INET) {
        char text[AVAHI_ADDRESS_STR_MAX] = {};
        avahi_address_snprint(text, sizeof text, address);
        state->Address = QHostAddress(QString::fromLatin1(text));
    }
    state->Done = true;
    avahi_host_name_resolver_free(r);
}

} // namespace

QString MdnsComputerName(const QString& hostName) {
    QString h = hostName.trimmed();
    if (h.endsWith(QLatin1Char('.'))) h.chop(1);
    if (!h.endsWith(QLatin1String(".local"), Qt::CaseInsensitive)) return {};
    h.chop(6);
    if (h.isEmpty() || h.contains(QLatin1Char('.'))) return {};
    return h;
}

TNetBrowseResult TMdnsSource::Browse(const QString& container, int timeoutMs, const std::atomic<bool>& cancel) {
    TNetBrowseResult result;
    if (!container.isEmpty()) return result;
    if (Platform::NetworkPolicy() != Platform::TNetworkPolicy::Normal) {
        result.Available = false;
        result.Error = QStringLiteral("the network policy of this process allows no multicast DNS");
        return result;
    }
    TAvahi avahi;
    if (!avahi.Client) {
        result.Available = false;
        result.Error = QString::fromUtf8(avahi_strerror(avahi.Error));
        return result;
    }
    TBrowseState state;
    state.Client = avahi.Client;
    state.MaxServices = FConfig.MaxServices;
    int browsers = 0;
    for (const char* type : {"_smb._tcp", "_workstation._tcp"})
        if (avahi_service_browser_new(avahi.Client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, type, nullptr,
                                      AvahiLookupFlags(0), BrowseCallback, &state))
            ++browsers;
    const QDeadlineTimer deadline(qMax(1, timeoutMs));
    while (!cancel.load() && !deadline.hasExpired() && !(state.BrowsersDone >= browsers && state.Pending <= 0))
        if (avahi_simple_poll_iterate(avahi.Poll, kIterateMs) != 0) break;
    for (const TNetSighting& s : std::as_const(state.Computers)) result.Computers << s;
    if (browsers == 0) result.Error = QString::fromUtf8(avahi_strerror(avahi_client_errno(avahi.Client)));
    else if (result.Computers.isEmpty() && !state.Error.isEmpty()) result.Error = state.Error;
    return result;
}

QHostAddress MdnsResolveHost(const QString& name, int timeoutMs, const std::atomic<bool>& cancel) {
    if (Platform::NetworkPolicy() != Platform::TNetworkPolicy::Normal) return {};
    const QString plain = name.trimmed();
    if (plain.isEmpty() || plain.contains(QLatin1Char('.'))) return {};
    TAvahi avahi;
    if (!avahi.Client) return {};
    THostState state;
    const QByteArray host = (plain + QStringLiteral(".local")).toUtf8();
    if (!avahi_host_name_resolver_new(avahi.Client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, host.constData(),
                                      AVAHI_PROTO_INET, AvahiLookupFlags(0), HostCallback, &state))
        return {};
    const QDeadlineTimer deadline(qMax(1, timeoutMs));
    while (!state.Done && !cancel.load() && !deadline.hasExpired())
        if (avahi_simple_poll_iterate(avahi.Poll, kIterateMs) != 0) break;
    return state.Address;
}
