#include "cli/CliNetworkUnit.h"
#include "cli/CliExitUnit.h"

#include "neighbourhood/NeighbourhoodServiceUnit.h"
#include "text/UILangUnit.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTimer>

const char* const kNetworkUsage =
    "  network [--wait S] [--json]\n"
    "                            list the computers of the network neighbourhood (SMB, WS-Discovery, mDNS)\n";

namespace {

using namespace CliExit;

// Long enough for every source's limit and a resolution round or two.
constexpr double kDefaultWaitSeconds = 20;
constexpr double kMostWaitSeconds = 3600;

struct TNetworkArgs {
    double WaitSeconds = kDefaultWaitSeconds;
    bool Json = false;
};

QString Parse(const QStringList& args, TNetworkArgs* a) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--json")) {
            a->Json = true;
        } else if (arg == QLatin1String("--wait")) {
            if (i + 1 >= args.size()) return QStringLiteral("--wait needs a number of seconds");
            bool ok = false;
            a->WaitSeconds = args[++i].toDouble(&ok);
            if (!ok || !(a->WaitSeconds > 0) || a->WaitSeconds > kMostWaitSeconds)
                return QStringLiteral("--wait needs a number of seconds above 0: %1").arg(args[i]);
        } else {
            return QStringLiteral("network: unknown argument: %1").arg(arg);
        }
    }
    return {};
}

QString SourceNames(TNetSources sources) {
    QStringList names;
    if (sources & nsSmb) names << QStringLiteral("SMB");
    if (sources & nsWsd) names << QStringLiteral("WSD");
    if (sources & nsMdns) names << QStringLiteral("mDNS");
    return names.join(QLatin1Char('+'));
}

QString KindName(TNetKind kind) {
    switch (kind) {
    case TNetKind::nkServer: return QStringLiteral("computer");
    case TNetKind::nkDomain: return QStringLiteral("workgroup");
    case TNetKind::nkOther: return QStringLiteral("other");
    default: return QStringLiteral("container");
    }
}

} // namespace

int RunNetwork(QStringList arguments, QTextStream& out, QTextStream& err) {
    TCliNetworkSetup setup;
    setup.Sources = TNeighbourhoodService::DefaultSources();
    setup.Resolver = TNeighbourhoodService::DefaultResolver();
    return RunNetwork(std::move(arguments), out, err, std::move(setup));
}

int RunNetwork(QStringList arguments, QTextStream& out, QTextStream& err, TCliNetworkSetup setup) {
    TNetworkArgs a;
    if (const QString problem = Parse(arguments, &a); !problem.isEmpty()) return Usage(err, problem);

    const int sourceCount = int(setup.Sources.size());
    TNeighbourhoodService service;
    if (setup.Limits) service.SetLimits(*setup.Limits);
    service.SetSources(std::move(setup.Sources));
    service.SetResolver(std::move(setup.Resolver));

    QEventLoop loop;
    bool rootRead = false;
    QSet<QString> pending;
    QSet<TNetSources> failedAtRoot;
    auto problem = [&](const QString& text) {
        err << "quillmate-cli: " << text << "\n";
        err.flush();
    };
    QObject::connect(&service, &TNeighbourhoodService::SourceUnavailable, &loop,
                     [&](TNetSources source, const QString& text) {
                         failedAtRoot.insert(source);
                         problem(text);
                     });
    QObject::connect(&service, &TNeighbourhoodService::SourceFailed, &loop,
                     [&](TNetSources source, const QString& key, const QString& text) {
                         if (key.isEmpty()) failedAtRoot.insert(source);
                         problem(text);
                     });
    QObject::connect(&service, &TNeighbourhoodService::EnumerationFinished, &loop, [&](const QString& key) {
        if (key.isEmpty() && !rootRead) {
            rootRead = true;
            const QList<TNetItem> containers = service.Children(QString());
            for (const TNetItem& c : containers) pending.insert(c.Key);
            for (const TNetItem& c : containers) service.Enumerate(c.Key);
        } else {
            pending.remove(key);
        }
        if (rootRead && pending.isEmpty()) loop.quit();
    });
    QTimer wait;
    wait.setSingleShot(true);
    QObject::connect(&wait, &QTimer::timeout, &loop, &QEventLoop::quit);
    wait.start(int(a.WaitSeconds * 1000));
    service.Enumerate(QString());
    if (!(rootRead && pending.isEmpty())) loop.exec();

    const QString unknown = Translate(QStringLiteral("Unknown IP"));
    for (const TNetItem& container : service.Children(QString())) {
        if (a.Json) {
            const QJsonObject o{{QStringLiteral("Source"), SourceNames(container.Sources)},
                                {QStringLiteral("Container"), QString()},
                                {QStringLiteral("Name"), container.DisplayName},
                                {QStringLiteral("Address"), QString()},
                                {QStringLiteral("Kind"), KindName(container.Kind)}};
            out << QJsonDocument(o).toJson(QJsonDocument::Compact) << "\n";
        }
        for (const TNetItem& computer : service.Children(container.Key)) {
            if (a.Json) {
                const QJsonObject o{{QStringLiteral("Source"), SourceNames(computer.Sources)},
                                    {QStringLiteral("Container"), container.DisplayName},
                                    {QStringLiteral("Name"), computer.ComputerName},
                                    {QStringLiteral("Address"), computer.IPAddress},
                                    {QStringLiteral("Kind"), KindName(computer.Kind)}};
                out << QJsonDocument(o).toJson(QJsonDocument::Compact) << "\n";
            } else {
                out << SourceNames(computer.Sources) << "\t" << container.DisplayName << "\t" << computer.ComputerName
                    << "\t" << (computer.IPAddress.isEmpty() ? unknown : computer.IPAddress) << "\n";
            }
        }
    }
    out.flush();
    if (!rootRead) {
        problem(QStringLiteral("the network neighbourhood was not read within the wait"));
        return kExitFailed;
    }
    if (sourceCount == 0) {
        problem(QStringLiteral("no source of the network neighbourhood is available in this build"));
        return kExitFailed;
    }
    if (failedAtRoot.size() >= sourceCount) return kExitFailed;
    return kExitOk;
}
