#pragma once

#include <QByteArray>

// Pictures made for RTF readers without the embedded object: a PNG of a GIF
// (its first frame, as it is shown) for the \result of a picture, without Qt
// Gui, so that every front end's messages carry one.
namespace PngRendition {

// Larger pictures are not rendered (a GIF's screen size alone could ask for
// gigabytes): 64 megapixels.
inline constexpr qint64 MaxPixels = 64ll * 1024 * 1024;

// The first frame of a GIF on its logical screen, transparent where the GIF
// is; empty when gif is no GIF, is damaged before its first frame ends, or is
// over MaxPixels.
QByteArray PngFromGif(const QByteArray& gif);
// An 8-bit RGBA image (rows top down, no padding) as a PNG file; empty on failure.
QByteArray EncodePng(int width, int height, const QByteArray& rgba);

} // namespace PngRendition
