#include "transfer/TransferServiceUnit.h"

#include "core/EventRouterUnit.h"
#include "core/ParamsUnit.h"
#include "core/PostedEventUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "protocol/DatagramDispatchUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"
#include "transfer/FileNamesUnit.h"
#include "transfer/OutgoingTransferUnit.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <limits>

TTransferService::TTransferService(const TCommClient& client, const TCommLocal& local, const TApplicationParams& params,
                                   const TMessageLang& lang, QObject* parent)
    : QObject(parent), FClient(client), FLocal(local), FParams(params), FLang(lang) {
    RefreshListenerSettings();
    FExpiry.setSingleShot(true);
    connect(&FExpiry, &QTimer::timeout, this, &TTransferService::ExpireAdmissions);
}

TTransferService::~TTransferService() = default;

const QList<int>& TTransferService::EventIds() {
    static const QList<int> ids{WM_PEER_FILEREQUEST, WM_PEER_FILEREPLY, WM_FILE_REQUESTCANCELED,
                                WM_FILE_PEERHANDLE,  WM_PEER_FILES,     WM_FILE_TERMINATED};
    return ids;
}

void TTransferService::RefreshListenerSettings() {
    TListenerSettings s;
    s.AutoFileTrans = FParams[bpAutoFileTrans];
    s.Self = FClient.Identity();
    s.Receive.Root = QDir::fromNativeSeparators(FParams[spArrivedFilesFolder]);
    if (!s.Receive.Root.endsWith(QLatin1Char('/'))) s.Receive.Root += QLatin1Char('/');
    QMutexLocker lock(&FLock);
    s.Receive.Guard.FreeBytes = FFreeBytes;
    FListener = s;
}

QString TTransferService::ReceiveFolder(const TOnlineNotify& offer) const {
    QString root = QDir::fromNativeSeparators(FParams[spArrivedFilesFolder]);
    if (!root.endsWith(QLatin1Char('/'))) root += QLatin1Char('/');
    return QDir::toNativeSeparators(root + FileNames::SenderFolderName(offer.NickName, offer.ComputerName) + QLatin1Char('/'));
}

void TTransferService::SetDiskGuard(const TDiskGuard& guard) {
    QMutexLocker lock(&FLock);
    FFreeBytes = guard.FreeBytes;
    FListener.Receive.Guard = guard;
}

void TTransferService::SetLimits(const TTransferLimits& limits) {
    QMutexLocker lock(&FLock);
    FLimits = limits;
}

int TTransferService::AcceptedWaiting() const {
    QMutexLocker lock(&FLock);
    return static_cast<int>(FAdmissions.size());
}

TTransferService::TListenerSettings TTransferService::ListenerSettings() const {
    QMutexLocker lock(&FLock);
    return FListener;
}

bool TTransferService::Admit(const TBroadcastData& header, const QString& peerAddress,
                             std::optional<TAdmission>* taken) {
    QMutexLocker lock(&FLock);
    if (FListener.AutoFileTrans) return true;
    // The stream names the receive dialog that accepted it; a sender that never
    // learnt that handle sends 0, which an accepted offer from its address covers.
    // An expired one is refused even before the timer took it away.
    for (qsizetype i = 0; i < FAdmissions.size(); ++i) {
        const TAdmission& a = FAdmissions[i];
        const bool match = header.RequestHandle != 0
                               ? a.Handle == header.RequestHandle
                               : a.Offer.IPAddress.compare(peerAddress, Qt::CaseInsensitive) == 0;
        if (match && !a.Deadline.hasExpired()) {
            *taken = FAdmissions.takeAt(i);
            return true;
        }
    }
    return false;
}

void TTransferService::Readmit(TAdmission admission) {
    {
        QMutexLocker lock(&FLock);
        FAdmissions.append(std::move(admission));
    }
    // From a listener thread: the timer is the main thread's.
    QMetaObject::invokeMethod(this, &TTransferService::ExpireAdmissions, Qt::QueuedConnection);
}

bool TTransferService::SourceAtCap(const QString& address) const {
    QMutexLocker lock(&FLock);
    int waiting = 0;
    for (const TAdmission& a : FAdmissions)
        if (a.Offer.IPAddress.compare(address, Qt::CaseInsensitive) == 0) ++waiting;
    return waiting >= FLimits.AcceptedPerSource;
}

