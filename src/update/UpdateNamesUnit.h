#pragma once

#include <QString>
#include <QStringList>

// Which relative paths an update may name, on either side.
namespace UpdateNames {

// A relative path of a file: "\" or "/" between parts, each part a name a
// received file may have (no "..", ".", drive letters, leading "/", "~").
// Gives it with "/" separators; false for anything else.
bool Normalise(const QString& name, QString* normal);

// The existing regular file folder + normal whose real path (links
// followed) stays inside the real folder; empty otherwise.
QString ResolveInside(const QString& folder, const QString& normal);

// No part of folder + normal that exists already is a link (the file itself
// included): writing there cannot leave folder.
bool NoLinkOnTheWay(const QString& folder, const QString& normal);

} // namespace UpdateNames
