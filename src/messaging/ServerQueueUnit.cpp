#include "messaging/ServerQueueUnit.h"

#include "core/UtilsUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

#include <QDir>
#include <QLocale>
#include <algorithm>

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
    const QString& Id;
    const QString& Address;
};

TSender SenderOf(const TQueueItem& item) {
    if (const auto* request = std::get_if<TQueuedRequest>(&item)) {
        const TOnlineNotify& r = request->Request;
        return {r.NickName, r.ComputerName, r.UserId, r.IPAddress};
    }
    const TBroadcastData& data = std::holds_alternative<TQueuedFiles>(item) ? std::get<TQueuedFiles>(item).Arrival.Data
                                 : std::holds_alternative<TQueuedMessage>(item) ? std::get<TQueuedMessage>(item).Data
                                                                                : std::get<TQueuedBroadcast>(item).Data;
    return {data.NickName, data.ComputerName, data.UserId, data.IPAddress};
}

QString SenderName(const TQueueItem& item) {
    const TSender sender = SenderOf(item);
    return Utils::DisplayName(!sender.Nick.isEmpty(), sender.Nick, sender.Computer);
}

} // namespace

QString SenderNickName(const TQueueItem& item) { return SenderOf(item).Nick; }
QString SenderComputerName(const TQueueItem& item) { return SenderOf(item).Computer; }

QString SenderKey(const TQueueItem& item) {
    const TSender sender = SenderOf(item);
    if (!sender.Id.isEmpty()) return QStringLiteral("id\t") + sender.Id.toLower();
    return QStringLiteral("pc\t") + sender.Computer.toLower() + QLatin1Char('\t') + sender.Address.toLower();
}

QString OfferedFilesLine(const TOfferedFiles& offered, const std::optional<QString>& shownName) {
    if (offered.Files <= 0) return {};
    const qint64 kb = offered.Bytes < 1024 ? 1 : offered.Bytes / 1024;
    const QString size = TranslateFormat(QStringLiteral("%s KB"), {QLocale().toString(kb)});
    if (offered.Names.isEmpty()) return TranslateFormat(QStringLiteral("%d file(s) (%s)"), {qint64(offered.Files), size});
    const QString name = shownName.value_or(offered.Names.first());
    if (offered.Files == 1) return TranslateFormat(QStringLiteral("%s (%s)"), {name, size});
    return TranslateFormat(QStringLiteral("%s +%d more (%s)"), {name, qint64(offered.Files - 1), size});
}

const TOfferedFiles* OfferedFilesOf(const TQueueItem& item) {
    const auto* request = std::get_if<TQueuedRequest>(&item);
    if (!request || request->Withdrawn || request->Request.Offered.Files <= 0) return nullptr;
    return &request->Request.Offered;
}

QString QueueItemHint(const TQueueItem& item) {
    if (KindOf(item) == qiFileRequestCanceled)
        return TranslateFormat(QStringLiteral("File Transfer Request From: %s but has already been canceled"),
                               {SenderName(item)});
    if (const TOfferedFiles* offered = OfferedFilesOf(item))
        return QueueItemTitle(item) + QLatin1Char('\n') + OfferedFilesLine(*offered);
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
        return TMessageLang::Instance().ConvertIncomingText(data.LanguageId, data.Summary);
    }
    case qiMessage: {
        const TBroadcastData& data = std::get<TQueuedMessage>(item).Data;
        return TMessageLang::Instance().ConvertIncomingText(data.LanguageId, data.Summary);
    }
    case qiFiles:
        return QStringLiteral("<Saved In Folder>") + QDir::toNativeSeparators(std::get<TQueuedFiles>(item).Arrival.SenderFolder);
    case qiFileRequest:
        if (const TOfferedFiles* offered = OfferedFilesOf(item))
            return Translate(QStringLiteral("File Transfer Request")) + QLatin1Char('\n') + OfferedFilesLine(*offered);
        return Translate(QStringLiteral("File Transfer Request"));
    case qiFileRequestCanceled: break;
    }
    return Translate(QStringLiteral("File transfer request, but has been canceled."));
}