void TTransferService::ExpireAdmissions() {
    QList<TAdmission> expired;
    qint64 next = -1;
    {
        QMutexLocker lock(&FLock);
        for (qsizetype i = 0; i < FAdmissions.size();) {
            if (FAdmissions[i].Deadline.hasExpired()) {
                expired.append(FAdmissions.takeAt(i));
                continue;
            }
            const qint64 left = FAdmissions[i].Deadline.remainingTime();
            if (next < 0 || left < next) next = left;
            ++i;
        }
    }
    for (const TAdmission& a : expired) Expire(a);
    if (next < 0) FExpiry.stop();
    else FExpiry.start(int(qMin<qint64>(next, std::numeric_limits<int>::max())));
}

void TTransferService::Expire(const TAdmission& admission) {
    // The dialog learns that no file will come; the CLI drops its stand-in on the signal.
    const QPointer<QObject> owner = FHandles.Owner(admission.Handle);
    if (owner) {
        TFilesArrival arrival;
        arrival.Data.RequestHandle = admission.Handle;
        arrival.Data.NickName = admission.Offer.NickName;
        arrival.Data.ComputerName = admission.Offer.ComputerName;
        arrival.Data.IPAddress = admission.Offer.IPAddress;
        arrival.Data.UserId = admission.Offer.UserId;
        PostWindowEvent(owner.data(), WM_FILE_TERMINATED, 0, 0, std::move(arrival));
    }
    emit AcceptedOfferExpired(admission.Offer, admission.Handle);
    FHandles.Release(admission.Handle);
}

void TTransferService::RegisterListener(TDatagramDispatcher& dispatcher, TCommServer& server,
                                        const TCommClient& listenerClient, TEventRouter& router) {
    const TCommClient* replies = &listenerClient;
    TEventRouter* events = &router;
    dispatcher.Register(MessageType::FileRequest, [this, replies, events](const TDatagramContext& c) {
        std::optional<TOnlineNotify> offer = DecodeFileRequest(c.Envelope, FLang);
        if (!offer) return;
        offer->IPAddress = c.SourceAddress;
        const TListenerSettings s = ListenerSettings();
        if (s.AutoFileTrans) {
            replies->SendToPeer(offer->IPAddress,
                                EncodeFileRequestReply(s.Self, offer->SenderHandle, true, false, {}, FLang));
            return;
        }
        QString text;
        if (FLocal.OnlineState() != TOnlineState::Online && FLocal.GetAutoReply(&text)) {
            replies->SendToPeer(offer->IPAddress,
                                EncodeFileRequestReply(s.Self, offer->SenderHandle, false, true, text, FLang));
            return;
        }
        // A source that accepted offers still owe streams to is declined at once, as
        // Busy declines: an honest sender hears no at once, a flood reaches nobody.
        if (SourceAtCap(offer->IPAddress)) {
            ++FDeclinedAtCap;
            replies->SendToPeer(offer->IPAddress,
                                EncodeFileRequestReply(s.Self, offer->SenderHandle, false, false, {}, FLang));
            return;
        }
        events->PostFrom(c.SourceAddress, WM_PEER_FILEREQUEST, 0, 0, std::move(*offer));
    });
    dispatcher.Register(MessageType::FileRequestDialogHandle, [events](const TDatagramContext& c) {
        if (const std::optional<TFilePeerHandle> handle = DecodeFileRequestDialogHandle(c.Envelope))
            events->PostFrom(c.SourceAddress, WM_FILE_PEERHANDLE, 0, 0, *handle);
    });
    dispatcher.Register(MessageType::FileRequestReply, [this, events](const TDatagramContext& c) {
        std::optional<TBroadcastData> reply = DecodeFileRequestReply(c.Envelope, FLang);
        if (!reply) return;
        reply->IPAddress = c.SourceAddress;
        events->PostFrom(c.SourceAddress, WM_PEER_FILEREPLY, 0, 0, std::move(*reply));
    });
    dispatcher.Register(MessageType::FileRequestCanceled, [this, events](const TDatagramContext& c) {
        std::optional<TOnlineNotify> notice = DecodeFileRequestCanceled(c.Envelope, FLang);
        if (!notice) return;
        notice->IPAddress = c.SourceAddress;
        // The offer was already declined automatically: its withdrawal means nothing here.
        QString text;
        if (FLocal.OnlineState() != TOnlineState::Online && FLocal.GetAutoReply(&text)) return;
        events->PostFrom(c.SourceAddress, WM_FILE_REQUESTCANCELED, 0, 0, std::move(*notice));
    });
    server.RegisterRequest(MessageType::File, [this, events](TRequestContext& c) {
        TReceiveSettings settings = ListenerSettings().Receive;
        std::optional<TAdmission> taken;
        const auto stop = std::make_shared<std::atomic<bool>>(false);
        qint32 handle = 0;
        settings.Admit = [this, &taken, &handle, stop](const TBroadcastData& header, const QString& peer) {
            if (!Admit(header, peer, &taken)) return false;
            // Only a stream accepted by hand has a window to tell; a handle the
            // stream merely names could be any dialog's.
            handle = taken ? taken->Handle : 0;
            if (handle != 0) {
                QMutexLocker lock(&FLock);
                FReceiving.insert(handle, stop);
            }
            return true;
        };
        settings.Stopped = [stop] { return stop->load(); };
        settings.Progress = [this, &handle, &taken](TReceiveProgress progress) {
            if (handle == 0) return;
            if (taken) {
                progress.TotalFiles = taken->Offer.Offered.Files;
                progress.TotalBytes = taken->Offer.Offered.Bytes;
            }
            // Emitted on the main thread, where the windows are.
            QMetaObject::invokeMethod(
                this, [this, h = handle, progress] { emit ReceiveProgress(h, progress); }, Qt::QueuedConnection);
        };
        TReceiveOutcome outcome = ReceiveFiles(c.Reader, c.Header, c.PeerAddress, settings, FLang, c.StallMs);
        if (handle != 0) {
            QMutexLocker lock(&FLock);
            if (FReceiving.value(handle) == stop) FReceiving.remove(handle);
        }
        if (outcome.EventId != 0) {
            const TFilesArrival arrival = outcome.Arrival;
            if (events->PostFrom(c.PeerAddress, outcome.EventId, 0, 0, std::move(outcome.Arrival))) return;
            // Not taken (its source over its share): nobody would hear of what
            // was stored, so nothing stays, and the sender learns by a reset.
            DiscardArrival(arrival);
            c.Refused = true;
        }
        // Nothing posted: the offer still waits for its stream, and may expire.
        if (taken) Readmit(std::move(*taken));
    });
}

