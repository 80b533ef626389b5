#pragma once

#include "messaging/ServerQueueUnit.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QRect>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QVariantAnimation;
class QTimer;
class TQueueNotificationWindow;

// The screen edge the task bar sits on (the values of the Windows shell's ABE_*).
enum TTaskbarEdge { teLeft = 0, teTop = 1, teRight = 2, teBottom = 3 };

struct TTaskbarInfo {
    TTaskbarEdge Edge = teBottom;
    QRect Rect;           // in screen coordinates; empty when there is none
    bool Visible = false; // reserves its strip of the screen (not hidden automatically)
};

// The task bar as the desktop reports it: the strip of the full screen that
// the available area leaves out. With several strips the thickest wins (on a
// tie the first of bottom, right, left, top); with none, an invisible task
// bar at the bottom.
TTaskbarInfo TaskbarInfoFromGeometry(const QRect& full, const QRect& available);

// Where a notification of the given size appears on the screen `full` next to
// the task bar, and which way it slides in (the unit step of the movement).
QPoint NotificationOrigin(const TTaskbarInfo& taskbar, const QRect& full, const QSize& window);
QPoint SlideInStep(TTaskbarEdge edge);
// One pixel away from the task bar: up, except down for a task bar at the top.
QPoint AwayFromTaskbarStep(TTaskbarEdge edge);

struct TNotificationTimings {
    int SlideMs = 300;
    int LifetimeMs = 5000;
};

// A short text notification: a borderless top-most window that never takes
// the focus, with a title strip, one centred line and a close button. It
// slides in towards its place and, when its lifetime ends, out again; then
// (or at once on the close button) it reports Finished.
class TNotificationWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int TextWidth = 150;
    static constexpr int TextHeight = 40;
    static constexpr int TitleHeight = 20;
    static constexpr int CloseButtonSize = 18;
    static constexpr int BodyInset = 8;

    TNotificationWindow(const QString& text, TTaskbarEdge edge, TNotificationTimings timings);
    ~TNotificationWindow() override;

    QString Title() const { return FTitle; }
    QString Text() const { return FText; }
    QRect CloseButtonRect() const;
    void SetColors(const QColor& body, const QColor& title);

    // Shows the window where it is without activating it and slides it in;
    // the lifetime starts at once.
    void SlideIn();
    // Slides out the way it came and then reports Finished.
    void SlideOut();
    bool IsSlidingOut() const { return FSlidingOut; }

signals:
    void Finished(TNotificationWindow* window);

protected:
    // Another variant: its own title and size; expires: whether its lifetime
    // ends it (else it stays until it is closed).
    TNotificationWindow(const QString& title, const QString& text, const QSize& size, TTaskbarEdge edge,
                        TNotificationTimings timings, bool expires);
    void SetTitle(const QString& title);
    void SetText(const QString& text);
    // The area below the title strip, inset left and right.
    QRect BodyRect() const;
    virtual void PaintBody(QPainter& painter, const QRect& body);
    // The close button was clicked: the text window finishes at once.
    virtual void CloseButtonClicked();
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetRevealed(qreal fraction);
    QPoint HiddenOffset() const;
    void Finish();

    QString FTitle;
    QString FText;
    TTaskbarEdge FEdge;
    TNotificationTimings FTimings;
    QColor FBodyColor;
    QColor FTitleColor;
    qreal FRevealed = 1;
    bool FExpires = true;
    bool FSlidingOut = false;
    bool FFinished = false;
    bool FClosePressed = false;
    QVariantAnimation* FSlide = nullptr;
    QTimer* FLifetime = nullptr;
};

// The notification windows of the process: the short texts ("%s Online",
// "%s Offline") that stack above the task bar and go away by themselves.
// The main window owns one and feeds it TPresenceService::NotificationRequested.
class TTrayNotification : public QObject {
    Q_OBJECT
public:
    // The full and the available geometry of the screen the windows go to.
    struct TScreenGeometry {
        QRect Full;
        QRect Available;
    };
    using TScreenSource = std::function<TScreenGeometry()>;

    // screen: null means the primary screen of the running desktop.
    explicit TTrayNotification(TNotificationTimings timings = {}, TScreenSource screen = {},
                               QObject* parent = nullptr);
    ~TTrayNotification() override;

    // Moves the open text windows away from the task bar by the new window's
    // height and slides a new one in next to the task bar (above the queue
    // notification when one is open).
    void ShowTextNotification(const QString& text);
    // Closes the window and forgets it; done by itself when a window finishes.
    void ReleaseTextNotification(TNotificationWindow* window);
    // Moves every open text window away from the task bar by pixels (the
    // queue notification makes room for itself this way).
    void MoveTextWindowsAway(int pixels);
    // The height of the open queue notification, 0 when none: new text
    // windows start that far from the task bar.
    void SetQueueOffset(int height) { FQueueOffset = height; }

    QList<TNotificationWindow*> TextWindows() const;

    // The notification of the queue's head. Shown only when none is open and
    // the user has not closed one since the queue was last empty; the open
    // text windows make room for it.
    void ShowQueueNotification(const TQueueItem& head);
    void CloseQueueNotification();
    // The close button: closed, and no other until the queue was empty.
    void SuppressQueueNotification();
    void ClearSuppressed() { FSuppressed = false; }
    bool Suppressed() const { return FSuppressed; }
    bool QueueNotificationShown() const { return FQueueWindow != nullptr; }
    TQueueNotificationWindow* QueueWindow() const { return FQueueWindow; }
    // The head changed in place: the open notification shows its new body.
    void RefreshQueueNotification(const TQueueItem& head);

    QColor BodyColor() const { return FBodyColor; }
    QColor TitleColor() const { return FTitleColor; }
    void SetBodyColor(const QColor& color);
    void SetTitleColor(const QColor& color);

signals:
    // The queue notification's close button, "Ignore" and "View Detail".
    void QueueCloseClicked();
    void QueueIgnoreClicked();
    void QueueViewClicked();

private:
    TScreenGeometry Screen() const;

    TNotificationTimings FTimings;
    TScreenSource FScreen;
    std::vector<std::unique_ptr<TNotificationWindow>> FTextWindows; // oldest first
    int FQueueOffset = 0;
    TQueueNotificationWindow* FQueueWindow = nullptr; // owned; deleted later when closed
    bool FSuppressed = false;
    QColor FBodyColor{220, 220, 220};
    QColor FTitleColor{245, 245, 245};
};
