#include "ui/TrayIconUnit.h"

#include "core/UtilsGuiUnit.h"
#include "ui/AppImagesUnit.h"

#include <QApplication>
#include <QMenu>
#include <QStyle>

TAppTray::TAppTray(QObject* parent) : QObject(parent) {
    if (!DesktopHasTray()) return;
    FIcon = std::make_unique<QSystemTrayIcon>(TAppImages::Instance().Icon(QStringLiteral("TRAYICON_MAIN")));
    if (FIcon->icon().isNull()) FIcon->setIcon(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
    FIcon->setToolTip(QStringLiteral("Quillmate"));
    connect(FIcon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (Utils::TrayIsQuiet()) return;
        if (reason == QSystemTrayIcon::DoubleClick) emit DoubleClicked();
    });
    Utils::SetTrayGeometryProvider([this] { return Geometry(); });
    FIcon->show();
}

TAppTray::~TAppTray() { Utils::SetTrayGeometryProvider({}); }

bool TAppTray::DesktopHasTray() {
    return QGuiApplication::platformName() != QLatin1String("offscreen") && QSystemTrayIcon::isSystemTrayAvailable();
}

void TAppTray::SetMenu(QMenu* menu) {
    if (FIcon) FIcon->setContextMenu(menu);
}

void TAppTray::SetHint(const QString& hint) {
    if (FIcon) FIcon->setToolTip(hint);
}

QRect TAppTray::Geometry() const { return FIcon ? FIcon->geometry() : QRect(); }
