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
        switch (item.Kind) {
        case qiBroadcast: FQueue.AddBroadcast(item.Data); break;
        case qiMessage: FQueue.AddMessage(item.Data); break;
        case qiFiles: FQueue.AddFiles(item.Data, item.SenderFolder, item.ReceivedNames); break;
        case qiFileRequest:
        case qiFileRequestCanceled: FQueue.AddFileRequest(item.Request); break;
        }
        if (settings.PlaySound && FActions.PlaySound) FActions.PlaySound();
        break;
    case TDelivery::ChatWindow: break;
    }
    return delivery;
}

TDelivery TIncomingRouter::MessageArrived(const TBroadcastData& record, TChatKind kind) {
    const bool inChat = FActions.ShowInChatWindow && FActions.ShowInChatWindow(record);
    TQueueItem item;
    item.Kind = qiMessage;
    item.Data = record;
    return Deliver(std::move(item), inChat);
}

TDelivery TIncomingRouter::BroadcastArrived(const TBroadcastData& record) {
    TQueueItem item;
    item.Kind = qiBroadcast;
    item.Data = record;
    return Deliver(std::move(item), false);
}

TDelivery TIncomingRouter::FilesArrived(const TBroadcastData& record, const QString& senderFolder,
                                        const QStringList& names, bool delivered) {
    TQueueItem item;
    item.Kind = qiFiles;
    item.Data = record;
    item.SenderFolder = senderFolder;
    item.ReceivedNames = names;
    return Deliver(std::move(item), delivered);
}

TDelivery TIncomingRouter::OfferArrived(const TOnlineNotify& offer) {
    TQueueItem item;
    item.Kind = qiFileRequest;
    item.Request = offer;
    return Deliver(std::move(item), false);
}

TDelivery TIncomingRouter::OfferCanceled(const TOnlineNotify& notice, bool delivered) {
    if (delivered) return TDelivery::ChatWindow;
    // A pop-up user never has requests waiting in the queue.
    if (!Settings().AutoPopupForm && FQueue.MarkRequestCanceled(notice)) return TDelivery::Queue;
    if (FActions.OpenRequest) FActions.OpenRequest(notice, TRequestDialogMode::Cancelled);
    return TDelivery::PopUp;
}
