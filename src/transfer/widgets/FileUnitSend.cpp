// The file window's send side: adding files and folders, the consignee, the request and its transfer.
#include "transfer/widgets/FileUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "presence/OnlineStateUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "presence/widgets/OnlineUserMenuUnit.h"
#include "text/UILangUnit.h"
#include "transfer/CompressThreadUnit.h"
#include "transfer/SendBatchUnit.h"
#include "transfer/OutgoingTransferUnit.h"
#include "transfer/TransferServiceUnit.h"
#include "transfer/widgets/FileDialogsUnit.h"
#include "transfer/widgets/FileHooksUnit.h"
#include "ui/AppImagesUnit.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

namespace {
// Turns std::unique_ptr into a later delete: the object may be inside one of its own signals.
template <typename T> void DeleteLater(std::unique_ptr<T>& owner) {
    if (owner) owner.release()->deleteLater();
}
} // namespace

void TFileForm::BuildSendToolBar() {
    auto* addMenu = new QMenu(this);
    addMenu->setObjectName(QStringLiteral("pmAdd"));
    QAction* add = AddAction(FToolBar, "tbtnAddFile", "SEND_ADD_FILE");
    add->setMenu(addMenu);
    connect(add, &QAction::triggered, this, &TFileForm::AddFileClick);
    connect(AddAction(addMenu, "miAddFile", "SEND_ADD_FILE"), &QAction::triggered, this, &TFileForm::AddFileClick);
    connect(AddAction(addMenu, "miAddFolder", "SEND_ADD_FOLDER"), &QAction::triggered, this, &TFileForm::AddFolderClick);
    connect(AddAction(FToolBar, "tbtnDeleteFile", "SMALL_REDCROSS"), &QAction::triggered, this,
            &TFileForm::DeleteSelectedRows);
    FToolBar->addSeparator();
    QAction* onTop = AddAction(FToolBar, "tbtnOnTop", "SEND_ONTOP");
    onTop->setCheckable(true);
    connect(onTop, &QAction::triggered, this, &TFileForm::OnTopClick);
    QAction* autoClose = AddAction(FToolBar, "tbtnAutoClose", "SEND_AUTOCLOSE");
    autoClose->setCheckable(true);
    connect(autoClose, &QAction::triggered, this, &TFileForm::AutoCloseClick);
    QAction* views = AddAction(FToolBar, "tbtnViews", "SEND_VIEWS");
    views->setMenu(FViewMenu);
    connect(views, &QAction::triggered, this, &TFileForm::ViewsClick);
    FToolBar->addSeparator();
    auto* consigneeMenu = new QMenu(this);
    consigneeMenu->setObjectName(QStringLiteral("pmConsignee"));
    QAction* consignee = AddAction(FToolBar, "tbtnSelComputer", "SEND_CHANGE_RECEIVER");
    consignee->setMenu(consigneeMenu);
    connect(AddAction(consigneeMenu, "miNetwork", "SEND_BROWSECOMPUTER"), &QAction::triggered, this,
            &TFileForm::ChangeFromNetworkClick);
    QMenu* online = consigneeMenu->addMenu(QString());
    online->menuAction()->setObjectName(QStringLiteral("miOnline"));
    connect(consigneeMenu, &QMenu::aboutToShow, this, [this, online] { BuildOnlineMenu(online); });
    connect(AddAction(FToolBar, "tbtnSendFile", "U_COMMAND_SENDFILE"), &QAction::triggered, this, &TFileForm::SendFileClick);
    // Buttons with a menu drop it down from their arrow; the button itself runs its command.
    for (const char* name : {"tbtnAddFile", "tbtnViews"})
        if (auto* button = qobject_cast<QToolButton*>(FToolBar->widgetForAction(Action(QString::fromLatin1(name)))))
            button->setPopupMode(QToolButton::MenuButtonPopup);
    if (auto* button = qobject_cast<QToolButton*>(FToolBar->widgetForAction(consignee)))
        button->setPopupMode(QToolButton::InstantPopup);
    onTop->setChecked(SharedOnTop());
}

// ---------------------------------------------------------------- adding

void TFileForm::AddPaths(const QStringList& paths, const QString& displayName) {
    if (FMode != fmSend) return;
    // Paths that vanished since they were dropped or chosen are passed over.
    const TSendPaths sorted = TSendBatch::Sort(paths);
    for (const QString& file : sorted.Files) AddFileRow(file);
    UpdateFileTotals();
    QStringList refused;
    for (const auto& [path, why] : sorted.Refused) refused << why;
    if (!refused.isEmpty())
        FContext.Hooks.MessageBox(this, Utils::TMessageBoxKind::Information, refused.join(QLatin1Char('\n')));
    if (!sorted.Folders.isEmpty()) AddFolders(sorted.Folders, displayName);
}

