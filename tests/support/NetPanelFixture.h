#pragma once
// A network neighbourhood without a network: a browse source that answers
// from a table and a resolver that knows some names.

#include "neighbourhood/NeighbourhoodServiceUnit.h"
#include "neighbourhood/NetTreeUnit.h"

#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>

#include <memory>

namespace NetFake {

// Answers Browse from tables: the root's containers, and per container its
// computers (upper-cased container names as keys). Thread-safe: the service
// calls it from its workers.
class TTableSource : public TNetBrowseSource {
public:
    explicit TTableSource(TNetSources id = nsSmb) : FId(id) {}
    TNetSources Id() const override { return FId; }
    QString Name() const override { return QStringLiteral("Table"); }
    TNetBrowseResult Browse(const QString& container, int, const std::atomic<bool>&) override {
        QMutexLocker lock(&FMutex);
        ++FCalls;
        TNetBrowseResult result;
        if (container.isEmpty()) {
            result.Containers = FContainers;
            result.Computers = FFlat;
        } else {
            result.Computers = FComputers.value(container.toUpper());
        }
        return result;
    }
    void SetContainers(const QStringList& containers) {
        QMutexLocker lock(&FMutex);
        FContainers = containers;
    }
    void SetComputers(const QString& container, const QStringList& names) {
        QMutexLocker lock(&FMutex);
        QList<TNetSighting> sightings;
        for (const QString& name : names) sightings.append({container, name, QHostAddress()});
        FComputers.insert(container.toUpper(), sightings);
    }
    int Calls() {
        QMutexLocker lock(&FMutex);
        return FCalls;
    }

private:
    TNetSources FId;
    QMutex FMutex;
    QStringList FContainers;
    QList<TNetSighting> FFlat;
    QHash<QString, QList<TNetSighting>> FComputers;
    int FCalls = 0;
};

// Names in the table resolve to their address; any other name to nothing.
inline TNetResolveFunction TableResolver(QHash<QString, QString> table) {
    return [table](const QString& name, int, const std::atomic<bool>&) {
        return QHostAddress(table.value(name.toUpper()));
    };
}

// The office of the tests: WORKGROUP with ALPHA, BETA (no address) and GAMMA, and an empty SALES.
inline std::shared_ptr<TTableSource> Office() {
    auto source = std::make_shared<TTableSource>();
    source->SetContainers({QStringLiteral("WORKGROUP"), QStringLiteral("SALES")});
    source->SetComputers(QStringLiteral("WORKGROUP"), {QStringLiteral("GAMMA"), QStringLiteral("ALPHA"), QStringLiteral("BETA")});
    return source;
}
inline TNetResolveFunction OfficeResolver() {
    return TableResolver({{QStringLiteral("ALPHA"), QStringLiteral("192.0.2.1")},
                          {QStringLiteral("GAMMA"), QStringLiteral("192.0.2.3")}});
}

inline void UseOffice(TNeighbourhoodService& service, std::shared_ptr<TTableSource> source = Office()) {
    service.SetSources({std::move(source)});
    service.SetResolver(OfficeResolver());
    TNetLimits limits;
    limits.BrowseMs = 2000;
    limits.ResolveMs = 200;
    service.SetLimits(limits);
}

} // namespace NetFake
