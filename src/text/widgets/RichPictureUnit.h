#pragma once

#include "text/RichDocUnit.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

// Pictures of rich text as the screen shows them. The bytes of a picture are
// never changed here: what is decoded is only what the panes draw.

// Pictures larger than this (in pixels, either side) are shown scaled down to
// fit: a JPEG is decoded at that size, other formats whose canvas is larger
// than this squared show a placeholder. A small file that claims a huge
// canvas cannot take all memory.
constexpr int kMaxShownPictureSide = 4096;
// Size of the placeholder of a picture whose header gives no size.
constexpr int kUnknownPictureSide = 32;

// How a picture is shown: its first frame, or a placeholder of the size its
// header gives when it cannot be decoded. Size is the size it takes in the text.
struct TShownPicture {
    QImage Image;
    QSize Size;
    bool Placeholder = false;
};
TShownPicture ShowPicture(const TRichPicture& picture);

// A frame with a crossed box, drawn small and stretched to size when shown.
QImage PicturePlaceholder(const QSize& size);

// PNG bytes of what the picture shows, for RTF readers that cannot use the
// embedded object; empty when it cannot be decoded.
QByteArray PngRendition(const TRichPicture& picture);

// A .bmp file (24 bits) of image drawn on background: transparent parts take
// the background colour instead of turning black.
QByteArray BmpOnBackground(const QImage& image, const QColor& background);

// The image of an icon file (.ico) at the size the desktop uses for icons
// (32 x 32 when the file has it, else its first image) on background, as a
// .bmp file; empty when the icon cannot be read.
QByteArray IconBmpOnBackground(const QByteArray& icoBytes, const QColor& background);

// Colours as settings hold them: Windows COLORREF values (0x00BBGGRR), or a
// system colour (0xFF0000nn, nn its index) such as the window text colour.
QColor ColourFromSetting(int value);
int SettingFromColour(const QColor& colour);
// Colour of the model (0xRRGGBB) and back.
QColor ColourFromRgb(quint32 rgb);
quint32 RgbFromColour(const QColor& colour);
