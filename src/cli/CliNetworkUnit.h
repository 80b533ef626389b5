#pragma once

#include "neighbourhood/NetTreeUnit.h"

#include <QStringList>
#include <QTextStream>

#include <memory>
#include <optional>
#include <vector>

// "network [--wait S] [--json]": reads the network neighbourhood (the root,
// then every container), waits until every read ended or the wait is over,
// and prints one computer per line: sources, container, name, address.
// Exit status: 0 the tree was read, 1 every source failed, 2 bad usage.
int RunNetwork(QStringList arguments, QTextStream& out, QTextStream& err);

// What the command reads with; tests put fakes.
struct TCliNetworkSetup {
    std::vector<std::shared_ptr<TNetBrowseSource>> Sources;
    TNetResolveFunction Resolver;
    std::optional<TNetLimits> Limits;
};
int RunNetwork(QStringList arguments, QTextStream& out, QTextStream& err, TCliNetworkSetup setup);

extern const char* const kNetworkUsage;
