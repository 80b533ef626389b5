#pragma once

#include <QObject>
#include <QPointer>
#include <QColor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <memory>


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
    QRect Geometry() const;

signals:
    void DoubleClicked();

private:
    std::unique_ptr<QSystemTrayIcon> FIcon;
    QPointer<QMenu> FMenu;
};

// The tray icon's menu: a 20-pixel strip down its left edge in the colour
// scheme's gradient (dark to light, whatever "Invert Gradient" says), with
// the program's name written upwards at its foot.
class TTrayMenu : public QMenu {
    Q_OBJECT
public:
    static constexpr int StripWidth = 20;

    explicit TTrayMenu(QWidget* parent = nullptr);
    void SetStripColors(const QColor& dark, const QColor& light);
    QColor StripDark() const { return FDark; }
    QColor StripLight() const { return FLight; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor FDark{220, 220, 220};
    QColor FLight{245, 245, 245};
};
