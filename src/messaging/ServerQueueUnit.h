#pragma once

#include "protocol/CommConstsUnit.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <variant>

// The kinds of what waits in the incoming queue, as the lab's state dump and
// the tests name them.
enum TQueueItemKind : int {
    qiBroadcast = 0,
    qiMessage = 1,
    qiFiles = 2,            // files stored automatically
    qiFileRequest = 3,      // an offer waiting for the user's answer
    qiFileRequestCanceled = 4 // an offer the sender withdrew while it waited
};

// Which frames the tray shows while an item waits.
enum class TTrayAnimation { None = 0, Message = 1, File = 2 };
TTrayAnimation AnimationOfKind(TQueueItemKind kind);

// One unopened item: a record of its kind.
struct TQueuedMessage {
    TBroadcastData Data; // a message or a refusal: both are read the same way
};
struct TQueuedBroadcast {
    TBroadcastData Data;
};
struct TQueuedFiles {
    TFilesArrival Arrival; // files stored automatically
};
struct TQueuedRequest {
    TOnlineNotify Request;  // an offer waiting for the user's answer
    bool Withdrawn = false; // the sender took it back while it waited
};
using TQueueItem = std::variant<TQueuedMessage, TQueuedBroadcast, TQueuedFiles, TQueuedRequest>;

TQueueItemKind KindOf(const TQueueItem& item);
// The sender as the item names it.
QString SenderNickName(const TQueueItem& item);
QString SenderComputerName(const TQueueItem& item);
// Who an item counts against, as SameSender tells senders apart: the unique
// id when the item has one, else computer name and IP address (no case).
QString SenderKey(const TQueueItem& item);

// The texts that present an item (translated): the tray hint, the
// notification's title and body. The names follow DisplayName.
QString QueueItemHint(const TQueueItem& item);
QString QueueItemTitle(const TQueueItem& item);
// Broadcasts and messages: the summary, decoded (and converted) by the
// sender's language; files: "<Saved In Folder>" and the folder; a request
// whose offer names files: "File Transfer Request" over OfferedFilesLine.
QString QueueItemBody(const TQueueItem& item);

// What an offer names, in one short line: its first name (or shownName, the
// name cut to fit), "+N more" for the rest, and their size together. Empty
// when the offer names nothing, as a sender that leaves those fields unused.
QString OfferedFilesLine(const TOfferedFiles& offered, const std::optional<QString>& shownName = std::nullopt);
// The queued request's offer, when it names any files.
const TOfferedFiles* OfferedFilesOf(const TQueueItem& item);

// Whether a received record comes from the recipient: by unique id when both
// have one, else (a refusal has none) by computer name and IP address (no case).
bool SameSender(const TBroadcastData& record, const TRecipient& recipient);
// Whether a queued request is the one a withdrawal notice names.
bool RequestMatches(const TOnlineNotify& queued, const TOnlineNotify& notice);

// Who shows the head of the queue: the tray controller in the program, a
// recorder in tests.
class TQueuePresenter {
public:
    virtual ~TQueuePresenter() = default;
    virtual bool IsAnimating() const = 0;
    // Animates with the frames of that kind (and shows the queue
    // notification when allowed).
    virtual void StartAnimation(TTrayAnimation animation) = 0;
    virtual void SetTrayHint(const QString& hint) = 0;
    // The head turned into a withdrawn request: an open notification repaints.
    virtual void HeadChanged() {}
    // The last item went away: a closed notification may show again.
    virtual void QueueEmptied() {}
};

// How much one sender may leave waiting in the incoming queue.
struct TQueueLimits {
    int PerSender = 50;
};

// The incoming queue: items the user has not opened yet, oldest first. Only
// the head is presented; the others wait silently. One sender has at most
// PerSender items waiting; what it sends beyond is counted, not queued, and
// the tray hint sums it up until that sender has nothing waiting any more.
// Main thread only.
class TServerQueue {
public:
    explicit TServerQueue(TQueueLimits limits = {}) : FLimits(limits) {}
    TServerQueue(const TServerQueue&) = delete;
    TServerQueue& operator=(const TServerQueue&) = delete;

    // presenter: null presents nothing (it must outlive the queue or be reset).
    void SetPresenter(TQueuePresenter* presenter) { FPresenter = presenter; }

    // Appends an item; presents it when the tray is not animating yet. False
    // when its sender has PerSender items waiting: the item is only counted.
    bool Add(TQueueItem item);

    // The newest pending request the notice names becomes withdrawn; false
    // when none does.
    bool MarkRequestCanceled(const TOnlineNotify& notice);

    // Forgets the item without presenting anything.
    void RemoveItem(int index);
    // After the head was opened or ignored: forgets it and presents the next.
    void RemoveHead(int index = 0);
    // Presents the head, if any: animation of its kind and its hint.
    void AnnounceHead();

    // The queued messages (no broadcasts) of one sender, taken out of the
    // queue newest first; the head stays, as it is the item being opened.
    QList<TBroadcastData> TakeMessagesOf(const TRecipient& sender);

    int Count() const { return static_cast<int>(FItems.size()); }
    bool IsEmpty() const { return FItems.empty(); }
    const TQueueItem& Item(int index) const { return FItems.at(static_cast<size_t>(index)); }
    const TQueueItem* Head() const { return FItems.empty() ? nullptr : &FItems.front(); }
    void Clear();

    // Items of the sender that key names left out since it last had nothing waiting.
    int NotQueued(const QString& senderKey) const;
    // One translated line per sender with items left out, in the order they began.
    QStringList NotQueuedSummary() const;
    // The head's hint followed by the summary's lines: what the tray shows.
    QString PresentedHint() const;

private:
    struct TLeftOut {
        QString Key;
        QString Name; // as the hint names the sender
        int Count = 0;
    };
    void Forget(const TQueueItem& item);

    TQueueLimits FLimits;
    std::deque<TQueueItem> FItems;
    QHash<QString, int> FWaiting; // by SenderKey
    QList<TLeftOut> FLeftOut;     // few: one per flooding sender
    TQueuePresenter* FPresenter = nullptr;
};
