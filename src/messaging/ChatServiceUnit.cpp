#include "messaging/ChatServiceUnit.h"

#include "core/EventRouterUnit.h"
#include "core/UtilsUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "protocol/CommLocalUnit.h"
#include "text/UILangUnit.h"

#include <QMetaObject>
#include <QScopeGuard>

#include <utility>

namespace {

const QString kOk = QStringLiteral("OK");

} // namespace

bool RefusesIncoming(TChatKind kind, TOnlineState state, bool autoReplyOn) {
    return kind == TChatKind::Message && state != TOnlineState::Online && autoReplyOn;
}

bool TSendMessageResult::AnyReached() const {
    for (const TRecipientOutcome& outcome : Outcomes)
        if (outcome.Reached) return true;
    return false;
}

TChatService::TChatService(const TCommClient& client, const TCommLocal& local, QObject* parent)
    : QObject(parent), FClient(client), FLocal(local) {
    // Jobs wait on the network, not on the processor.
    FPool.setMaxThreadCount(16);
}

TChatService::~TChatService() {
    FCancel->store(true);
    FPool.waitForDone();
}

const QList<int>& TChatService::EventIds() {
    static const QList<int> ids{WM_PEER_MESSAGE, WM_PEER_BROADCAST};
    return ids;
}

void TChatService::RegisterEvents(TEventRouter& router) {
    router.Register<TPeerMessage>(WM_PEER_MESSAGE,
                                  [this](qintptr, TPeerMessage record) { Handle(TChatKind::Message, record.Data, record.Hold); });
    router.Register<TPeerRefusal>(WM_PEER_MESSAGE,
                                  [this](qintptr, TPeerRefusal record) { Handle(TChatKind::Refusal, record.Data, record.Hold); });
    router.Register<TPeerBroadcast>(WM_PEER_BROADCAST,
                                    [this](qintptr, TPeerBroadcast record) { Handle(TChatKind::Broadcast, record.Data, record.Hold); });
}

void TChatService::Handle(TChatKind kind, const TBroadcastData& record, const TIntakeHold& hold) {
    QString reply;
    const bool autoReply = FLocal.GetAutoReply(&reply);
    if (RefusesIncoming(kind, FLocal.OnlineState(), autoReply)) {
        // A refusal that cannot be sent changes nothing: the message is dropped all the same.
        const bool sent = FClient.SendRefuse(record.IPAddress, reply);
        emit MessageAutoReplied(record, reply, sent);
        return;
    }
    FArrivalHold = hold;
    const auto done = qScopeGuard([this] { FArrivalHold.reset(); });
    switch (kind) {
    case TChatKind::Message: emit MessageArrived(record); break;
    case TChatKind::Refusal: emit RefusalArrived(record); break;
    case TChatKind::Broadcast: emit BroadcastArrived(record); break;
    }
}

void TChatService::SetSendLimits(const TMessageSendLimits& limits) { FLimits = limits; }

void TChatService::SetConnectionBound(int count) { FSlots = std::make_shared<TSendSlots>(qMax(1, count)); }

TCommClient TChatService::WorkerClient() const { return FClient.Snapshot(); }

TRecipientOutcome TChatService::Outcome(const TRecipient& recipient, bool hasNickname, const TRecipientDelivery& delivery) const {
    TRecipientOutcome outcome;
    outcome.Reached = delivery.Reason.isEmpty() && recipient.SendStatus == kOk;
    outcome.Attempts = delivery.Attempts;
    if (!outcome.Reached) {
        outcome.Reason = delivery.Reason;
        outcome.ErrorText =
            TranslateFormat(QStringLiteral("Error occurred when send message to %s."),
                            {Utils::DisplayName(hasNickname && !recipient.NickName.isEmpty(), recipient.NickName,
                                                recipient.ComputerName)});
    }
    return outcome;
}

