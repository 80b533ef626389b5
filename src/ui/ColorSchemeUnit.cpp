#include "ui/ColorSchemeUnit.h"

namespace ColorSchemes {

const QStringList& SchemeNames() {
    static const QStringList names{QStringLiteral("Blue"), QStringLiteral("Silver"), QStringLiteral("Black")};
    return names;
}

std::optional<TSchemeColors> Colors(const QString& scheme) {
    if (scheme.compare(QLatin1String("Blue"), Qt::CaseInsensitive) == 0)
        return TSchemeColors{QColor(223, 237, 255), QColor(179, 212, 255)};
    if (scheme.compare(QLatin1String("Black"), Qt::CaseInsensitive) == 0)
        return TSchemeColors{QColor(238, 238, 238), QColor(192, 192, 192)};
    if (scheme.compare(QLatin1String("Silver"), Qt::CaseInsensitive) == 0)
        return TSchemeColors{QColor(245, 245, 245), QColor(220, 220, 220)};
    return std::nullopt;
}

TGradient Gradient(const TSchemeColors& colors, bool invert) {
    return invert ? TGradient{colors.Dark, colors.Light} : TGradient{colors.Light, colors.Dark};
}

} // namespace ColorSchemes
