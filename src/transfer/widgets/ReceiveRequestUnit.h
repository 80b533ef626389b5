#pragma once

#include "protocol/CommConstsUnit.h"
#include "transfer/FileCodecUnit.h"
#include "transfer/FileReceiveUnit.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class TTransferService;

// The receiver's dialog for one offer ("Handle Request and Receiving"):
// accept or decline, then "Hide" while the files arrive, with their progress
// and a Cancel that stops the stream on this side. Modeless, one per
// offer; it owns a request handle while it waits, so the sender's cancel, the
// arrival and a termination reach it. Deletes itself when closed.
class TReceiveRequestDialog final : public QDialog {
    Q_OBJECT
public:
    enum TMode { rmNew, rmCancelled, rmQueued, rmQueuedCancelled, rmTerminated };
    enum TState { rsPending = 0, rsCancelled = 1, rsReceiving = 2, rsTerminated = 3, rsStopping = 4 };

    // offer: the request (for a notice or a termination: the sender's fields).
    TReceiveRequestDialog(TTransferService& service, TOnlineNotify offer, TMode mode, bool onlyUserNickname,
                          QWidget* parent = nullptr);
    ~TReceiveRequestDialog() override;

    // This dialog's request handle; 0 when it waits for nothing.
    qint32 Handle() const { return FHandle; }
    TState State() const { return FState; }
    const TOnlineNotify& Offer() const { return FOffer; }
    QLabel* TextLabel() const { return FText; }
    // What can be known before the files come: the sender's address and the
    // folder they will be stored in.
    QLabel* DetailsLabel() const { return FDetails; }
    // What a Quillmate sender said is coming: the count, total size and the
    // first names; hidden when the offer did not say.
    QLabel* OfferedLabel() const { return FOffered; }
    QPushButton* OkButton() const { return FOk; }
    QPushButton* CancelButton() const { return FCancel; }
    // The current file's bytes, and a line with the files and bytes so far.
    QProgressBar* ProgressBar() const { return FBar; }
    QLabel* ProgressLabel() const { return FProgressText; }

    void OkClick();
    void CancelClick();
    // Escape and the title bar's close only hide a transfer under way; Cancel stops it.
    void reject() override;

signals:
    // Everything arrived: the receive window should open for it.
    void Received(const TFilesArrival& arrival);

protected:
    bool event(QEvent* e) override;

private:
    void ShowCancelled();
    void ShowTerminated();
    QString SenderName() const;
    void ShowProgress(const TReceiveProgress& progress);
    void ShowOffered();

    TTransferService& FService;
    TOnlineNotify FOffer;
    const bool FOnlyUserNickname;
    TState FState = rsPending;
    qint32 FHandle = 0;
    QLabel* FText;
    QLabel* FDetails;
    QLabel* FOffered;
    QPushButton* FOk;
    QPushButton* FCancel;
    QProgressBar* FBar;
    QLabel* FProgressText;
};
