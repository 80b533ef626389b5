#include "transfer/widgets/FileDialogsUnit.h"

#include "core/UtilsUnit.h"
#include "text/UILangUnit.h"
#include "transfer/CompressThreadUnit.h"
#include "transfer/FileCodecUnit.h"
#include "transfer/OutgoingTransferUnit.h"
#include "transfer/widgets/FileHooksUnit.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TFileFormHooks DefaultFileFormHooks() {
    TFileFormHooks hooks;
    hooks.MessageBox = [](QWidget* owner, Utils::TMessageBoxKind kind, const QString& text) {
        return Utils::ShowMessageBox(owner, true, kind, text);
    };
    hooks.ChooseFiles = [](QWidget* owner) {
        return QFileDialog::getOpenFileNames(owner, Translate(QStringLiteral("Select Files")), {},
                                             Translate(QStringLiteral("All Files")) + QStringLiteral(" (*)"));
    };
    hooks.ChooseFolder = [](QWidget* owner, const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(owner, title, start);
    };
    hooks.ChooseComputer = [](QWidget* owner) {
        QString name;
        if (!Utils::InputText(owner, Translate(QStringLiteral("Change From Network...")),
                              Translate(QStringLiteral("Choose a computer from windows network.")), &name))
            return TFileFormHooks::TChosenComputer{};
        return TFileFormHooks::TChosenComputer{name.trimmed(), {}};
    };
    hooks.OpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return hooks;
}

void CenterOver(QWidget* dialog, QWidget* owner) {
    QRect area = owner ? owner->frameGeometry() : QRect();
    if (area.isEmpty() && QGuiApplication::primaryScreen()) area = QGuiApplication::primaryScreen()->availableGeometry();
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(area.center());
    dialog->move(frame.topLeft());
}

// ---------------------------------------------------------------- progress

TFileProgressDialog::TFileProgressDialog(TFileFormHooks::TMessageBox messageBox, QWidget* owner)
    : QDialog(owner), FMessageBox(std::move(messageBox)) {
    setWindowModality(Qt::WindowModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("Quillmate"));
    auto* layout = new QVBoxLayout(this);
    FLine1 = new QLabel(this);
    FLine1->setObjectName(QStringLiteral("lblLine1"));
    FLine2 = new QLabel(this);
    FLine2->setObjectName(QStringLiteral("lblLine2"));
    // Long paths must not widen the dialog beyond the screen.
    FLine2->setMinimumWidth(360);
    FLine2->setTextFormat(Qt::PlainText);
    FLine2->setWordWrap(true);
    FBar = new QProgressBar(this);
    FBar->setObjectName(QStringLiteral("pbProgress"));
    FBar->setRange(0, 100);
    FBar->setValue(0);
    FCancel = new QPushButton(Translate(QStringLiteral("Cancel")), this);
    FCancel->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(FLine1);
    layout->addWidget(FLine2);
    layout->addWidget(FBar);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(FCancel);
    layout->addLayout(buttons);
    connect(FCancel, &QPushButton::clicked, this, [this] { CancelClick(); });
}

void TFileProgressDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    CenterOver(this, parentWidget());
}

TSendProgressDialog::TSendProgressDialog(TOutgoingTransfer& transfer, QStringList paths,
                                         TFileFormHooks::TMessageBox messageBox, QWidget* owner)
    : TFileProgressDialog(std::move(messageBox), owner), FTransfer(transfer), FPaths(std::move(paths)) {
    setObjectName(QStringLiteral("SendProgressDialog"));
    Line1()->setText(TranslateFormat(QStringLiteral("Current: %d / Total: %d"), {QString::number(0), QString::number(FPaths.size())}));
    connect(&FTransfer, &TOutgoingTransfer::FileBegin, this, &TSendProgressDialog::FileBegin);
    connect(&FTransfer, &TOutgoingTransfer::Progress, this, [this](int, qint64 done, qint64) {
        Bar()->setValue(int(qMin<qint64>(done, Bar()->maximum())));
    });
    connect(&FTransfer, &TOutgoingTransfer::Finished, this, &TSendProgressDialog::Finished);
}

void TSendProgressDialog::Begin() { FTransfer.Start(); }

void TSendProgressDialog::FileBegin(int index, qint64 size) {
    Bar()->setRange(0, int(qBound<qint64>(0, size, MaxStreamFileSize)));
    Bar()->setValue(0);
    // The last file cannot be stopped before "the next one".
    if (FPaths.size() == 1 || index == FPaths.size() - 1) CancelButton()->setEnabled(false);
    Line1()->setText(TranslateFormat(QStringLiteral("Current: %d / Total: %d"),
                                     {QString::number(index + 1), QString::number(FPaths.size())}));
    Line2()->setText(QDir::toNativeSeparators(FPaths.value(index)));
}

void TSendProgressDialog::Finished(const TSendResult& result) {
    FEnded = true;
    done(result.Success() ? Accepted : Rejected);
}

