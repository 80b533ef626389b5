#include "neighbourhood/NetResolverUnit.h"

#include "console/NameQueryUnit.h"
#include "neighbourhood/MdnsSourceUnit.h"
#include "text/MsgLangUnit.h"

#include <QDeadlineTimer>
#include <QThread>

#include <thread>

namespace {

constexpr int kPollMs = 10;

struct TMdnsLookup {
    std::atomic<bool> Done{false};
    std::atomic<bool> Cancel{false};
    QHostAddress Address;
};

} // namespace

TNetResolveFunction MakeNetResolver(TNetResolverConfig config) {
    return [config](const QString& computerName, int timeoutMs, const std::atomic<bool>& cancel) -> QHostAddress {
        const QString name = computerName.trimmed();
        if (name.isEmpty()) return {};
        const QHostAddress literal(name);
        if (literal.protocol() == QAbstractSocket::IPv4Protocol) return literal;
        const QDeadlineTimer deadline(qMax(1, timeoutMs));

        // mDNS on a thread of its own beside the name query; it ends at the
        // same limit, and nobody waits for it past that.
        std::shared_ptr<TMdnsLookup> mdns;
        if (config.Mdns) {
            mdns = std::make_shared<TMdnsLookup>();
            std::thread([mdns, name, timeoutMs] {
                mdns->Address = MdnsResolveHost(name, timeoutMs, mdns->Cancel);
                mdns->Done.store(true);
            }).detach();
        }

        TNameQuery q;
        q.Name = TMessageLang::Encode(config.LanguageId, name).toUpper();
        q.Suffix = ConsoleWire::kWorkstationSuffix;
        q.PlainName = name;
        q.Targets = config.NameQueryTargets;
        q.Wins = config.Wins;
        q.Port = config.NamePort;
        q.SystemResolver = config.SystemResolver;
        q.TimeoutMs = qMax(1, timeoutMs);
        const TNameQueryResult answer = QueryName(q, &cancel);
        if (!answer.NetBios.isNull()) {
            if (mdns) mdns->Cancel.store(true);
            return answer.NetBios;
        }
        if (mdns) {
            while (!mdns->Done.load() && !cancel.load() && !deadline.hasExpired()) QThread::msleep(kPollMs);
            mdns->Cancel.store(true);
            if (mdns->Done.load() && !mdns->Address.isNull()) return mdns->Address;
        }
        return answer.FromResolver;
    };
}
