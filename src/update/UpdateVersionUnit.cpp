#include "update/UpdateVersionUnit.h"

#include "platform/ProfileFileUnit.h"

#include <QStringList>

std::optional<TVersionParts> ParseVersion(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) return std::nullopt;
    TVersionParts out{};
    for (int i = 0; i < 4; ++i) {
        int value = 0;
        if (!TryStrToInt(parts[i], &value)) return std::nullopt;
        out[i] = quint16(value);
    }
    return out;
}

int CompareVersions(const TVersionParts& a, const TVersionParts& b) {
    for (int i = 0; i < 4; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

bool IsNewerVersion(const QString& newer, const QString& older) {
    const std::optional<TVersionParts> n = ParseVersion(newer);
    const std::optional<TVersionParts> o = ParseVersion(older);
    return n && o && CompareVersions(*n, *o) > 0;
}
