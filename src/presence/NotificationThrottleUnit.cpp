#include "presence/NotificationThrottleUnit.h"

TNotificationThrottle::TNotificationThrottle(int perWindow, int windowMs, QObject* parent)
    : QObject(parent), FPerWindow(qMax(1, perWindow)) {
    FWindow.setSingleShot(true);
    FWindow.setInterval(qMax(1, windowMs));
    connect(&FWindow, &QTimer::timeout, this, &TNotificationThrottle::Flush);
}

void TNotificationThrottle::Offer(const QString& text) {
    if (!FWindow.isActive()) FWindow.start();
    if (FShown < FPerWindow) {
        ++FShown;
        emit Show(text);
        return;
    }
    ++FHeldBack;
}

void TNotificationThrottle::Flush() {
    FWindow.stop();
    const int heldBack = FHeldBack;
    FShown = 0;
    FHeldBack = 0;
    if (heldBack > 0) emit Summary(heldBack);
}
