#pragma once

#include "ui/CaptureStateUnit.h"

#include <QImage>
#include <QLabel>
#include <QWidget>

// The tip that follows the mouse over the capture window: tip background and
// font, a light grey frame, never in the mouse's way. A child of the capture
// window, so it stands where it is put on every window system.
class THint : public QLabel {
    Q_OBJECT
public:
    explicit THint(QWidget* parent);
    // Sized to the text plus 10 by 6 pixels.
    void SetTip(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The screen capture: the frozen screen darkened, a rectangle dragged out,
// moved and confirmed. Covers the screen it was given; ends itself (deleted
// later) after Finished.
class TCaptureWindow : public QWidget {
    Q_OBJECT
public:
    // snapshot: the screen as it was (its device pixel ratio set); screen:
    // that screen's geometry on the desktop.
    TCaptureWindow(const QImage& snapshot, const QRect& screen, QWidget* owner = nullptr);

    // Shown full screen on the screen given, in front, with a cross cursor.
    void Start();

    const TCaptureState& State() const { return FState; }
    THint* Hint() const { return FHint; }
    // The texts of each tip, joined by line breaks.
    static QString TipText(TCaptureTip tip);

signals:
    // The capture ended: with the selected part of the snapshot (also on the
    // clipboard), or with a null image when the user left without one.
    void Finished(const QImage& captured);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowTip(const QPoint& mouse);
    void UpdateCursor(const QPoint& mouse);
    void Cancel(const QPoint& mouse);
    void Capture();
    void End(const QImage& captured);

    QImage FSnapshot;
    QImage FDark;
    QRect FScreenGeometry;
    TCaptureState FState;
    THint* FHint;
    bool FEnded = false;
};
