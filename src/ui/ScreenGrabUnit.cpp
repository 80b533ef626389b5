#include "ui/ScreenGrabUnit.h"

#include "platform/ScreenshotPortalUnit.h"
#include "text/UILangUnit.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QPointer>
#include <QScreen>

namespace ScreenGrab {

bool IsWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

QImage ScreenPart(const QImage& whole, const QRect& desktop, const QRect& screen) {
    if (whole.isNull() || desktop.width() <= 0) return {};
    const qreal scale = qreal(whole.width()) / desktop.width();
    const QRect part(qRound((screen.x() - desktop.x()) * scale), qRound((screen.y() - desktop.y()) * scale),
                     qRound(screen.width() * scale), qRound(screen.height() * scale));
    QImage picture = whole.copy(part.intersected(whole.rect()));
    picture.setDevicePixelRatio(scale);
    return picture;
}

namespace {

QString CannotGrabText() { return Translate(QStringLiteral("The screen cannot be captured on this desktop.")); }

void GrabThroughPortal(QScreen* screen, QObject* context, std::function<void(const TScreenPicture&)> done) {
    if (!TScreenshotPortal::Available()) {
        done({QImage(), Translate(QStringLiteral("The screen cannot be captured on this desktop: this build has no D-Bus "
                                                 "support for the screenshot portal."))});
        return;
    }
    auto* portal = new TScreenshotPortal(context);
    const QRect desktop = screen->virtualGeometry();
    const QRect area = screen->geometry();
    QObject::connect(portal, &TScreenshotPortal::Finished, context,
                     [portal, desktop, area, done](const QString& path, const QString& error) {
                         portal->deleteLater();
                         TScreenPicture picture;
                         if (!path.isEmpty()) picture.Image = ScreenPart(QImage(path), desktop, area);
                         if (picture.Image.isNull())
                             picture.Error = TranslateFormat(QStringLiteral("The screen cannot be captured on this "
                                                                            "desktop (%s)."),
                                                             {error.isEmpty() ? path : error});
                         done(picture);
                     });
    portal->Request();
}

} // namespace

TScreenGrab Platform() {
    return [](QScreen* screen, QObject* context, std::function<void(const TScreenPicture&)> done) {
        if (!screen) {
            done({QImage(), CannotGrabText()});
            return;
        }
        // A Wayland client sees no other window's pixels: the portal asks the compositor.
        if (IsWayland()) {
            GrabThroughPortal(screen, context, std::move(done));
            return;
        }
        const QImage image = screen->grabWindow(0).toImage();
        if (image.isNull()) done({QImage(), CannotGrabText()});
        else done({image, QString()});
    };
}

} // namespace ScreenGrab
