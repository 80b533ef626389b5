#pragma once

#include "messaging/ServerQueueUnit.h"

#include <QObject>
#include <QPointer>
#include <QColor>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
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
    QString Hint() const { return FHint; }
    QRect Geometry() const;

    // While items wait: the four frames of the kind, one every 300 ms.
    static constexpr int FrameIntervalMs = 300;
    static constexpr int FrameCount = 4;
    // Loads the frames of that kind unless they are loaded, and animates.
    void StartAnimation(TTrayAnimation animation);
    // The idle icon again.
    void StopAnimation();
    bool IsAnimating() const { return FAnimating; }
    TTrayAnimation LoadedAnimation() const { return FLoaded; }
    // Index of the frame shown, -1 for the idle icon.
    int CurrentFrame() const { return FAnimating ? FFrame : -1; }
    QString CurrentIconName() const;
    // The frame timer (tests drive it).
    QTimer* AnimationTimer() { return &FAnimationTimer; }
    int FrameInterval() const { return FAnimationTimer.interval(); }
    // A double click on the icon: the first waiting item while animating,
    // else the main window's toggle.
    void DoubleClick();
    // What the icon reports. A single click waits out the double-click
    // interval, so that the first click of a double click does nothing of its own.
    void Activated(QSystemTrayIcon::ActivationReason reason);
    QTimer* ClickTimer() { return &FClickTimer; }

signals:
    void DoubleClicked();
    // A single left click: the main window is shown or hidden.
    void Clicked();
    void OpenFirstItemRequested();

private:
    void ShowFrame();

    std::unique_ptr<QSystemTrayIcon> FIcon;
    QPointer<QMenu> FMenu;
    QString FHint = QStringLiteral("Quillmate");
    QIcon FIdleIcon;
    QList<QIcon> FFrames;
    TTrayAnimation FLoaded = TTrayAnimation::None;
    bool FAnimating = false;
    int FFrame = 0;
    QTimer FAnimationTimer;
    QTimer FClickTimer;
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
    // The line between groups of items.
    QColor SeparatorColor() const { return palette().color(QPalette::Mid); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor FDark{220, 220, 220};
    QColor FLight{245, 245, 245};
};
