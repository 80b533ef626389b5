#pragma once

#include "core/IntakeBudgetUnit.h"
#include "core/OnlineStateValueUnit.h"
#include "messaging/ChatContentUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommConstsUnit.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <memory>

class TCommLocal;
class TEventRouter;

// Whether an incoming item is answered with "QLM_REFUSE" and dropped: only a
// message, only while Busy or Away, only with that state's auto-reply on.
bool RefusesIncoming(TChatKind kind, TOnlineState state, bool autoReplyOn);

// What one send job asks for.
struct TSendMessageJob {
    TRecipients Recipients;
    bool HasNickname = true; // the recipients came from the online list: their display names use nicknames
    QString Summary;         // MakeFirst2Line of the text
    QByteArray Body;         // the rich text (RTF) as the editor saved it
};

// How one recipient fared.
struct TRecipientOutcome {
    bool Reached = false;
    QString ErrorText; // "Error occurred when send message to %s." (translated); empty when reached
    QString Reason;    // why, as the network said it; empty when reached
    int Attempts = 0;  // connections the sender tried; 0 when none was
};

// The job as it ended, with all a log record of the sent message needs.
struct TSendMessageResult {
    TSendMessageJob Job;               // its Recipients' SendStatus is "OK" for each one reached
    QList<TRecipientOutcome> Outcomes; // one per recipient, in job order
    double SentTime = 0;               // days since 1899-12-30, local time: when the job ended
    bool AnyReached() const;
};

struct TBroadcastResult {
    bool Sent = false;
    bool TooLong = false;
    QString ErrorText; // translated, empty when sent
    QString Summary;
    QString Body;
    double SentTime = 0;
};

// One send as the window that started it sees it: its results arrive as its
// own signals, each right after the service's (so the chat log has queued its
// record first). The service owns it and deletes it after the last one.
class TChatJob : public QObject {
    Q_OBJECT
public:
    TChatJob(quint64 id, QObject* parent) : QObject(parent), FId(id) {}
    quint64 Id() const { return FId; }
    // Recipients not yet tried are not tried, those in progress are given up;
    // each is still reported once (as "Canceled"), then SendFinished.
    void Cancel() { FCancel->store(true); }
    const std::shared_ptr<std::atomic<bool>>& CancelFlag() const { return FCancel; }

signals:
    void RecipientDone(int index, const TRecipient& recipient, const TRecipientOutcome& outcome);
    void SendFinished(const TSendMessageResult& result);
    void BroadcastFinished(const TBroadcastResult& result);

private:
    const quint64 FId;
    const std::shared_ptr<std::atomic<bool>> FCancel = std::make_shared<std::atomic<bool>>(false);
};

// Chat: owns WM_PEER_MESSAGE and WM_PEER_BROADCAST, answers messages
// automatically while Busy or Away, and sends messages and broadcasts as jobs
// off the calling thread. Windows and the chat log connect to its signals;
// every signal is emitted on the service's thread and carries the whole
// record, so a listener can log, queue or show it without asking back.
class TChatService : public QObject {
    Q_OBJECT
public:
    // client sends with the live settings (main thread); local decides on auto-replies.
    TChatService(const TCommClient& client, const TCommLocal& local, QObject* parent = nullptr);
    // Cancels running jobs and waits for them (at most a moment: they look
    // at the cancel flag between short waits).
    ~TChatService() override;

    static const QList<int>& EventIds();
    // While an arrival is announced: its bytes in the listener's budget. A
    // listener that keeps the bytes past the signal (the chat log's writer)
    // keeps a copy, so that its source waits until they are stored.
    const TIntakeHold& ArrivalHold() const { return FArrivalHold; }
    void RegisterEvents(TEventRouter& router);

    // A worker sends "QLM_MESSAGE" to the recipients, several at once (see
    // TCommClient::SendMessageTo); RecipientDone follows each as it ends,
    // SendFinished the last, from the service and the job. The job goes on
    // whether or not anybody still listens to its handle.
    TChatJob* StartSendMessage(TSendMessageJob job);
    // One "QLM_BROADCAST" from a worker (host names in the broadcast list are
    // looked up there); BroadcastFinished tells how it went. Too long a
    // datagram is refused before anything is sent.
    TChatJob* StartBroadcast(const QString& summary, const QString& body);
    // Whether summary and body fit into one datagram that receivers take.
    bool BroadcastFits(const QString& summary, const QString& body) const;
    // "QLM_REFUSE" with the current auto-reply text; false when it did not go out.
    bool SendRefuse(const QString& address);

    // Tests shorten the waits.
    void SetSendLimits(const TMessageSendLimits& limits);
    // Connections in flight over all jobs; for jobs started after the call.
    void SetConnectionBound(int count);
    static constexpr int DefaultConnectionBound = 64;
    int RunningJobs() const { return FRunning; }

signals:
    // A message (wParam 0) that was not answered automatically: log it, then
    // hand it to its chat window, open it or queue it.
    void MessageArrived(const TBroadcastData& record);
    // A refusal (wParam 1): shown and logged like a message.
    void RefusalArrived(const TBroadcastData& record);
    void BroadcastArrived(const TBroadcastData& record);
    // A message answered with "QLM_REFUSE" and dropped: nothing to log or show.
    void MessageAutoReplied(const TBroadcastData& record, const QString& replyText, bool replySent);

    void RecipientDone(quint64 job, int index, const TRecipient& recipient, const TRecipientOutcome& outcome);
    void SendFinished(quint64 job, const TSendMessageResult& result);
    void BroadcastFinished(quint64 job, const TBroadcastResult& result);

private:
    void Handle(TChatKind kind, const TBroadcastData& record, const TIntakeHold& hold);
    TIntakeHold FArrivalHold;
    // A sender that takes copies of the settings along to a worker.
    TCommClient WorkerClient() const;
    TRecipientOutcome Outcome(const TRecipient& recipient, bool hasNickname, const TRecipientDelivery& delivery) const;

    const TCommClient& FClient;
    const TCommLocal& FLocal;
    TMessageSendLimits FLimits;
    quint64 FNextJob = 0;
    int FRunning = 0;
    std::shared_ptr<std::atomic<bool>> FCancel = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<TSendSlots> FSlots = std::make_shared<TSendSlots>(DefaultConnectionBound);
    QThreadPool FPool;
};
