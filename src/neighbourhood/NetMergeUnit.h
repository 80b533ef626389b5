#pragma once

#include "neighbourhood/NetTreeUnit.h"

#include <QList>
#include <QSet>
#include <QString>

// How the answers of several sources become one tree: pure functions, so the
// rules can be checked without threads.
//
// - Sources rank by their id (SMB, then WS-Discovery, then mDNS); the answers
//   are merged in that order whatever order they arrived in.
// - Containers are one row per upper-cased name; the name shown is the first
//   source's spelling; the Sources bits are ORed.
// - A computer is one row per upper-cased name. Its container: the one an
//   SMB read placed it in, else the workgroup WS-Discovery (or any flat
//   source, by rank) gave, else "*" ("Other Computers"). Its address hint is
//   the first IPv4 address a source gave, by rank.
namespace NetMerge {

// The key of the container of computers no source placed in a workgroup.
inline const QString kOtherKey = QStringLiteral("*");

struct TSourceAnswer {
    TNetSources Source = nsNone;
    TNetBrowseResult Result;
};

// A computer a flat source saw at the root, merged over the flat sources.
struct TFlatComputer {
    QString Name;        // as first seen
    QString Workgroup;   // empty: none known
    TNetSources Sources = nsNone;
    QHostAddress Hint;
};

// A computer row of a container's read with the address a source gave.
struct TMergedComputer {
    TNetItem Item;
    QHostAddress Hint;
};

QString ContainerKey(const QString& name);
QString ComputerKey(const QString& containerKey, const QString& name);
// A name a row may carry: not empty, at most 63 characters, no '/' and no
// control characters (trimmed first); empty when it may not.
QString CleanName(const QString& name);

// The root's containers (sorted by name) from every root answer, and the
// flat computers the answers carried (their workgroups become containers; one
// without a workgroup brings the "*" container).
struct TRootMerge {
    QList<TNetItem> Containers;
    QList<TFlatComputer> Flat;
};
TRootMerge MergeRoot(QList<TSourceAnswer> answers, int maxRowsPerSource);

// Only the flat computers of some root answers (a container's read that asked
// the flat sources again).
QList<TFlatComputer> MergeFlat(QList<TSourceAnswer> answers, int maxRowsPerSource);

// The computers of one container: what the tree sources said for it, and the
// flat computers whose workgroup is this container (for "*": those without
// one), leaving out names in placedElsewhere (put in another container by a
// tree source). Sorted by name.
QList<TMergedComputer> MergeContainer(const QString& containerKey, QList<TSourceAnswer> treeAnswers,
                                      const QList<TFlatComputer>& flat, const QSet<QString>& placedElsewhere,
                                      int maxRowsPerSource);

// Sorts rows by display name, case-insensitively (then by key, so equal names keep one order).
void SortRows(QList<TNetItem>& rows);

} // namespace NetMerge