bool SameSender(const TBroadcastData& record, const TRecipient& recipient) {
    // A refusal carries no unique id: its sender is known by computer and address.
    if (!recipient.UserId.isEmpty() && !record.UserId.isEmpty()) return record.UserId.compare(recipient.UserId, Qt::CaseInsensitive) == 0;
    return record.ComputerName.compare(recipient.ComputerName, Qt::CaseInsensitive) == 0 &&
           record.IPAddress.compare(recipient.IPAddress, Qt::CaseInsensitive) == 0;
}

bool RequestMatches(const TOnlineNotify& queued, const TOnlineNotify& notice) {
    if (queued.SenderHandle != notice.SenderHandle) return false;
    if (!queued.UserId.isEmpty()) return queued.UserId.compare(notice.UserId, Qt::CaseInsensitive) == 0;
    return queued.ComputerName.compare(notice.ComputerName, Qt::CaseInsensitive) == 0 &&
           queued.IPAddress.compare(notice.IPAddress, Qt::CaseInsensitive) == 0;
}

bool TServerQueue::Add(TQueueItem item) {
    const QString key = SenderKey(item);
    int& waiting = FWaiting[key];
    if (waiting >= FLimits.PerSender) {
        // One sender cannot bury the others' items: its surplus is only counted.
        auto it = std::find_if(FLeftOut.begin(), FLeftOut.end(), [&](const TLeftOut& l) { return l.Key == key; });
        if (it == FLeftOut.end()) it = FLeftOut.insert(FLeftOut.end(), TLeftOut{key, SenderName(item), 0});
        ++it->Count;
        if (FPresenter && !FItems.empty()) FPresenter->SetTrayHint(PresentedHint());
        return false;
    }
    ++waiting;
    FItems.push_back(std::move(item));
    // Behind others the item waits silently: only the head is presented.
    if (FPresenter && !FPresenter->IsAnimating()) AnnounceHead();
    return true;
}

void TServerQueue::Forget(const TQueueItem& item) {
    const QString key = SenderKey(item);
    const auto it = FWaiting.find(key);
    if (it == FWaiting.end() || --*it > 0) return;
    // Nothing of the sender waits: all of it was opened, its summary goes too.
    FWaiting.erase(it);
    FLeftOut.removeIf([&](const TLeftOut& l) { return l.Key == key; });
}

void TServerQueue::Clear() {
    FItems.clear();
    FWaiting.clear();
    FLeftOut.clear();
}

int TServerQueue::NotQueued(const QString& senderKey) const {
    for (const TLeftOut& l : FLeftOut)
        if (l.Key == senderKey) return l.Count;
    return 0;
}

QStringList TServerQueue::NotQueuedSummary() const {
    QStringList lines;
    for (const TLeftOut& l : FLeftOut)
        lines << TranslateFormat(QStringLiteral("%s sent %d more item(s) that were not queued."), {l.Name, qint64(l.Count)});
    return lines;
}

QString TServerQueue::PresentedHint() const {
    if (FItems.empty()) return {};
    QStringList lines{QueueItemHint(FItems.front())};
    lines += NotQueuedSummary();
    return lines.join(QLatin1Char('\n'));
}

bool TServerQueue::MarkRequestCanceled(const TOnlineNotify& notice) {
    // Newest first: a sender that asked twice withdrew the later request.
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
        auto* queued = std::get_if<TQueuedRequest>(&*it);
        if (!queued || queued->Withdrawn || !RequestMatches(queued->Request, notice)) continue;
        queued->Withdrawn = true;
        if (&*it == &FItems.front() && FPresenter) {
            FPresenter->SetTrayHint(PresentedHint());
            FPresenter->HeadChanged();
        }
        return true;
    }
    return false;
}

void TServerQueue::RemoveItem(int index) {
    if (index < 0 || index >= Count()) return;
    Forget(FItems[static_cast<size_t>(index)]);
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
    FPresenter->SetTrayHint(PresentedHint());
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