void TTransferService::RegisterEvents(TEventRouter& router) {
    router.Register<TOnlineNotify>(WM_PEER_FILEREQUEST, [this](qintptr, TOnlineNotify offer) { emit OfferArrived(offer); });
    router.Register<TBroadcastData>(WM_PEER_FILEREPLY, [this](qintptr, TBroadcastData reply) {
        QObject* owner = DeliverTo(reply.RequestHandle);
        PostWindowEvent(owner, WM_FILE_REPLY, 0, 0, reply);
        emit ReplyArrived(reply, owner != nullptr);
    });
    router.Register<TFilePeerHandle>(WM_FILE_PEERHANDLE, [this](qintptr, TFilePeerHandle handle) {
        QObject* owner = DeliverTo(handle.Target);
        PostWindowEvent(owner, WM_FILE_PEERHANDLE, 0, 0, handle.Value);
        emit PeerHandleArrived(handle, owner != nullptr);
    });
    router.Register<TOnlineNotify>(WM_FILE_REQUESTCANCELED, [this](qintptr, TOnlineNotify notice) {
        QObject* owner = DeliverTo(notice.ReceiverHandle);
        PostWindowEvent(owner, WM_FILE_REQUESTCANCELED, 0, 0, notice);
        emit OfferCanceled(notice, owner != nullptr);
    });
    router.Register<TFilesArrival>(WM_PEER_FILES, [this](qintptr, TFilesArrival arrival) {
        QObject* owner = DeliverTo(arrival.Data.RequestHandle);
        PostWindowEvent(owner, WM_FILE_RECEIVED, 0, 0, arrival);
        emit FilesArrived(arrival, owner != nullptr);
    });
    router.Register<TFilesArrival>(WM_FILE_TERMINATED, [this](qintptr, TFilesArrival arrival) {
        QObject* owner = DeliverTo(arrival.Data.RequestHandle);
        PostWindowEvent(owner, WM_FILE_TERMINATED, 0, 0, arrival);
        emit TransferTerminated(arrival, owner != nullptr);
    });
}