void TFileForm::AddFileRow(const QString& path) {
    for (const TShellItem& item : FList->Items())
        if (item.Path == path) return; // already listed: sending it twice helps nobody
    TShellItem item = TShellFileList::MakeItem(path);
    if (!item.Path.isEmpty()) FList->Append(std::move(item));
}

void TFileForm::AddFileClick() {
    const QStringList files = FContext.Hooks.ChooseFiles(this);
    if (files.isEmpty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    AddPaths(files);
    QApplication::restoreOverrideCursor();
}

void TFileForm::AddFolderClick() {
    TApplicationParams& p = *FContext.Params;
    const QString folder =
        FContext.Hooks.ChooseFolder(this, Translate(QStringLiteral("Please select a folder.")), p[spLastAddFolder]);
    if (folder.isEmpty()) return;
    p[spLastAddFolder] = folder;
    AddPaths({folder}, QDir(folder).dirName());
}

void TFileForm::AddFolders(const QStringList& folders, const QString& displayName) {
    if (FPackJob) return; // one packing at a time; its dialog is modal anyway
    FPackJob = FBatch.Pack(folders, displayName, (*FContext.Params)[ipCompressionRatio]);
    const QStringList archives = FPackJob->ArchivePaths();
    auto problems = std::make_shared<QStringList>();
    connect(FPackJob.get(), &TFolderPackJob::FolderDone, this, [folders, problems](int index, const TPackResult& result) {
        const QString folder = QDir::toNativeSeparators(folders.value(index));
        if (!result.Ok && !result.Canceled)
            *problems << TranslateFormat(QStringLiteral("The folder %s could not be packed: %s"), {folder, result.Error});
        else if (!result.Skipped.isEmpty())
            *problems << TranslateFormat(QStringLiteral("Some files of the folder %s could not be read and were left out: %s"),
                                         {folder, result.Skipped.join(QStringLiteral(", "))});
    });
    auto* dialog = new TCompressProgressDialog(*FPackJob, FContext.Hooks.MessageBox, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, folders, archives, problems](int code) {
        const bool canceled = code != QDialog::Accepted;
        if (!canceled) {
            for (qsizetype i = 0; i < archives.size(); ++i) {
                // A folder whose archive could not be written has no row.
                TShellItem item = TShellFileList::MakeItem(archives[i]);
                if (item.Path.isEmpty()) continue;
                item.IsArchive = true;
                item.SourceFolder = QDir::toNativeSeparators(folders[i]);
                FList->Append(std::move(item));
            }
        }
        DeleteLater(FPackJob);
        UpdateFileTotals();
        if (!canceled && !problems->isEmpty())
            FContext.Hooks.MessageBox(this, Utils::TMessageBoxKind::Error, problems->join(QLatin1Char('\n')));
        emit PackingFinished(canceled);
    });
    dialog->open();
    dialog->Begin();
    UpdateCommands();
}

void TFileForm::DeleteSelectedRows() {
    if (FMode != fmSend || FSendState != ssComposing) return;
    for (const TShellItem& item : FList->RemoveRows(SelectedRows()))
        if (item.IsArchive) FBatch.Remove(item.Path);
    UpdateFileTotals();
}

// ---------------------------------------------------------------- consignee and window

void TFileForm::OnTopClick() {
    const bool on = !SharedOnTop();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    show();
    SetSharedOnTop(on);
    Action(QStringLiteral("tbtnOnTop"))->setChecked(on);
}

void TFileForm::AutoCloseClick() {
    TApplicationParams& p = *FContext.Params;
    p[bpCloseAfterSendFile] = !p[bpCloseAfterSendFile];
    Action(QStringLiteral("tbtnAutoClose"))->setChecked(p[bpCloseAfterSendFile]);
}

void TFileForm::ChangeConsignee(const TRecipient& peer, bool hasNickname) {
    const QString id = FPeer.UserId;
    FPeer = peer;
    FPeer.UserId = id; // the window stays registered under the peer it was opened for
    FHasNickname = hasNickname;
    UpdateCaption();
}

void TFileForm::ChangeFromNetworkClick() {
    const TFileFormHooks::TChosenComputer chosen = FContext.Hooks.ChooseComputer(this);
    const QString name = chosen.Name;
    if (name.isEmpty()) return;
    // The neighbourhood resolved it already (NetBIOS names the system resolver may not know).
    const QHostAddress known(chosen.Address);
    if (known.protocol() == QAbstractSocket::IPv4Protocol) {
        ChangeConsignee({QString(), name, known.toString(), QString(), QString()}, false);
        return;
    }
    QHostInfo::lookupHost(name, this, [this, name](const QHostInfo& info) {
        for (const QHostAddress& address : info.addresses()) {
            if (address.protocol() != QAbstractSocket::IPv4Protocol) continue;
            ChangeConsignee({QString(), name, address.toString(), QString(), QString()}, false);
            return;
        }
        FContext.Hooks.MessageBox(this, Utils::TMessageBoxKind::Information,
                                   QStringLiteral("Error to get %1's IP address.").arg(name));
    });
}

