#pragma once

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <memory>

class QMenu;

// The notification-area icon behind one class. Where the desktop has no tray,
// Available() is false and the main window stays on screen instead.
class TAppTray : public QObject {
    Q_OBJECT
public:
    explicit TAppTray(QObject* parent = nullptr);
    ~TAppTray() override;

    static bool DesktopHasTray();
    bool Available() const { return FIcon != nullptr; }
    void SetMenu(QMenu* menu);
    void SetHint(const QString& hint);
    QString Hint() const { return FIcon ? FIcon->toolTip() : QString(); }
    QRect Geometry() const;

signals:
    void DoubleClicked();

private:
    std::unique_ptr<QSystemTrayIcon> FIcon;
};
