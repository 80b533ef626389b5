#pragma once

#include <QString>
#include <array>
#include <optional>

// A program version "%d.%d.%d.%d" (major, minor, release, build). Each part is
// kept as the unsigned 16-bit number older nodes compare, so "65536" reads as 0
// and 65535 stays the largest part.
using TVersionParts = std::array<quint16, 4>;

// nullopt unless there are exactly four parts, each an integer (Delphi rules).
std::optional<TVersionParts> ParseVersion(const QString& text);
// <0, 0, >0 as a is older than, equal to or newer than b: the first part that differs decides.
int CompareVersions(const TVersionParts& a, const TVersionParts& b);
// True when both read as versions and newer is greater than older.
bool IsNewerVersion(const QString& newer, const QString& older);