TChatJob* TChatService::StartSendMessage(TSendMessageJob job) {
    const quint64 id = ++FNextJob;
    ++FRunning;
    auto* handle = new TChatJob(id, this);
    TMessageSendLimits limits = FLimits;
    limits.Cancelled = [cancel = FCancel, own = handle->CancelFlag(), outer = FLimits.Cancelled] {
        return cancel->load() || own->load() || (outer && outer());
    };
    limits.Slots = FSlots;
    // The display names come from the settings, so they are made here, on
    // this thread, as each result arrives.
    FPool.start([this, id, handle, job = std::move(job), worker = WorkerClient(), limits]() {
        TRecipients recipients = job.Recipients;
        QList<TRecipientDelivery> deliveries;
        const bool hasNickname = job.HasNickname;
        // Called one at a time, as each recipient ends, from the sender's lanes.
        worker.SendMessageTo(job.Summary, recipients, job.Body, limits, &deliveries,
                             [&](int index, const TRecipientDelivery& delivery) {
                                 QMetaObject::invokeMethod(this, [this, id, handle, index, hasNickname, delivery,
                                                                  recipient = std::as_const(recipients)[index]] {
                                     const TRecipientOutcome outcome = Outcome(recipient, hasNickname, delivery);
                                     emit RecipientDone(id, index, recipient, outcome);
                                     emit handle->RecipientDone(index, recipient, outcome);
                                 });
                             });
        TSendMessageResult result;
        result.Job = job;
        result.Job.Recipients = recipients;
        QMetaObject::invokeMethod(this, [this, id, handle, result = std::move(result), deliveries]() mutable {
            --FRunning;
            const TRecipients& done = result.Job.Recipients;
            for (qsizetype i = 0; i < done.size(); ++i)
                result.Outcomes.append(Outcome(done[i], result.Job.HasNickname, deliveries.value(i)));
            result.SentTime = DaysSince1899(QDateTime::currentDateTime());
            emit SendFinished(id, result);
            emit handle->SendFinished(result);
            handle->deleteLater();
        });
    });
    return handle;
}

bool TChatService::BroadcastFits(const QString& summary, const QString& body) const {
    return EncodeBroadcast(FClient.Identity(), summary, body, FClient.Lang()).size() <= MaxDatagramSize;
}

TChatJob* TChatService::StartBroadcast(const QString& summary, const QString& body) {
    const quint64 id = ++FNextJob;
    ++FRunning;
    auto* handle = new TChatJob(id, this);
    TBroadcastResult result;
    result.Summary = summary;
    // What goes on the wire, so that the log stores what was sent.
    result.Body = BroadcastLineBreaks(body);
    if (!BroadcastFits(summary, result.Body)) {
        // Every receiver would drop it, so it is not sent at all.
        QMetaObject::invokeMethod(this, [this, id, handle, result]() mutable {
            --FRunning;
            result.TooLong = true;
            result.ErrorText = Translate(QStringLiteral("The message is too long to broadcast."));
            emit BroadcastFinished(id, result);
            emit handle->BroadcastFinished(result);
            handle->deleteLater();
        }, Qt::QueuedConnection);
        return handle;
    }
    FPool.start([this, id, handle, result, worker = WorkerClient()] {
        const bool sent = worker.SendBroadcast(result.Summary, result.Body);
        QMetaObject::invokeMethod(this, [this, id, handle, sent, result]() mutable {
            --FRunning;
            result.Sent = sent;
            result.SentTime = DaysSince1899(QDateTime::currentDateTime());
            if (!sent) result.ErrorText = Translate(QStringLiteral("Can not broadcast message."));
            emit BroadcastFinished(id, result);
            emit handle->BroadcastFinished(result);
            handle->deleteLater();
        });
    });
    return handle;
}

bool TChatService::SendRefuse(const QString& address) {
    QString reply;
    FLocal.GetAutoReply(&reply);
    return FClient.SendRefuse(address, reply);
}
