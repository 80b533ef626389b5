#include "messaging/ServerQueueUnit.h"

#include "core/UtilsUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

#include <QDir>

TTrayAnimation AnimationOfKind(TQueueItemKind kind) {
    return kind == qiBroadcast || kind == qiMessage ? TTrayAnimation::Message : TTrayAnimation::File;
}

QString TQueueItem::NickName() const {
    return Kind == qiFileRequest || Kind == qiFileRequestCanceled ? Request.NickName : Data.NickName;
}

QString TQueueItem::ComputerName() const {
    return Kind == qiFileRequest || Kind == qiFileRequestCanceled ? Request.ComputerName : Data.ComputerName;
}

namespace {

QString SenderName(const TQueueItem& item) {
    const QString nick = item.NickName();
    return Utils::DisplayName(!nick.isEmpty(), nick, item.ComputerName());
}

} // namespace

QString QueueItemHint(const TQueueItem& item) {
    if (item.Kind == qiFileRequestCanceled)
        return TranslateFormat(QStringLiteral("File Transfer Request From: %s but has already been canceled"),
                               {SenderName(item)});
    return QueueItemTitle(item);
}

QString QueueItemTitle(const TQueueItem& item) {
    const QString name = SenderName(item);
    switch (item.Kind) {
    case qiBroadcast: return TranslateFormat(QStringLiteral("Broadcast Message From: %s"), {name});
    case qiMessage: return TranslateFormat(QStringLiteral("Message From: %s"), {name});
    case qiFiles: return TranslateFormat(QStringLiteral("File(s) From: %s"), {name});
    case qiFileRequest:
    case qiFileRequestCanceled: break;
    }
    return TranslateFormat(QStringLiteral("File Transfer Request From: %s"), {name});
}

QString QueueItemBody(const TQueueItem& item) {
    switch (item.Kind) {
    case qiBroadcast:
    case qiMessage: return TMessageLang::Instance().DecodeFrom(item.Data.LanguageId, item.Data.Summary);
    case qiFiles: return QStringLiteral("<Saved In Folder>") + QDir::toNativeSeparators(item.SenderFolder);
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

void TServerQueue::Append(TQueueItem item) {
    FItems.push_back(std::move(item));
    // Behind others the item waits silently: only the head is presented.
    if (FPresenter && !FPresenter->IsAnimating()) AnnounceHead();
}

void TServerQueue::AddBroadcast(const TBroadcastData& record) {
    TQueueItem item;
    item.Kind = qiBroadcast;
    item.Data = record;
    Append(std::move(item));
}

void TServerQueue::AddMessage(const TBroadcastData& record) {
    TQueueItem item;
    item.Kind = qiMessage;
    item.Data = record;
    Append(std::move(item));
}

void TServerQueue::AddFiles(const TBroadcastData& record, const QString& senderFolder, const QStringList& receivedNames) {
    TQueueItem item;
    item.Kind = qiFiles;
    item.Data = record;
    item.SenderFolder = senderFolder;
    item.ReceivedNames = receivedNames;
    Append(std::move(item));
}

void TServerQueue::AddFileRequest(const TOnlineNotify& request) {
    TQueueItem item;
    item.Kind = qiFileRequest;
    item.Request = request;
    Append(std::move(item));
}

bool TServerQueue::MarkRequestCanceled(const TOnlineNotify& notice) {
    // Newest first: a sender that asked twice withdrew the later request.
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
        if (it->Kind != qiFileRequest || !RequestMatches(it->Request, notice)) continue;
        it->Kind = qiFileRequestCanceled;
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
    FPresenter->StartAnimation(AnimationOfKind(head.Kind));
    FPresenter->SetTrayHint(QueueItemHint(head));
}

QList<TBroadcastData> TServerQueue::TakeMessagesOf(const TRecipient& sender) {
    QList<TBroadcastData> taken;
    // From the last item down to the second: the newest comes first.
    for (int index = Count() - 1; index >= 1; --index) {
        const TQueueItem& item = Item(index);
        if (item.Kind != qiMessage || !SameSender(item.Data, sender)) continue;
        taken << item.Data;
        RemoveItem(index);
    }
    return taken;
}

