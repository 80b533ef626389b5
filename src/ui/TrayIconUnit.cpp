#include "ui/TrayIconUnit.h"

#include "ui/UtilsGuiUnit.h"
#include "ui/AppImagesUnit.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QStyle>

namespace {

QString FrameName(TTrayAnimation animation, int frame) {
    const char* kind = animation == TTrayAnimation::Message ? "MESSAGE" : "FILE";
    return QStringLiteral("TRAYICON_ANIMATE_%1_0%2").arg(QLatin1String(kind)).arg(frame + 1);
}

} // namespace

TAppTray::TAppTray(QObject* parent) : QObject(parent) {
    FAnimationTimer.setInterval(FrameIntervalMs);
    connect(&FAnimationTimer, &QTimer::timeout, this, [this] {
        FFrame = (FFrame + 1) % FrameCount;
        ShowFrame();
    });
    FClickTimer.setSingleShot(true);
    FClickTimer.setInterval(QApplication::doubleClickInterval());
    connect(&FClickTimer, &QTimer::timeout, this, &TAppTray::Clicked);
    if (!DesktopHasTray()) return;
    FIcon = std::make_unique<QSystemTrayIcon>(TAppImages::Instance().Icon(QStringLiteral("TRAYICON_MAIN")));
    if (FIcon->icon().isNull()) FIcon->setIcon(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
    FIdleIcon = FIcon->icon();
    FIcon->setToolTip(QStringLiteral("Quillmate"));
    connect(FIcon.get(), &QSystemTrayIcon::activated, this, &TAppTray::Activated);
    Utils::SetTrayGeometryProvider([this] { return Geometry(); });
    // While a box asks for a quiet tray its menu cannot be opened either.
    Utils::SetTrayQuietObserver([this](bool quiet) {
        if (FIcon) FIcon->setContextMenu(quiet ? nullptr : FMenu.data());
    });
    FIcon->show();
}

TAppTray::~TAppTray() {
    Utils::SetTrayGeometryProvider({});
    Utils::SetTrayQuietObserver({});
}

bool TAppTray::DesktopHasTray() {
    return QGuiApplication::platformName() != QLatin1String("offscreen") && QSystemTrayIcon::isSystemTrayAvailable();
}

void TAppTray::SetMenu(QMenu* menu) {
    FMenu = menu;
    if (FIcon && !Utils::TrayIsQuiet()) FIcon->setContextMenu(menu);
}

void TAppTray::SetHint(const QString& hint) {
    FHint = hint;
    if (FIcon) FIcon->setToolTip(hint);
}

void TAppTray::StartAnimation(TTrayAnimation animation) {
    if (animation == TTrayAnimation::None) return;
    if (FLoaded != animation) {
        FFrames.clear();
        // A frame that cannot be loaded stays empty; the animation still runs.
        for (int frame = 0; frame < FrameCount; ++frame)
            FFrames << TAppImages::Instance().Icon(FrameName(animation, frame));
        FLoaded = animation;
    }
    if (!FAnimating) FFrame = 0;
    FAnimating = true;
    ShowFrame();
    if (!FAnimationTimer.isActive()) FAnimationTimer.start();
}

void TAppTray::StopAnimation() {
    FAnimating = false;
    FAnimationTimer.stop();
    ShowFrame();
}

QString TAppTray::CurrentIconName() const {
    return FAnimating ? FrameName(FLoaded, FFrame) : QStringLiteral("TRAYICON_MAIN");
}

void TAppTray::ShowFrame() {
    if (!FIcon) return;
    FIcon->setIcon(FAnimating && FFrame < FFrames.size() ? FFrames.at(FFrame) : FIdleIcon);
}

void TAppTray::Activated(QSystemTrayIcon::ActivationReason reason) {
    if (Utils::TrayIsQuiet()) return;
    if (reason == QSystemTrayIcon::DoubleClick) {
        FClickTimer.stop();
        DoubleClick();
    } else if (reason == QSystemTrayIcon::Trigger) {
        // A tray host over D-Bus reports no position and no double clicks:
        // its single activation stands for them.
        if (FIcon && FIcon->geometry().isEmpty()) DoubleClick();
        else FClickTimer.start();
    }
}

void TAppTray::DoubleClick() {
    if (FAnimating)
        emit OpenFirstItemRequested();
    else
        emit DoubleClicked();
}

QRect TAppTray::Geometry() const { return FIcon ? FIcon->geometry() : QRect(); }

TTrayMenu::TTrayMenu(QWidget* parent) : QMenu(parent) {
    // Items are laid out to the right of the strip.
    setContentsMargins(StripWidth, 0, 0, 0);
}

void TTrayMenu::SetStripColors(const QColor& dark, const QColor& light) {
    FDark = dark;
    FLight = light;
    update();
}

void TTrayMenu::paintEvent(QPaintEvent* event) {
    QMenu::paintEvent(event);
    QPainter painter(this);
    // Some styles draw a menu's separators faintly or not at all: the groups
    // of this menu are told apart by a line of their own.
    painter.setPen(SeparatorColor());
    for (QAction* action : actions()) {
        if (!action->isSeparator() || !action->isVisible()) continue;
        const QRect item = actionGeometry(action);
        const int y = item.center().y();
        painter.drawLine(qMax(item.left(), StripWidth) + 4, y, item.right() - 4, y);
    }
    const QRect strip(0, 0, StripWidth, height());
    Utils::FillVerticalGradient(painter, strip, FDark, FLight);
    painter.setPen(FDark.darker(160));
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.translate(strip.left() + StripWidth / 2 + painter.fontMetrics().ascent() / 2 - 1, strip.bottom() - 6);
    painter.rotate(-90);
    painter.drawText(0, 0, QStringLiteral("Quillmate"));
}
