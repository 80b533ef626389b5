#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <functional>

class QObject;
class QScreen;

// A picture of one screen, or why there is none (a translated sentence).
struct TScreenPicture {
    QImage Image; // device pixels, its ratio set; null on failure
    QString Error;
};

// Takes a picture of screen and hands it to done on the main thread, at once
// or later; done is dropped when context goes first. Tests give their own.
using TScreenGrab =
    std::function<void(QScreen* screen, QObject* context, std::function<void(const TScreenPicture&)> done)>;

namespace ScreenGrab {

// The platform's way: the window system's grab (X11 and others), the desktop
// portal on Wayland, or a picture-less answer that says neither is there.
TScreenGrab Platform();
bool IsWayland();
// The part of a picture of the whole desktop (virtual geometry desktop) that
// shows screen, both in logical pixels; its ratio follows the picture's scale.
QImage ScreenPart(const QImage& whole, const QRect& desktop, const QRect& screen);

} // namespace ScreenGrab
