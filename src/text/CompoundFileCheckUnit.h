#pragma once

#include <QByteArray>

// Walks a compound file's sector chains and directory tree before libgsf
// sees it: libgsf reads a looping directory without crashing but keeps part of
// it for good, and our compound files come from the network.
// True when the header is sane, the directory chain ends, and every directory
// entry reachable from the root is reached exactly once through valid ids.
bool CompoundDirectoryIsSound(const QByteArray& file);
