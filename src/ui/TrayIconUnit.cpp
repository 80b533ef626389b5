#include "ui/TrayIconUnit.h"

#include "ui/UtilsGuiUnit.h"
#include "ui/AppImagesUnit.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QStyle>

TAppTray::TAppTray(QObject* parent) : QObject(parent) {
    if (!DesktopHasTray()) return;
    FIcon = std::make_unique<QSystemTrayIcon>(TAppImages::Instance().Icon(QStringLiteral("TRAYICON_MAIN")));
    if (FIcon->icon().isNull()) FIcon->setIcon(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
    FIcon->setToolTip(QStringLiteral("Quillmate"));
    connect(FIcon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (Utils::TrayIsQuiet()) return;
        // A tray host over D-Bus reports no position and no double clicks:
        // its single activation stands for them.
        if (reason == QSystemTrayIcon::DoubleClick ||
            (reason == QSystemTrayIcon::Trigger && FIcon->geometry().isEmpty()))
            emit DoubleClicked();
    });
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
    if (FIcon) FIcon->setToolTip(hint);
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
