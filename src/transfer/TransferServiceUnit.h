#pragma once

#include "protocol/CommClientUnit.h"
#include "protocol/CommConstsUnit.h"
#include "transfer/FileCodecUnit.h"
#include "transfer/FileReceiveUnit.h"
#include "transfer/FileSendUnit.h"
#include "transfer/RequestHandleUnit.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <memory>
#include <optional>

class TApplicationParams;
class TCommLocal;
class TCommServer;
class TDatagramDispatcher;
class TEventRouter;
class TMessageLang;
class TOutgoingTransfer;

// How long and how many accepted offers wait for their "QLM_FILE" stream;
// tests shorten the wait.
struct TTransferLimits {
    int AcceptedExpiryMs = 10 * 60 * 1000; // the stream must begin within this
    int AcceptedPerSource = 64;            // accepted offers waiting at once per source address
    int AcceptedTotal = 1024;              // all sources together
};

// File transfer: the handshake datagrams, the "QLM_FILE" stream both ways,
// the request handles of live dialogs, and what arrives. The listener side
// answers automatically (AutoFileTrans, Busy/Away auto-reply) and stores
// files; the rest reaches the main thread through the router, where the
// service hands each event to the dialog owning its handle and emits it as a
// typed signal. Windows and the CLI drive it; it knows nothing about them.
class TTransferService : public QObject {
    Q_OBJECT
public:
    // client: sends from the main thread with the live settings.
    TTransferService(const TCommClient& client, const TCommLocal& local, const TApplicationParams& params,
                     const TMessageLang& lang, QObject* parent = nullptr);
    ~TTransferService() override;

    // The listener's file events, each with its record type.
    static const QList<int>& EventIds();
    void RegisterEvents(TEventRouter& router);
    // The datagram handlers and the "QLM_FILE" request; listenerClient sends
    // the automatic answers from the receiver's thread.
    void RegisterListener(TDatagramDispatcher& dispatcher, TCommServer& server, const TCommClient& listenerClient,
                          TEventRouter& router);
    // Copies what the listener threads read (AutoFileTrans, identity, the
    // received-files folder); before listening starts and after the options change.
    void RefreshListenerSettings();
    // Replaces the disk's free-space figure (tests); the reserve stays unless given.
    void SetDiskGuard(const TDiskGuard& guard);
    void SetLimits(const TTransferLimits& limits);

    // ---- sending side ----
    // An offer of rows to one consignee (nickname, computer name, IP address).
    std::unique_ptr<TOutgoingTransfer> CreateOutgoing(const TRecipient& consignee, QList<TSendRow> rows);
    // Empty when path can go; else why not (a folder, missing, 2 GiB or more).
    static QString CheckSendable(const QString& path);
    // A translated line for what became of one file.
    static QString OutcomeText(const TFileOutcome& outcome);

    // ---- receiving side ----
    TRequestHandles& Handles() { return FHandles; }
    // A receive dialog for offer opened with ownHandle: "QLM_FILEREQUESTDIALOGHANDLE".
    bool SendDialogHandle(const TOnlineNotify& offer, qint32 ownHandle);
    // The user's answer; an accepted offer's stream will be stored even while
    // AutoFileTrans is off, others not.
    bool AnswerOffer(const TOnlineNotify& offer, qint32 ownHandle, bool accept);
    // Where the files of an offer will be stored (native separators).
    QString ReceiveFolder(const TOnlineNotify& offer) const;
    // Accepted offers still waiting for their stream.
    int AcceptedWaiting() const;
    // Ends the stream of the offer accepted with ownHandle at its next piece:
    // nothing of it stays, its owner gets WM_FILE_TERMINATED (StoppedHere) and
    // the sender sees its connection closed. False when no stream of it runs
    // (an accepted offer still waiting is withdrawn: its stream will be refused).
    bool StopReceiving(qint32 ownHandle);
    // Offers declined by the listener because their source had
    // AcceptedPerSource accepted offers waiting already.
    int DeclinedAtCap() const { return FDeclinedAtCap.load(); }

    // For TOutgoingTransfer.
    const TCommClient& Client() const { return FClient; }
    const TMessageLang& Lang() const { return FLang; }

signals:
    // An offer not answered automatically (WM_PEER_FILEREQUEST).
    void OfferArrived(const TOnlineNotify& offer);
    // delivered: a live dialog owns the handle and got the event posted.
    void OfferCanceled(const TOnlineNotify& notice, bool delivered);
    void ReplyArrived(const TBroadcastData& reply, bool delivered);
    void PeerHandleArrived(const TFilePeerHandle& handle, bool delivered);
    // A stream ended (WM_PEER_FILES): the log record's fields are in arrival.
    void FilesArrived(const TFilesArrival& arrival, bool delivered);
    // The sender cancelled the stream (WM_FILE_TERMINATED); what arrived is deleted.
    void TransferTerminated(const TFilesArrival& arrival, bool delivered);
    // How far the stream for the offer accepted with ownHandle has come (main thread).
    void ReceiveProgress(qint32 ownHandle, const TReceiveProgress& progress);
    // An accepted stream of ours ended with files taken: lines ("<File>%s",
    // "<Folder>%s") name what went, for the chat log.
    void BatchSent(const TRecipient& consignee, const QStringList& lines);
    // An accepted offer whose stream did not begin in time (or that made room
    // for newer ones): its handle is released once this returns, and a stream
    // naming it is refused. Its owner got WM_FILE_TERMINATED.
    void AcceptedOfferExpired(const TOnlineNotify& offer, qint32 ownHandle);

private:
    struct TListenerSettings {
        bool AutoFileTrans = true;
        TLocalIdentity Self;
        TReceiveSettings Receive;
    };
    struct TAdmission {
        qint32 Handle = 0;
        TOnlineNotify Offer;     // IPAddress: the source the stream must come from
        QDeadlineTimer Deadline; // its stream must begin before
    };
    TListenerSettings ListenerSettings() const;
    // Takes the admission a stream's header names into *taken.
    bool Admit(const TBroadcastData& header, const QString& peerAddress, std::optional<TAdmission>* taken);
    // A stream that named no file gives its admission back, deadline and all.
    void Readmit(TAdmission admission);
    bool SourceAtCap(const QString& address) const;
    // Releases what expired and sets the timer for the next deadline.
    void ExpireAdmissions();
    void Expire(const TAdmission& admission);
    QObject* DeliverTo(qint32 handle) const { return FHandles.Owner(handle); }

    const TCommClient& FClient;
    const TCommLocal& FLocal;
    const TApplicationParams& FParams;
    const TMessageLang& FLang;
    TRequestHandles FHandles;
    mutable QMutex FLock; // guards the three below: the listener threads read them
    TListenerSettings FListener;
    QList<TAdmission> FAdmissions; // oldest first
    QHash<qint32, std::shared_ptr<std::atomic<bool>>> FReceiving; // stop flags of running streams by handle
    TTransferLimits FLimits;
    std::atomic<int> FDeclinedAtCap{0};
    QTimer FExpiry; // main thread: fires at the oldest admission's deadline
    std::function<qint64(const QString&)> FFreeBytes;
};
