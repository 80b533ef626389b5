#include "messaging/widgets/QueueControllerUnit.h"

#include "core/ParamsUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"
#include "ui/TrayIconUnit.h"

TQueueController::TQueueController(TServerQueue& queue, TAppTray& tray, TTrayNotification& notifications,
                                   TQueueOpeners openers, TFlag useNotificationWindow, TText idleHint, QObject* parent)
    : QObject(parent), FQueue(queue), FTray(tray), FNotifications(notifications),
      FUseNotificationWindow(std::move(useNotificationWindow)), FIdleHint(std::move(idleHint)),
      FOpeners(std::move(openers)) {
    FQueue.SetPresenter(this);
    connect(&FTray, &TAppTray::OpenFirstItemRequested, this, &TQueueController::OpenFirstItem);
    connect(&FNotifications, &TTrayNotification::QueueViewClicked, this, &TQueueController::OpenFirstItem);
    connect(&FNotifications, &TTrayNotification::QueueIgnoreClicked, this, &TQueueController::IgnoreFirstItem);
    connect(&FNotifications, &TTrayNotification::QueueCloseClicked, &FNotifications,
            &TTrayNotification::SuppressQueueNotification);
}

TQueueController::~TQueueController() { FQueue.SetPresenter(nullptr); }

bool TQueueController::IsAnimating() const { return FTray.IsAnimating(); }

void TQueueController::StartAnimation(TTrayAnimation animation) {
    FTray.StartAnimation(animation);
    const bool allowed = FUseNotificationWindow ? FUseNotificationWindow() : Params()[bpUseNotificationWindow];
    if (allowed && FQueue.Head()) FNotifications.ShowQueueNotification(*FQueue.Head());
}

void TQueueController::SetTrayHint(const QString& hint) { FTray.SetHint(hint); }

void TQueueController::HeadChanged() {
    if (FQueue.Head()) FNotifications.RefreshQueueNotification(*FQueue.Head());
}

void TQueueController::QueueEmptied() { FNotifications.ClearSuppressed(); }

void TQueueController::StopPresenting() {
    FTray.StopAnimation();
    if (FIdleHint) FTray.SetHint(FIdleHint());
    FNotifications.CloseQueueNotification();
}

void TQueueController::OpenFirstItem() {
    if (!FTray.IsAnimating()) return;
    StopPresenting();
    const TQueueItem* head = FQueue.Head();
    if (!head) return;
    // The window works on a copy: the item goes away right after.
    const TQueueItem item = *head;
    ShowItem(item, true);
    FQueue.RemoveHead(0);
}

void TQueueController::IgnoreFirstItem() {
    StopPresenting();
    if (FQueue.IsEmpty()) return;
    FQueue.RemoveHead(0);
}

void TQueueController::ShowItem(const TQueueItem& item, bool fromQueue) {
    if (const auto* broadcast = std::get_if<TQueuedBroadcast>(&item)) {
        if (FOpeners.OpenBroadcast) FOpeners.OpenBroadcast(broadcast->Data);
    } else if (const auto* message = std::get_if<TQueuedMessage>(&item)) {
        // From the queue the sender's chat may have opened meanwhile.
        if (fromQueue && FOpeners.ShowInChatWindow && FOpeners.ShowInChatWindow(message->Data)) return;
        if (FOpeners.OpenMessage) FOpeners.OpenMessage(message->Data);
    } else if (const auto* files = std::get_if<TQueuedFiles>(&item)) {
        if (FOpeners.OpenFiles) FOpeners.OpenFiles(files->Arrival);
    } else if (const auto* request = std::get_if<TQueuedRequest>(&item); request && FOpeners.OpenRequest) {
        const TRequestDialogMode mode = request->Withdrawn ? TRequestDialogMode::QueuedCancelled
                                        : fromQueue        ? TRequestDialogMode::Queued
                                                           : TRequestDialogMode::New;
        FOpeners.OpenRequest(request->Request, mode);
    }
}