void TFileForm::BuildOnlineMenu(QMenu* menu) {
    menu->clear();
    if (!FContext.OnlineModel) return;
    for (const TOnlineUserItem& item :
         AddOnlineUserItems(menu, *FContext.OnlineModel, (*FContext.Params)[bpOnlyUserNickname]))
        connect(item.Action, &QAction::triggered, this,
                [this, peer = item.User, nick = item.HasNickname] { ChangeConsignee(peer, nick); });
}

// ---------------------------------------------------------------- sending

void TFileForm::SendFileClick() {
    if (FMode != fmSend || FList->rowCount() == 0 || FSendState != ssComposing || FPackJob) return;
    QList<TSendRow> rows;
    for (const TShellItem& item : FList->Items()) rows.append({item.Path, item.IsArchive, item.SourceFolder});
    FTransfer = FContext.Transfer->CreateOutgoing(FPeer, rows);
    auto* wait = new TRequestWaitDialog(*FTransfer, DisplayName(), FContext.Hooks.MessageBox, this);
    wait->setAttribute(Qt::WA_DeleteOnClose);
    if (!wait->Begin()) {
        delete wait;
        FTransfer.reset();
        SetResult(Translate(QStringLiteral("Sending canceled.")));
        return;
    }
    FSendState = ssWaiting;
    UpdateCommands();
    // The status tells of this request from now on, not of the last one.
    SetResult(TranslateFormat(QStringLiteral("Send request to: %s and wait for reply now."), {DisplayName()}));
    connect(FTransfer.get(), &TOutgoingTransfer::Replied, this, [this](bool accepted) {
        if (!accepted) SetResult(TranslateFormat(QStringLiteral("%s has declined your request."), {DisplayName()}));
    });
    connect(wait, &QDialog::finished, this, [this, wait](int code) {
        if (code == QDialog::Accepted) {
            StartTransfer();
            return;
        }
        const bool declined = wait->Declined();
        RetireTransfer();
        FSendState = ssComposing;
        if (!declined) SetResult(Translate(QStringLiteral("Sending canceled.")));
        UpdateCommands();
        emit SendFinished(ResultText());
    });
    wait->open();
}

void TFileForm::RetireTransfer() {
    // It may be inside one of its own signals now; it goes with the next request or the window.
    // (A later delete could outlive the transfer service it holds a handle of.)
    FRetiredTransfer = std::move(FTransfer);
}

void TFileForm::StartTransfer() {
    FSendState = ssTransferring;
    QStringList paths;
    for (const TShellItem& item : FList->Items()) paths << item.Path;
    auto* progress = new TSendProgressDialog(*FTransfer, paths, FContext.Hooks.MessageBox, this);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    connect(progress, &QDialog::finished, this, [this](int code) { TransferEnded(code == QDialog::Accepted); });
    progress->open();
    progress->Begin();
}

void TFileForm::TransferEnded(bool accepted) {
    const TSendResult result = FTransfer ? FTransfer->Result() : TSendResult();
    RetireTransfer();
    FSendState = ssComposing;
    QString text = Translate(QStringLiteral("Sending canceled."));
    if (!result.Connected && !result.Canceled) {
        FContext.Hooks.MessageBox(this, Utils::TMessageBoxKind::Error,
                                   TranslateFormat(QStringLiteral("Can not connect to %s."), {DisplayName()}));
    } else if (result.Canceled || result.Aborted) {
        // The receiver deletes what arrived: nothing of this request counts.
        FList->ClearMarks();
    } else if (result.StoppedByRecipient) {
        // It deleted what arrived, as on our cancel.
        FList->ClearMarks();
        text = Translate(QStringLiteral("The recipient stopped the transfer."));
    } else {
        QStringList failed;
        for (int i = 0; i < result.Files.size() && i < FList->rowCount(); ++i) {
            if (result.Files[i].Kind == TFileOutcomeKind::Sent) FList->SetMarked(i, true);
            else failed << FList->Item(i).DisplayName + QStringLiteral(": ") + TTransferService::OutcomeText(result.Files[i]);
        }
        if (!failed.isEmpty())
            FContext.Hooks.MessageBox(this, Utils::TMessageBoxKind::Error,
                                       Translate(QStringLiteral("These files were not sent:")) + QLatin1Char('\n') +
                                           failed.join(QLatin1Char('\n')));
        if (accepted && result.Success()) {
            bool all = true;
            for (const TShellItem& item : FList->Items()) all = all && item.Marked;
            text = all ? Translate(QStringLiteral("All sent successfully.")) : Translate(QStringLiteral("Part sent successfully."));
            SetResult(text);
            UpdateCommands();
            emit SendFinished(text);
            if (all && (*FContext.Params)[bpCloseAfterSendFile]) {
                showMinimized();
                close();
            }
            return;
        }
    }
    SetResult(text);
    UpdateCommands();
    emit SendFinished(text);
}
