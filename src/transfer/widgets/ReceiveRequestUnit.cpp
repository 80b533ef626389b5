#include "transfer/widgets/ReceiveRequestUnit.h"

#include "core/PostedEventUnit.h"
#include "core/UtilsUnit.h"
#include "text/UILangUnit.h"
#include "transfer/TransferServiceUnit.h"
#include "transfer/widgets/FileListUnit.h"
#include "ui/AppImagesUnit.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TReceiveRequestDialog::TReceiveRequestDialog(TTransferService& service, TOnlineNotify offer, TMode mode,
                                             bool onlyUserNickname, QWidget* parent)
    : QDialog(parent), FService(service), FOffer(std::move(offer)), FOnlyUserNickname(onlyUserNickname) {
    setObjectName(QStringLiteral("ReceiveRequestDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(Translate(QStringLiteral("Handle Request and Receiving")));
    setWindowIcon(TAppImages::Instance().Icon(QStringLiteral("SEND_FILERECEIVED")));
    auto* layout = new QVBoxLayout(this);
    FText = new QLabel(this);
    FText->setObjectName(QStringLiteral("lblText"));
    FText->setTextFormat(Qt::PlainText);
    FText->setWordWrap(true);
    FText->setMinimumSize(340, 60);
    layout->addWidget(FText, 1);
    FDetails = new QLabel(this);
    FDetails->setObjectName(QStringLiteral("lblDetails"));
    FDetails->setTextFormat(Qt::PlainText);
    FDetails->setWordWrap(true);
    FDetails->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FDetails->setText(TranslateFormat(QStringLiteral("From: %s at %s"), {SenderName(), FOffer.IPAddress}) +
                      QLatin1Char('\n') +
                      TranslateFormat(QStringLiteral("Stored in: %s"), {FService.ReceiveFolder(FOffer)}));
    layout->addWidget(FDetails);
    FOffered = new QLabel(this);
    FOffered->setObjectName(QStringLiteral("lblOffered"));
    FOffered->setTextFormat(Qt::PlainText);
    FOffered->setVisible(false);
    layout->addWidget(FOffered);
    ShowOffered();
    FBar = new QProgressBar(this);
    FBar->setObjectName(QStringLiteral("pbReceive"));
    FBar->setRange(0, 1000);
    FBar->setValue(0);
    FBar->setVisible(false);
    layout->addWidget(FBar);
    FProgressText = new QLabel(this);
    FProgressText->setObjectName(QStringLiteral("lblProgress"));
    FProgressText->setTextFormat(Qt::PlainText);
    FProgressText->setVisible(false);
    layout->addWidget(FProgressText);
    connect(&FService, &TTransferService::ReceiveProgress, this, [this](qint32 handle, const TReceiveProgress& progress) {
        if (handle != 0 && handle == FHandle) ShowProgress(progress);
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    FOk = new QPushButton(Translate(QStringLiteral("OK")), this);
    FOk->setObjectName(QStringLiteral("btnOK"));
    FCancel = new QPushButton(Translate(QStringLiteral("Cancel")), this);
    FCancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(FOk);
    buttons->addWidget(FCancel);
    layout->addLayout(buttons);
    connect(FOk, &QPushButton::clicked, this, &TReceiveRequestDialog::OkClick);
    connect(FCancel, &QPushButton::clicked, this, &TReceiveRequestDialog::CancelClick);

    switch (mode) {
    case rmNew:
    case rmQueued:
        FText->setText(TranslateFormat(
            QStringLiteral("%s want to send file(s) to you. Do you accept? Click OK to accept, Cancel to decline."),
            {SenderName()}));
        FHandle = FService.Handles().Allocate(this);
        FService.SendDialogHandle(FOffer, FHandle);
        break;
    case rmCancelled: ShowCancelled(); break;
    case rmQueuedCancelled:
        FState = rsTerminated;
        FOk->setEnabled(false);
        FText->setText(TranslateFormat(
            QStringLiteral("%s want to send file(s) to you. But he(she) has canceled the request.%sClick Cancel to close."),
            {SenderName(), QStringLiteral("\n")}));
        break;
    case rmTerminated: ShowTerminated(); break;
    }

    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center().x() - width() / 2, area.center().y() - 100 - height() / 2);
    }
}

TReceiveRequestDialog::~TReceiveRequestDialog() {
    if (FHandle != 0) FService.Handles().Release(FHandle);
}

QString TReceiveRequestDialog::SenderName() const {
    return Utils::DisplayName(true, FOffer.NickName, FOffer.ComputerName, FOnlyUserNickname);
}

void TReceiveRequestDialog::ShowCancelled() {
    FState = rsCancelled;
    FOk->setEnabled(false);
    FCancel->setEnabled(true);
    FText->setText(TranslateFormat(QStringLiteral("%s has canceled the request. Click Cancel to close."), {SenderName()}));
}

void TReceiveRequestDialog::ShowTerminated() {
    FState = rsTerminated;
    FOk->setEnabled(false);
    FCancel->setEnabled(true);
    FText->setText(TranslateFormat(
        QStringLiteral("%s has terminated the file transport, no file will be received.%sClick Cancel to close."),
        {SenderName(), QStringLiteral("\n")}));
}

void TReceiveRequestDialog::ShowOffered() {
    const TOfferedFiles& offered = FOffer.Offered;
    if (offered.Files <= 0) return;
    QStringList lines{TranslateFormat(QStringLiteral("%d file(s), %s in all:"),
                                      {qint64(offered.Files), TShellFileList::SizeText(offered.Bytes)})};
    // A short list: long names are cut in the middle, whole in the tooltip.
    constexpr int kShown = 5;
    const qsizetype shown = qMin<qsizetype>(offered.Names.size(), kShown);
    for (qsizetype i = 0; i < shown; ++i)
        lines << QStringLiteral("  ") + fontMetrics().elidedText(offered.Names[i], Qt::ElideMiddle, 320);
    if (offered.Files > shown) lines << QStringLiteral("  ") + TranslateFormat(QStringLiteral("+%d more"), {qint64(offered.Files - shown)});
    FOffered->setText(lines.join(QLatin1Char('\n')));
    FOffered->setToolTip(offered.Names.join(QLatin1Char('\n')));
    FOffered->setVisible(true);
}

void TReceiveRequestDialog::ShowProgress(const TReceiveProgress& progress) {
    if (FState != rsReceiving) return;
    // The offer's totals give the whole transfer, unless the stream outgrew them.
    const bool whole = progress.TotalFiles > 0 && progress.Files <= progress.TotalFiles &&
                       progress.Current <= progress.TotalFiles && progress.Bytes <= progress.TotalBytes;
    if (whole) {
        FBar->setValue(progress.TotalBytes > 0 ? int(progress.Bytes * 1000 / progress.TotalBytes)
                                               : progress.Files * 1000 / progress.TotalFiles);
        FProgressText->setText(TranslateFormat(
            QStringLiteral("File %d of %d: %s of %s. Received: %d file(s), %s of %s."),
            {qint64(progress.Current), qint64(progress.TotalFiles), TShellFileList::SizeText(progress.FileDone),
             TShellFileList::SizeText(progress.FileSize), qint64(progress.Files), TShellFileList::SizeText(progress.Bytes),
             TShellFileList::SizeText(progress.TotalBytes)}));
        return;
    }
    FBar->setValue(progress.FileSize > 0 ? int(progress.FileDone * 1000 / progress.FileSize) : 0);
    FProgressText->setText(TranslateFormat(QStringLiteral("File %d: %s of %s. Received: %d file(s), %s."),
                                           {qint64(progress.Current), TShellFileList::SizeText(progress.FileDone),
                                            TShellFileList::SizeText(progress.FileSize), qint64(progress.Files),
                                            TShellFileList::SizeText(progress.Bytes)}));
}

void TReceiveRequestDialog::OkClick() {
    if (FState == rsReceiving) {
        hide();
        return;
    }
    if (FState != rsPending) return;
    FService.AnswerOffer(FOffer, FHandle, true);
    FState = rsReceiving;
    FText->setText(TranslateFormat(QStringLiteral("Receiving file(s) from: %s now...%sClick Hide to run background."),
                                   {SenderName(), QStringLiteral("\n")}));
    FOk->setText(Translate(QStringLiteral("Hide")));
    FCancel->setEnabled(true);
    FBar->setVisible(true);
    FProgressText->setVisible(true);
    FProgressText->setText(Translate(QStringLiteral("Waiting for the files...")));
}

void TReceiveRequestDialog::reject() {
    if (FState == rsReceiving || FState == rsStopping) {
        hide();
        return;
    }
    CancelClick();
}

void TReceiveRequestDialog::CancelClick() {
    if (FState == rsStopping) return;
    if (FState == rsReceiving) {
        // A running stream ends at its next piece and WM_FILE_TERMINATED closes
        // this; one not begun yet is refused when it comes, so nothing waits.
        if (FService.StopReceiving(FHandle)) {
            FState = rsStopping;
            FCancel->setEnabled(false);
            FText->setText(Translate(QStringLiteral("Stopping the transfer...")));
            return;
        }
        QDialog::done(Rejected);
        return;
    }
    if (FState == rsPending) FService.AnswerOffer(FOffer, FHandle, false);
    // Closes (and deletes) without coming back here through closeEvent.
    QDialog::done(Rejected);
}

bool TReceiveRequestDialog::event(QEvent* e) {
    if (!TPostedEvent::IsPosted(e)) return QDialog::event(e);
    auto& posted = static_cast<TPostedEvent&>(*e);
    switch (posted.Id()) {
    case WM_FILE_REQUESTCANCELED: ShowCancelled(); break;
    case WM_FILE_TERMINATED:
        // Our own stop: nothing to tell.
        if (FState == rsStopping) {
            QDialog::done(Rejected);
            break;
        }
        ShowTerminated();
        if (!isVisible()) show();
        raise();
        break;
    case WM_FILE_RECEIVED:
        if (std::unique_ptr<TFilesArrival> arrival = posted.TakeRecord<TFilesArrival>()) emit Received(*arrival);
        QDialog::done(Accepted);
        break;
    default: break;
    }
    return true;
}