std::unique_ptr<TOutgoingTransfer> TTransferService::CreateOutgoing(const TRecipient& consignee, QList<TSendRow> rows) {
    return std::unique_ptr<TOutgoingTransfer>(new TOutgoingTransfer(*this, consignee, std::move(rows)));
}

QString TTransferService::CheckSendable(const QString& path) {
    const QFileInfo info(path);
    const QString name = QDir::toNativeSeparators(info.absoluteFilePath());
    if (!info.isFile()) return TranslateFormat(QStringLiteral("%s is not a file that can be sent."), {name});
    if (info.size() > MaxStreamFileSize)
        return TranslateFormat(QStringLiteral("%s cannot be sent: files of 2 GiB (2147483648 bytes) or more do not fit the transfer."),
                               {name});
    return {};
}

QString TTransferService::OutcomeText(const TFileOutcome& outcome) {
    QString text;
    switch (outcome.Kind) {
    case TFileOutcomeKind::Sent: return Translate(QStringLiteral("Sent."));
    case TFileOutcomeKind::NotSent: text = Translate(QStringLiteral("Not sent.")); break;
    case TFileOutcomeKind::ReadError: text = Translate(QStringLiteral("The file could not be read.")); break;
    case TFileOutcomeKind::TooLarge:
        text = Translate(QStringLiteral("Files of 2 GiB (2147483648 bytes) or more cannot be sent."));
        break;
    case TFileOutcomeKind::Broken: text = Translate(QStringLiteral("The connection broke off while the file was sent.")); break;
    }
    return outcome.Detail.isEmpty() ? text : text + QStringLiteral(" (") + outcome.Detail + QLatin1Char(')');
}

bool TTransferService::StopReceiving(qint32 ownHandle) {
    QMutexLocker lock(&FLock);
    if (const std::shared_ptr<std::atomic<bool>> stop = FReceiving.value(ownHandle)) {
        *stop = true;
        return true;
    }
    // Not begun yet: its stream will be refused when it comes.
    for (qsizetype i = 0; i < FAdmissions.size(); ++i)
        if (FAdmissions[i].Handle == ownHandle) {
            FAdmissions.removeAt(i);
            break;
        }
    return false;
}

bool TTransferService::SendDialogHandle(const TOnlineNotify& offer, qint32 ownHandle) {
    return FClient.SendToPeer(PeerHost(offer.IPAddress, offer.ComputerName),
                              EncodeFileRequestDialogHandle(offer.SenderHandle, ownHandle));
}

bool TTransferService::AnswerOffer(const TOnlineNotify& offer, qint32 ownHandle, bool accept) {
    if (accept) {
        QList<TAdmission> evicted;
        {
            QMutexLocker lock(&FLock);
            // Offers posted before the source reached its cap: its oldest make room,
            // never another source's.
            int fromSource = 0;
            for (const TAdmission& a : std::as_const(FAdmissions))
                if (a.Offer.IPAddress.compare(offer.IPAddress, Qt::CaseInsensitive) == 0) ++fromSource;
            for (qsizetype i = 0; i < FAdmissions.size() && fromSource >= FLimits.AcceptedPerSource;) {
                if (FAdmissions[i].Offer.IPAddress.compare(offer.IPAddress, Qt::CaseInsensitive) != 0) {
                    ++i;
                    continue;
                }
                evicted.append(FAdmissions.takeAt(i));
                --fromSource;
            }
            while (!FAdmissions.isEmpty() && FAdmissions.size() >= FLimits.AcceptedTotal)
                evicted.append(FAdmissions.takeFirst());
            FAdmissions.append({ownHandle, offer, QDeadlineTimer(FLimits.AcceptedExpiryMs)});
        }
        for (const TAdmission& a : evicted) Expire(a);
        ExpireAdmissions();
    }
    return FClient.SendToPeer(PeerHost(offer.IPAddress, offer.ComputerName),
                              EncodeFileRequestReply(FClient.Identity(), offer.SenderHandle, accept, false, {}, FLang));
}
