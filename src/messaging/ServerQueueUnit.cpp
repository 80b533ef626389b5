#include "messaging/ServerQueueUnit.h"

#include "core/UtilsUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

#include <QDir>

TTrayAnimation AnimationOfKind(TQueueItemKind kind) {
    return kind == qiBroadcast || kind == qiMessage ? TTrayAnimation::Message : TTrayAnimation::File;
}

TQueueItemKind KindOf(const TQueueItem& item) {
    if (std::holds_alternative<TQueuedMessage>(item)) return qiMessage;
    if (std::holds_alternative<TQueuedBroadcast>(item)) return qiBroadcast;
    if (std::holds_alternative<TQueuedFiles>(item)) return qiFiles;
    return std::get<TQueuedRequest>(item).Withdrawn ? qiFileRequestCanceled : qiFileRequest;
}

namespace {

struct TSender {
    const QString& Nick;
    const QString& Computer;
};

TSender SenderOf(const TQueueItem& item) {
    if (const auto* request = std::get_if<TQueuedRequest>(&item))
        return {request->Request.NickName, request->Request.ComputerName};
    if (const auto* files = std::get_if<TQueuedFiles>(&item))
        return {files->Arrival.Data.NickName, files->Arrival.Data.ComputerName};
    const TBroadcastData& data =
        std::holds_alternative<TQueuedMessage>(item) ? std::get<TQueuedMessage>(item).Data : std::get<TQueuedBroadcast>(item).Data;
    return {data.NickName, data.ComputerName};
}

QString SenderName(const TQueueItem& item) {
    const TSender sender = SenderOf(item);
    return Utils::DisplayName(!sender.Nick.isEmpty(), sender.Nick, sender.Computer);
}

} // namespace

QString SenderNickName(const TQueueItem& item) { return SenderOf(item).Nick; }
QString SenderComputerName(const TQueueItem& item) { return SenderOf(item).Computer; }

QString QueueItemHint(const TQueueItem& item) {
    if (KindOf(item) == qiFileRequestCanceled)
        return TranslateFormat(QStringLiteral("File Transfer Request From: %s but has already been canceled"),
                               {SenderName(item)});
    return QueueItemTitle(item);
}

QString QueueItemTitle(const TQueueItem& item) {
    const QString name = SenderName(item);
    switch (KindOf(item)) {
    case qiBroadcast: return TranslateFormat(QStringLiteral("Broadcast Message From: %s"), {name});
    case qiMessage: return TranslateFormat(QStringLiteral("Message From: %s"), {name});
    case qiFiles: return TranslateFormat(QStringLiteral("File(s) From: %s"), {name});
    case qiFileRequest:
    case qiFileRequestCanceled: break;
    }
    return TranslateFormat(QStringLiteral("File Transfer Request From: %s"), {name});
}

QString QueueItemBody(const TQueueItem& item) {
    switch (KindOf(item)) {
    case qiBroadcast: {
        const TBroadcastData& data = std::get<TQueuedBroadcast>(item).Data;
        return TMessageLang::Instance().DecodeFrom(data.LanguageId, data.Summary);
    }
    case qiMessage: {
        const TBroadcastData& data = std::get<TQueuedMessage>(item).Data;
        return TMessageLang::Instance().DecodeFrom(data.LanguageId, data.Summary);
    }
    case qiFiles:
        return QStringLiteral("<Saved In Folder>") + QDir::toNativeSeparators(std::get<TQueuedFiles>(item).Arrival.SenderFolder);
    case qiFileRequest: return Translate(QStringLiteral("File Transfer Request"));
    case qiFileRequestCanceled: break;
    }
    return Translate(QStringLiteral("File transfer request, but has been canceled."));
}

bool SameSender(const TBroadcastData& record, const TRecipient& recipient) {
    if (!recipient.UserId.isEmpty()) return record.UserId.compare(recipient.UserId, Qt::CaseInsensitive) == 0;
    return record.ComputerName.compare(recipient.ComputerName, Qt::CaseInsensitive) == 0 &&
           record.IPAddress.compare(recipient.IPAddress, Qt::CaseInsensitive) == 0;
}

bool RequestMatches(const TOnlineNotify& queued, const TOnlineNotify& notice) {
    if (queued.SenderHandle != notice.SenderHandle) return false;
    if (!queued.UserId.isEmpty()) return queued.UserId.compare(notice.UserId, Qt::CaseInsensitive) == 0;
    return queued.ComputerName.compare(notice.ComputerName, Qt::CaseInsensitive) == 0 &&
           queued.IPAddress.compare(notice.IPAddress, Qt::CaseInsensitive) == 0;
}

void TServerQueue::Add(TQueueItem item) {
    FItems.push_back(std::move(item));
    // Behind others the item waits silently: only the head is presented.
    if (FPresenter && !FPresenter->IsAnimating()) AnnounceHead();
}

bool TServerQueue::MarkRequestCanceled(const TOnlineNotify& notice) {
    // Newest first: a sender that asked twice withdrew the later request.
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
        auto* queued = std::get_if<TQueuedRequest>(&*it);
        if (!queued || queued->Withdrawn || !RequestMatches(queued->Request, notice)) continue;
        queued->Withdrawn = true;
        if (&*it == &FItems.front() && FPresenter) {
            FPresenter->SetTrayHint(QueueItemHint(*it));
            FPresenter->HeadChanged();
        }
        return true;
    }
    return false;
}

void TServerQueue::RemoveItem(int index) {
    if (index < 0 || index >= Count()) return;
    FItems.erase(FItems.begin() + index);
}

void TServerQueue::RemoveHead(int index) {
    RemoveItem(index);
    if (FItems.empty() && FPresenter) FPresenter->QueueEmptied();
    AnnounceHead();
}

void TServerQueue::AnnounceHead() {
    if (FItems.empty() || !FPresenter) return;
    const TQueueItem& head = FItems.front();
    FPresenter->StartAnimation(AnimationOfKind(KindOf(head)));
    FPresenter->SetTrayHint(QueueItemHint(head));
}

QList<TBroadcastData> TServerQueue::TakeMessagesOf(const TRecipient& sender) {
    QList<TBroadcastData> taken;
    // From the last item down to the second: the newest comes first.
    for (int index = Count() - 1; index >= 1; --index) {
        const auto* message = std::get_if<TQueuedMessage>(&Item(index));
        if (!message || !SameSender(message->Data, sender)) continue;
        taken << message->Data;
        RemoveItem(index);
    }
    return taken;
}

