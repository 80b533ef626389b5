#pragma once

#include "protocol/CommConstsUnit.h"
#include "transfer/widgets/FileHooksUnit.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;
class TFolderPackJob;
class TOutgoingTransfer;
struct TSendResult;

// The layout shared by the progress dialogs: two lines of text, a bar and
// Cancel, centred over the window that opened it. Closing it any other way
// than by its result means Cancel.
class TFileProgressDialog : public QDialog {
    Q_OBJECT
public:
    // messageBox: the file window's, for the questions Cancel asks.
    TFileProgressDialog(TFileFormHooks::TMessageBox messageBox, QWidget* owner);

    QLabel* Line1() const { return FLine1; }
    QLabel* Line2() const { return FLine2; }
    QProgressBar* Bar() const { return FBar; }
    QPushButton* CancelButton() const { return FCancel; }
    // What Cancel (or Escape, or the close box) does.
    virtual void CancelClick() = 0;
    void reject() override { CancelClick(); }

protected:
    void showEvent(QShowEvent* e) override;
    // Closes as cancelled, bypassing CancelClick.
    void CloseCanceled() { QDialog::done(Rejected); }

    TFileFormHooks::TMessageBox FMessageBox;

private:
    QLabel* FLine1;
    QLabel* FLine2;
    QProgressBar* FBar;
    QPushButton* FCancel;
};

// Streams the rows of a file window: "Current: %d / Total: %d", the path, a
// bar per file; Cancel (asked first) stops before the next file. Accepted when
// the transfer succeeded (at least one file went, not stopped).
class TSendProgressDialog final : public TFileProgressDialog {
    Q_OBJECT
public:
    TSendProgressDialog(TOutgoingTransfer& transfer, QStringList paths, TFileFormHooks::TMessageBox messageBox,
                        QWidget* owner);
    // Starts the stream; the dialog closes when it ends.
    void Begin();
    void CancelClick() override;
    bool StopRequested() const { return FStopRequested; }

private:
    void FileBegin(int index, qint64 size);
    void Finished(const TSendResult& result);

    TOutgoingTransfer& FTransfer;
    const QStringList FPaths;
    bool FStopRequested = false;
    bool FEnded = false;
};

// Packs folders: "Compressing folder: %s", the file being added, the percent.
// Cancel (asked first) stops and deletes the whole batch. Accepted when all
// folders are done.
class TCompressProgressDialog final : public TFileProgressDialog {
    Q_OBJECT
public:
    TCompressProgressDialog(TFolderPackJob& job, TFileFormHooks::TMessageBox messageBox, QWidget* owner);
    void Begin();
    void CancelClick() override;

private:
    TFolderPackJob& FJob;
    bool FCanceling = false;
};

// Waits for the peer's answer to an offer. Accepted on "+"; a decline shows
// the reason and Cancel then closes without asking; a confirmed Cancel while
// waiting withdraws the offer.
class TRequestWaitDialog final : public QDialog {
    Q_OBJECT
public:
    TRequestWaitDialog(TOutgoingTransfer& transfer, const QString& displayName, TFileFormHooks::TMessageBox messageBox,
                       QWidget* owner);
    // Sends the offer; false (after the error box) when it could not go.
    bool Begin();
    QLabel* TextLabel() const { return FText; }
    QPushButton* CancelButton() const { return FCancel; }
    bool Declined() const { return FDeclined; }
    void CancelClick();
    void reject() override { CancelClick(); }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void Replied(bool accepted, const QString& reason);

    TOutgoingTransfer& FTransfer;
    const QString FDisplayName;
    TFileFormHooks::TMessageBox FMessageBox;
    QLabel* FText;
    QPushButton* FCancel;
    bool FDeclined = false;
};

// Centres dialog over owner's frame (or the screen without one).
void CenterOver(QWidget* dialog, QWidget* owner);
