#pragma once

#include "messaging/IncomingRouteUnit.h"
#include "messaging/ServerQueueUnit.h"

#include <QObject>
#include <functional>

class TAppTray;
class TTrayNotification;

// How the windows of incoming items open; the desktop fills them with its
// message and file windows' openers. A missing opener opens nothing.
struct TQueueOpeners {
    std::function<void(const TBroadcastData&)> OpenBroadcast; // read window of a broadcast
    std::function<void(const TBroadcastData&)> OpenMessage;   // read window of a message
    // The sender's open chat window takes the message; false when none is open.
    std::function<bool(const TBroadcastData&)> ShowInChatWindow;
    // The received-files window in receive mode.
    std::function<void(const TFilesArrival&)> OpenFiles;
    // The receive dialog of a request, on a copy of it.
    std::function<void(const TOnlineNotify&, TRequestDialogMode)> OpenRequest;
};

// The tray controller's part of the queue: presents the head (animation,
// hint, notification), opens or discards it on a double click or from the
// notification's links, and opens the windows of items that pop up at once.
class TQueueController : public QObject, public TQueuePresenter {
    Q_OBJECT
public:
    using TFlag = std::function<bool()>;
    using TText = std::function<QString()>;

    // openers: how items open. useNotificationWindow: null reads the setting.
    // idleHint: the long state caption the hint returns to (null keeps the hint).
    TQueueController(TServerQueue& queue, TAppTray& tray, TTrayNotification& notifications, TQueueOpeners openers,
                     TFlag useNotificationWindow = {}, TText idleHint = {}, QObject* parent = nullptr);
    ~TQueueController() override;

    // Tests replace an opener here to see what opens.
    TQueueOpeners& Openers() { return FOpeners; }

    // TQueuePresenter
    bool IsAnimating() const override;
    void StartAnimation(TTrayAnimation animation) override;
    void SetTrayHint(const QString& hint) override;
    void HeadChanged() override;
    void QueueEmptied() override;

    // Double click on the animated icon, "View Detail": opens the head.
    void OpenFirstItem();
    // "Ignore": discards the head unopened.
    void IgnoreFirstItem();
    // Opens an item's window: from the queue (requests in mode Queued) or at
    // once on arrival (requests in mode New).
    void ShowItem(const TQueueItem& item, bool fromQueue);

private:
    void StopPresenting();

    TServerQueue& FQueue;
    TAppTray& FTray;
    TTrayNotification& FNotifications;
    TFlag FUseNotificationWindow;
    TText FIdleHint;
    TQueueOpeners FOpeners;
};
