#include "messaging/IncomingRouteUnit.h"

#include "core/ParamsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "text/MsgLangUnit.h"

TDelivery DecideDelivery(bool waitingWindowTookIt, bool autoPopup) {
    if (waitingWindowTookIt) return TDelivery::ChatWindow;
    return autoPopup ? TDelivery::PopUp : TDelivery::Queue;
}

TIncomingRouter::TIncomingRouter(TServerQueue& queue, TIncomingActions actions, TSettingsSource settings,
                                 QObject* parent)
    : QObject(parent), FQueue(queue), FActions(std::move(actions)), FSettings(std::move(settings)) {}

void TIncomingRouter::Connect(TChatService& chat) {
    connect(&chat, &TChatService::MessageArrived, this,
            [this](const TBroadcastData& record) { MessageArrived(record, TChatKind::Message); });
    connect(&chat, &TChatService::RefusalArrived, this,
            [this](const TBroadcastData& record) { MessageArrived(record, TChatKind::Refusal); });
    connect(&chat, &TChatService::BroadcastArrived, this, &TIncomingRouter::BroadcastArrived);
}

TIncomingSettings TIncomingRouter::Settings() const {
    if (FSettings) return FSettings();
    return {Params()[bpAutoPopupForm], Params()[bpPlaySound]};
}

TDelivery TIncomingRouter::Deliver(TQueueItem item, bool waitingWindowTookIt) {
    const TIncomingSettings settings = Settings();
    const TDelivery delivery = DecideDelivery(waitingWindowTookIt, settings.AutoPopupForm);
    switch (delivery) {
    case TDelivery::PopUp:
        if (FActions.PopUp) FActions.PopUp(item);
        break;
    case TDelivery::Queue:
        // Left out of a full queue: a flood makes no sound either.
        if (FQueue.Add(std::move(item)) && settings.PlaySound && FActions.PlaySound) FActions.PlaySound();
        break;
    case TDelivery::ChatWindow: break;
    }
    return delivery;
}

TDelivery TIncomingRouter::MessageArrived(const TBroadcastData& record, TChatKind kind) {
    const bool inChat = FActions.ShowInChatWindow && FActions.ShowInChatWindow(record);
    return Deliver(TQueuedMessage{record}, inChat);
}

TDelivery TIncomingRouter::BroadcastArrived(const TBroadcastData& record) {
    return Deliver(TQueuedBroadcast{record}, false);
}

TDelivery TIncomingRouter::FilesArrived(const TFilesArrival& arrival, bool delivered) {
    return Deliver(TQueuedFiles{arrival}, delivered);
}

TDelivery TIncomingRouter::OfferArrived(const TOnlineNotify& offer) {
    return Deliver(TQueuedRequest{offer}, false);
}

TDelivery TIncomingRouter::OfferCanceled(const TOnlineNotify& notice, bool delivered) {
    if (delivered) return TDelivery::ChatWindow;
    // A pop-up user never has requests waiting in the queue.
    if (!Settings().AutoPopupForm) {
        if (FQueue.MarkRequestCanceled(notice)) return TDelivery::Queue;
        // The request may have been left out of a full queue: its withdrawal opens nothing either.
        if (FQueue.NotQueued(SenderKey(TQueuedRequest{notice})) > 0) return TDelivery::Queue;
    }
    if (FActions.OpenRequest) FActions.OpenRequest(notice, TRequestDialogMode::Cancelled);
    return TDelivery::PopUp;
}
