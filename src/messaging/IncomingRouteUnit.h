#pragma once

#include "messaging/ChatContentUnit.h"
#include "messaging/ServerQueueUnit.h"
#include "protocol/CommConstsUnit.h"

#include <QObject>
#include <QStringList>
#include <functional>

class TChatService;
class TMessageLang;

// Where an incoming item went.
enum class TDelivery {
    ChatWindow, // the open chat window of its sender, or a live receive dialog
    PopUp,      // its window opened at once (a withdrawal: the dialog that tells so)
    Queue       // waits in the incoming queue (a withdrawal: its queued request marked)
};

// The receive dialog's modes that the routing opens.
enum class TRequestDialogMode { New, Queued, QueuedCancelled, Cancelled, Terminated };

// The delivery rule: a waiting window takes the item; else it opens at once
// with AutoPopupForm; else it is queued.
TDelivery DecideDelivery(bool waitingWindowTookIt, bool autoPopup);

// What the routing does to the outside; the main window fills it, tests record it.
struct TIncomingActions {
    // Appends a message to its sender's open chat window; false when none is open.
    std::function<bool(const TBroadcastData&)> ShowInChatWindow;
    // Opens the window of an item at once (AutoPopupForm).
    std::function<void(const TQueueItem&)> PopUp;
    // A receive dialog for a notice that found neither dialog nor queue item.
    std::function<void(const TOnlineNotify&, TRequestDialogMode)> OpenRequest;
    std::function<void()> PlaySound;
};

struct TIncomingSettings {
    bool AutoPopupForm = false;
    bool PlaySound = true;
};

// The desktop's handling of incoming chat and file items (the node has logged
// them already): hand the item to its waiting window, open it, or queue it.
class TIncomingRouter : public QObject {
    Q_OBJECT
public:
    using TSettingsSource = std::function<TIncomingSettings()>;
    // settings: null reads AutoPopupForm and PlaySound from the settings.
    TIncomingRouter(TServerQueue& queue, TIncomingActions actions, TSettingsSource settings = {},
                    QObject* parent = nullptr);

    // MessageArrived, RefusalArrived and BroadcastArrived of the chat service.
    void Connect(TChatService& chat);

    // A message or a refusal (the chat service already dropped what it answered itself).
    TDelivery MessageArrived(const TBroadcastData& record, TChatKind kind = TChatKind::Message);
    TDelivery BroadcastArrived(const TBroadcastData& record);
    // Files stored automatically; delivered: a live receive dialog got them.
    TDelivery FilesArrived(const TFilesArrival& arrival, bool delivered);
    TDelivery OfferArrived(const TOnlineNotify& offer);
    // delivered: a live receive dialog was told.
    TDelivery OfferCanceled(const TOnlineNotify& notice, bool delivered);

private:
    TDelivery Deliver(TQueueItem item, bool waitingWindowTookIt);
    TIncomingSettings Settings() const;

    TServerQueue& FQueue;
    TIncomingActions FActions;
    TSettingsSource FSettings;
};
