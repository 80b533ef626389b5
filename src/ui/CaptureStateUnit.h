#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

// What the capture window's tip says.
enum class TCaptureTip { Select, Inside, Outside };
// The mouse cursor over the capture window.
enum class TCaptureCursor { Cross, Move, Arrow };
// What right click or Esc did.
enum class TCaptureCancel { Reselect, End };

// The states of a screen capture, apart from its window: nothing selected ->
// selecting (left held) -> selected (released on a non-empty rectangle) <->
// moving (left held inside it). Points and the screen are in the window's
// coordinates; a rectangle's right and bottom edges lie outside it (left +
// width), as the spanned points are its corners.
class TCaptureState {
public:
    explicit TCaptureState(const QRect& screen) : FScreen(screen) {}

    void LeftDown(const QPoint& point);
    // Returns true when the picture changed (the rectangle grew or moved).
    bool MouseMove(const QPoint& point, bool leftHeld);
    void LeftUp(const QPoint& point);
    // Right button up or Esc.
    TCaptureCancel Cancel();

    bool Selecting() const { return FSelecting; }
    bool Selected() const { return FSelected; }
    // Double click or Enter capture only with a selection.
    bool CanCapture() const { return FSelected; }
    const QRect& Selection() const { return FSelection; }
    const QRect& Screen() const { return FScreen; }
    bool TipVisible() const { return FTipVisible; }

    TCaptureTip Tip(const QPoint& mouse) const;
    TCaptureCursor Cursor(const QPoint& mouse) const;

    // Where a tip of size goes for the mouse: 15 pixels right of and below
    // it, on the other side where it would leave the screen, never starting
    // left of or above the screen.
    static QPoint TipPosition(const QPoint& mouse, const QSize& tip, const QRect& screen);
    // The selected part of the snapshot, in the snapshot's own pixels (its
    // device pixel ratio scales the logical selection).
    static QImage Crop(const QImage& snapshot, const QRect& selection);
    // The frozen screen as shown around the selection: every channel ANDed
    // with 204, as light grey over the picture.
    static QImage Darken(const QImage& snapshot);

private:
    QRect FScreen;
    QRect FSelection;
    QPoint FAnchor;
    bool FSelecting = false;
    bool FSelected = false;
    bool FTipVisible = true;
};
