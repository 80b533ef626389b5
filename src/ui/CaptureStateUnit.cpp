#include "ui/CaptureStateUnit.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTipOffset = 15;

QRect Spanned(const QPoint& a, const QPoint& b) {
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QSize(std::abs(a.x() - b.x()), std::abs(a.y() - b.y())));
}

// A point is inside when left <= x < left + width (the spanned rectangle's
// far edges belong to the outside).
bool Inside(const QRect& r, const QPoint& p) {
    return p.x() >= r.x() && p.x() < r.x() + r.width() && p.y() >= r.y() && p.y() < r.y() + r.height();
}

} // namespace

void TCaptureState::LeftDown(const QPoint& point) {
    FTipVisible = false;
    FAnchor = point;
    if (!FSelected) {
        FSelecting = true;
        FSelection = QRect(point, QSize(0, 0));
    }
}

bool TCaptureState::MouseMove(const QPoint& point, bool leftHeld) {
    if (FSelecting) {
        if (point == FAnchor) return false;
        FSelection = Spanned(FAnchor, point);
        return true;
    }
    if (!FSelected) return false;
    if (!leftHeld) {
        FTipVisible = true;
        return false;
    }
    if (!Inside(FSelection, FAnchor) || point == FAnchor) return false;
    // The rectangle keeps its size and stops at every edge of the screen.
    const int left = std::clamp(FSelection.x() + point.x() - FAnchor.x(), FScreen.x(),
                                FScreen.x() + FScreen.width() - FSelection.width());
    const int top = std::clamp(FSelection.y() + point.y() - FAnchor.y(), FScreen.y(),
                               FScreen.y() + FScreen.height() - FSelection.height());
    const bool moved = left != FSelection.x() || top != FSelection.y();
    FSelection.moveTo(left, top);
    FAnchor = point;
    return moved;
}

void TCaptureState::LeftUp(const QPoint& point) {
    if (FSelecting) {
        FSelecting = false;
        if (point != FAnchor) FSelection = Spanned(FAnchor, point);
        FSelected = point != FAnchor && !FSelection.isEmpty();
        if (!FSelected) FSelection = QRect();
    }
    FTipVisible = true;
}

TCaptureCancel TCaptureState::Cancel() {
    FSelecting = false;
    FTipVisible = true;
    if (FSelected) {
        FSelected = false;
        FSelection = QRect();
        return TCaptureCancel::Reselect;
    }
    FSelection = QRect();
    return TCaptureCancel::End;
}

TCaptureTip TCaptureState::Tip(const QPoint& mouse) const {
    if (!FSelected) return TCaptureTip::Select;
    return Inside(FSelection, mouse) ? TCaptureTip::Inside : TCaptureTip::Outside;
}

TCaptureCursor TCaptureState::Cursor(const QPoint& mouse) const {
    if (!FSelected) return TCaptureCursor::Cross;
    return Inside(FSelection, mouse) ? TCaptureCursor::Move : TCaptureCursor::Arrow;
}

QPoint TCaptureState::TipPosition(const QPoint& mouse, const QSize& tip, const QRect& screen) {
    const bool pastRight = mouse.x() + kTipOffset + tip.width() > screen.x() + screen.width();
    const bool pastBottom = mouse.y() + kTipOffset + tip.height() > screen.y() + screen.height();
    const int x = pastRight ? mouse.x() - kTipOffset - tip.width() : mouse.x() + kTipOffset;
    const int y = pastBottom ? mouse.y() - kTipOffset - tip.height() : mouse.y() + kTipOffset;
    // A tip wider than the room on either side still starts on the screen.
    return QPoint(std::max(x, screen.x()), std::max(y, screen.y()));
}

QImage TCaptureState::Crop(const QImage& snapshot, const QRect& selection) {
    const qreal ratio = snapshot.devicePixelRatio();
    const QRect pixels(QPoint(qRound(selection.x() * ratio), qRound(selection.y() * ratio)),
                       QSize(qRound(selection.width() * ratio), qRound(selection.height() * ratio)));
    QImage part = snapshot.copy(pixels);
    part.setDevicePixelRatio(1.0);
    return part;
}

QImage TCaptureState::Darken(const QImage& snapshot) {
    QImage dark = snapshot.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < dark.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(dark.scanLine(y));
        for (int x = 0; x < dark.width(); ++x) line[x] &= 0xFFCCCCCCu;
    }
    return dark;
}