void TSendProgressDialog::CancelClick() {
    if (FEnded || !FTransfer.IsRunning()) {
        CloseCanceled();
        return;
    }
    if (FStopRequested || !CancelButton()->isEnabled()) return;
    FTransfer.SetPaused(true);
    const bool yes = FMessageBox(this, Utils::TMessageBoxKind::Question,
                                                Translate(QStringLiteral("Are you sure to cancel the file transfer?"))) ==
                     Utils::TMessageBoxResult::Yes;
    // The stream may have ended while the question was open.
    if (yes && !FEnded) {
        FStopRequested = true;
        FTransfer.Stop();
        CancelButton()->setEnabled(false);
    }
    FTransfer.SetPaused(false);
}

TCompressProgressDialog::TCompressProgressDialog(TFolderPackJob& job, TFileFormHooks::TMessageBox messageBox,
                                                 QWidget* owner)
    : TFileProgressDialog(std::move(messageBox), owner), FJob(job) {
    setObjectName(QStringLiteral("CompressProgressDialog"));
    Line1()->setText(Translate(QStringLiteral("Compressing folder:")));
    connect(&FJob, &TFolderPackJob::FolderStarted, this, [this](int, const QString& folder) {
        Line1()->setText(TranslateFormat(QStringLiteral("Compressing folder: %s"), {QDir::toNativeSeparators(folder)}));
        Line2()->clear();
        Bar()->setValue(0);
    });
    connect(&FJob, &TFolderPackJob::CurrentFile, this, [this](const QString& path) { Line2()->setText(path); });
    connect(&FJob, &TFolderPackJob::Percent, this, [this](int percent) { Bar()->setValue(qBound(0, percent, 100)); });
    connect(&FJob, &TFolderPackJob::Finished, this, [this](bool canceled) { done(canceled ? Rejected : Accepted); });
}

void TCompressProgressDialog::Begin() { FJob.Start(); }

void TCompressProgressDialog::CancelClick() {
    if (FCanceling) return;
    FJob.SetPaused(true);
    const bool yes = FMessageBox(this, Utils::TMessageBoxKind::Question,
                                                Translate(QStringLiteral("Are you sure to stop adding the folder?"))) ==
                     Utils::TMessageBoxResult::Yes;
    if (yes) {
        // The job deletes the batch's archives and then reports Finished(true).
        FCanceling = true;
        CancelButton()->setEnabled(false);
        FJob.Cancel();
    } else {
        FJob.SetPaused(false);
    }
}

// ---------------------------------------------------------------- wait

TRequestWaitDialog::TRequestWaitDialog(TOutgoingTransfer& transfer, const QString& displayName,
                                       TFileFormHooks::TMessageBox messageBox, QWidget* owner)
    : QDialog(owner), FTransfer(transfer), FDisplayName(displayName), FMessageBox(std::move(messageBox)) {
    setObjectName(QStringLiteral("RequestWaitDialog"));
    setWindowModality(Qt::WindowModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("Quillmate"));
    auto* layout = new QVBoxLayout(this);
    FText = new QLabel(this);
    FText->setObjectName(QStringLiteral("lblText"));
    FText->setTextFormat(Qt::PlainText);
    FText->setWordWrap(true);
    FText->setMinimumWidth(320);
    FCancel = new QPushButton(Translate(QStringLiteral("Cancel")), this);
    FCancel->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(FText, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(FCancel);
    layout->addLayout(buttons);
    FText->setText(TranslateFormat(QStringLiteral("Send request to: %s and wait for reply now."), {FDisplayName}));
    connect(FCancel, &QPushButton::clicked, this, &TRequestWaitDialog::CancelClick);
    connect(&FTransfer, &TOutgoingTransfer::Replied, this, &TRequestWaitDialog::Replied);
}

bool TRequestWaitDialog::Begin() {
    if (FTransfer.Offer()) return true;
    FMessageBox(parentWidget(), Utils::TMessageBoxKind::Error,
                               TranslateFormat(QStringLiteral("Can not connect to %s."), {FDisplayName}));
    return false;
}

void TRequestWaitDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    CenterOver(this, parentWidget());
}

void TRequestWaitDialog::Replied(bool accepted, const QString& reason) {
    if (accepted) {
        accept();
        return;
    }
    FDeclined = true;
    const QString declined = TranslateFormat(QStringLiteral("%s has declined your request."), {FDisplayName});
    const QString breakAndReason = reason.isEmpty() ? QString() : QStringLiteral("\n") + reason;
    FText->setText(TranslateFormat(QStringLiteral("%s%s%sClick Cancel to close."),
                                   {declined, breakAndReason, QStringLiteral("\n")}));
}

void TRequestWaitDialog::CancelClick() {
    if (FDeclined) {
        QDialog::done(Rejected);
        return;
    }
    if (FMessageBox(this, Utils::TMessageBoxKind::Question,
                                   Translate(QStringLiteral("Are you sure to cancel the request?"))) !=
        Utils::TMessageBoxResult::Yes)
        return;
    // The answer may have come while the question was open.
    if (result() == Accepted || !isVisible()) return;
    if (FDeclined) {
        QDialog::done(Rejected);
        return;
    }
    FTransfer.Withdraw();
    QDialog::done(Rejected);
}
