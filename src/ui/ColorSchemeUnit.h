#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <optional>

// The main window's colour schemes: a light and a dark colour each, drawn as
// a gradient on the menu bar, the header, the notification windows and the
// tray menu's side strip.
namespace ColorSchemes {

struct TSchemeColors {
    QColor Light;
    QColor Dark;
};

struct TGradient {
    QColor Start;
    QColor End;
};

// "Blue", "Silver", "Black" in menu order.
const QStringList& SchemeNames();
// Case-insensitive; nothing for an unknown name.
std::optional<TSchemeColors> Colors(const QString& scheme);
// Light to dark, dark to light when inverted.
TGradient Gradient(const TSchemeColors& colors, bool invert);

// The tool bar buttons' hover colour.
inline QColor HotTrackColor() { return QColor(198, 211, 239); }

} // namespace ColorSchemes
