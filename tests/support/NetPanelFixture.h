#pragma once
// The office the network panel's tests browse: WORKGROUP with ALPHA, BETA
// (whose name resolves to nothing) and GAMMA, and an empty SALES.

#include "neighbourhood/NeighbourhoodServiceUnit.h"
#include "support/NeighbourhoodFakes.h"

#include <memory>

namespace NetFake {

inline std::shared_ptr<TFakeSource> Office() {
    return std::make_shared<TFakeSource>(nsSmb, QStringLiteral("SMB"), false, [](const QString& container) {
        TNetBrowseResult result;
        if (container.isEmpty())
            result.Containers = {QStringLiteral("WORKGROUP"), QStringLiteral("SALES")};
        else if (container.compare(QStringLiteral("WORKGROUP"), Qt::CaseInsensitive) == 0)
            for (const char* name : {"GAMMA", "ALPHA", "BETA"})
                result.Computers << Seen(QStringLiteral("WORKGROUP"), QString::fromLatin1(name));
        return result;
    });
}

inline TNetResolveFunction OfficeResolver() {
    return [](const QString& name, int, const std::atomic<bool>&) {
        if (name.compare(QStringLiteral("ALPHA"), Qt::CaseInsensitive) == 0) return QHostAddress(QStringLiteral("192.0.2.1"));
        if (name.compare(QStringLiteral("GAMMA"), Qt::CaseInsensitive) == 0) return QHostAddress(QStringLiteral("192.0.2.3"));
        return QHostAddress();
    };
}

inline void UseOffice(TNeighbourhoodService& service, std::shared_ptr<TFakeSource> source = Office()) {
    service.SetSources({std::move(source)});
    service.SetResolver(OfficeResolver());
    TNetLimits limits;
    limits.BrowseMs = 2000;
    limits.ResolveMs = 200;
    service.SetLimits(limits);
}

} // namespace NetFake
