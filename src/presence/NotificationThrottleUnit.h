#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// Keeps a burst of "online" notices from flooding the screen: the first
// PerWindow notices of a window pass at once, the rest of that window are
// counted and reported once when it closes ("%d users online").
class TNotificationThrottle : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultPerWindow = 5;
    static constexpr int DefaultWindowMs = 1000;

    explicit TNotificationThrottle(int perWindow = DefaultPerWindow, int windowMs = DefaultWindowMs,
                                   QObject* parent = nullptr);

    void Offer(const QString& text);
    // Closes the window now: reports what it held back (also at shutdown).
    void Flush();
    int HeldBack() const { return FHeldBack; }

signals:
    void Show(const QString& text);
    // count notices held back in the window that just closed.
    void Summary(int count);

private:
    const int FPerWindow;
    QTimer FWindow;
    int FShown = 0;
    int FHeldBack = 0;
};
