#pragma once

#include "protocol/CommClientUnit.h"
#include "protocol/CommConstsUnit.h"
#include "transfer/FileCodecUnit.h"
#include "transfer/FileReceiveUnit.h"
#include "transfer/FileSendUnit.h"
#include "transfer/RequestHandleUnit.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <memory>

class TApplicationParams;
class TCommLocal;
class TCommServer;
class TDatagramDispatcher;
class TEventRouter;
class TMessageLang;
class TOutgoingTransfer;

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
    // An accepted stream of ours ended with files taken: lines ("<File>%s",
    // "<Folder>%s") name what went, for the chat log.
    void BatchSent(const TRecipient& consignee, const QStringList& lines);

private:
    struct TListenerSettings {
        bool AutoFileTrans = true;
        TLocalIdentity Self;
        TReceiveSettings Receive;
    };
    struct TAdmission {
        qint32 Handle = 0;
        QString Address;
    };
    TListenerSettings ListenerSettings() const;
    bool Admit(const TBroadcastData& header, const QString& peerAddress);
    QObject* DeliverTo(qint32 handle) const { return FHandles.Owner(handle); }

    const TCommClient& FClient;
    const TCommLocal& FLocal;
    const TApplicationParams& FParams;
    const TMessageLang& FLang;
    TRequestHandles FHandles;
    mutable QMutex FLock; // guards the two below: the listener threads read them
    TListenerSettings FListener;
    QList<TAdmission> FAdmissions;
    std::function<qint64(const QString&)> FFreeBytes;
};
