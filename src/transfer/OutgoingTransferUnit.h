#pragma once

#include "protocol/CommConstsUnit.h"
#include "transfer/FileSendUnit.h"

#include <QObject>
#include <QThread>
#include <memory>

class TTransferService;

// One offer of files to one consignee and, once accepted, its stream: what a
// file window's wait dialog and progress dialog drive. Main thread; the
// stream runs on a thread of its own. The object owns a request handle while
// it lives, so the peer's answers (WM_FILE_PEERHANDLE, WM_FILE_REPLY) reach it.
class TOutgoingTransfer : public QObject {
    Q_OBJECT
public:
    enum TState { tsComposing, tsWaiting, tsDeclined, tsTransferring, tsFinished };

    ~TOutgoingTransfer() override;

    qint32 Handle() const { return FHandle; }
    qint32 PeerHandle() const { return FPeerHandle; }
    const TRecipient& Consignee() const { return FConsignee; }
    const QList<TSendRow>& Rows() const { return FRows; }
    TState State() const { return FState; }
    const TSendResult& Result() const { return FResult; }

    // Sends "QLM_FILEREQUEST"; false when it could not be sent (the window
    // says "Can not connect to %s.").
    bool Offer();
    // The user confirmed the cancel while waiting: "QLM_FILEREQUESTCANCELED"
    // with both handles (the peer's 0 when it never said). Not after a decline.
    bool Withdraw();
    // After an acceptance: streams the rows on a worker thread.
    void Start();
    // Before the next file ("SENDINGFILE_CANCELED"), or at once (connection dropped).
    void Stop();
    void Abort();
    // Holds the stream while the user is asked whether to cancel.
    void SetPaused(bool paused) { FControl.SetPaused(paused); }
    bool IsRunning() const { return FThread && FThread->isRunning(); }

    // For the chat log: "<Folder>%s" (source folder) or "<File>%s" (path) per row that went.
    QStringList SentLines() const;

signals:
    void PeerHandleArrived(qint32 peerHandle);
    // reason: the peer's text in its code page, converted (the auto-reply when declined automatically).
    void Replied(bool accepted, const QString& reason);
    void FileBegin(int index, qint64 size);
    void Progress(int index, qint64 done, qint64 size);
    void FileDone(int index, const TFileOutcome& outcome);
    void Finished(const TSendResult& result);

protected:
    bool event(QEvent* e) override;

private:
    friend class TTransferService;
    TOutgoingTransfer(TTransferService& service, TRecipient consignee, QList<TSendRow> rows);
    void StreamEnded(const TSendResult& result);

    TTransferService& FService;
    TRecipient FConsignee;
    QList<TSendRow> FRows;
    QList<qint64> FSizes;
    qint32 FHandle = 0;
    qint32 FPeerHandle = 0;
    TState FState = tsComposing;
    TSendControl FControl;
    TSendResult FResult;
    std::unique_ptr<QThread> FThread;
};
