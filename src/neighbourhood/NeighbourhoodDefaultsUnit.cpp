#include "neighbourhood/NeighbourhoodServiceUnit.h"

std::vector<std::shared_ptr<TNetBrowseSource>> TNeighbourhoodService::DefaultSources()
{
    return {};
}

TNetResolveFunction TNeighbourhoodService::DefaultResolver()
{
    return [](const QString&, int, const std::atomic<bool>&) { return QHostAddress(); };
}
