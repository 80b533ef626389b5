// The file window's send side: adding files and folders, the consignee, the request and its transfer.
#include "transfer/widgets/FileUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "presence/OnlineStateUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "text/UILangUnit.h"
#include "transfer/CompressThreadUnit.h"
#include "transfer/FileLogUnit.h"
#include "transfer/FileNamesUnit.h"
#include "transfer/OutgoingTransferUnit.h"
#include "transfer/TransferServiceUnit.h"
#include "transfer/widgets/FileDialogsUnit.h"
#include "transfer/widgets/FileHooksUnit.h"
#include "ui/AppImagesUnit.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
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
    QStringList folders;
    QStringList refused;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            folders << info.absoluteFilePath();
            continue;
        }
        if (!info.exists()) continue;
        const QString why = TTransferService::CheckSendable(path);
        if (!why.isEmpty()) {
            refused << why;
            continue;
        }
        AddFileRow(info.absoluteFilePath());
    }
    UpdateFileTotals();
    if (!refused.isEmpty())
        FileFormHooks().MessageBox(this, Utils::TMessageBoxKind::Information, refused.join(QLatin1Char('\n')));
    if (!folders.isEmpty()) AddFolders(folders, displayName);
}

void TFileForm::AddFileRow(const QString& path) {
    for (const TShellItem& item : FList->Items())
        if (item.Path == path) return; // already listed: sending it twice helps nobody
    TShellItem item = TShellFileList::MakeItem(path);
    if (!item.Path.isEmpty()) FList->Append(std::move(item));
}

void TFileForm::AddFileClick() {
    const QStringList files = FileFormHooks().ChooseFiles(this);
    if (files.isEmpty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    AddPaths(files);
    QApplication::restoreOverrideCursor();
}

void TFileForm::AddFolderClick() {
    TApplicationParams& p = *FContext.Params;
    const QString folder =
        FileFormHooks().ChooseFolder(this, Translate(QStringLiteral("Please select a folder.")), p[spLastAddFolder]);
    if (folder.isEmpty()) return;
    p[spLastAddFolder] = folder;
    AddPaths({folder}, QDir(folder).dirName());
}

void TFileForm::AddFolders(const QStringList& folders, const QString& displayName) {
    if (FPackJob) return; // one packing at a time; its dialog is modal anyway
    const QString temp = Utils::GetTempFolder();
    QStringList archives;
    for (const QString& name : FileNames::ArchiveNames(folders, folders.size() == 1 ? displayName : QString(), temp))
        archives << temp + name + QStringLiteral(".zip");
    FPackJob = std::make_unique<TFolderPackJob>(folders, archives, CompressionLevel((*FContext.Params)[ipCompressionRatio]));
    auto problems = std::make_shared<QStringList>();
    connect(FPackJob.get(), &TFolderPackJob::FolderDone, this, [folders, problems](int index, const TPackResult& result) {
        const QString folder = QDir::toNativeSeparators(folders.value(index));
        if (!result.Ok && !result.Canceled)
            *problems << TranslateFormat(QStringLiteral("The folder %s could not be packed: %s"), {folder, result.Error});
        else if (!result.Skipped.isEmpty())
            *problems << TranslateFormat(QStringLiteral("Some files of the folder %s could not be read and were left out: %s"),
                                         {folder, result.Skipped.join(QStringLiteral(", "))});
    });
    auto* dialog = new TCompressProgressDialog(*FPackJob, this);
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
            FileFormHooks().MessageBox(this, Utils::TMessageBoxKind::Error, problems->join(QLatin1Char('\n')));
        emit PackingFinished(canceled);
    });
    dialog->open();
    dialog->Begin();
    UpdateCommands();
}

void TFileForm::DeleteSelectedRows() {
    if (FMode != fmSend || FSendState != ssComposing) return;
    for (const TShellItem& item : FList->RemoveRows(SelectedRows()))
        if (item.IsArchive) QFile::remove(item.Path);
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
    const QString name = FileFormHooks().ChooseComputer(this);
    if (name.isEmpty()) return;
    QHostInfo::lookupHost(name, this, [this, name](const QHostInfo& info) {
        for (const QHostAddress& address : info.addresses()) {
            if (address.protocol() != QAbstractSocket::IPv4Protocol) continue;
            ChangeConsignee({QString(), name, address.toString(), QString(), QString()}, false);
            return;
        }
        FileFormHooks().MessageBox(this, Utils::TMessageBoxKind::Information,
                                   QStringLiteral("Error to get %1's IP address.").arg(name));
    });
}

void TFileForm::BuildOnlineMenu(QMenu* menu) {
    menu->clear();
    if (!FContext.OnlineModel) return;
    const bool only = (*FContext.Params)[bpOnlyUserNickname];
    const QList<QModelIndex> users = FContext.OnlineModel->UserIndexes();
    for (auto it = users.crbegin(); it != users.crend(); ++it) {
        const TUserNodeData* user = FContext.OnlineModel->NodeData(*it);
        if (!user || user->IsGroup) continue;
        const bool nick = !user->NickName.isEmpty();
        QString caption = Utils::DisplayName(nick, user->NickName, user->ComputerName, only);
        QAction* item = menu->addAction(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));
        item->setIcon(FContext.OnlineModel->data(*it, Qt::DecorationRole).value<QIcon>());
        const TRecipient peer{user->NickName, user->ComputerName, user->IPAddress, QString(), user->UserId};
        connect(item, &QAction::triggered, this, [this, peer, nick] { ChangeConsignee(peer, nick); });
    }
}

// ---------------------------------------------------------------- sending

void TFileForm::SendFileClick() {
    if (FMode != fmSend || FList->rowCount() == 0 || FSendState != ssComposing || FPackJob) return;
    QList<TSendRow> rows;
    for (const TShellItem& item : FList->Items()) rows.append({item.Path, item.IsArchive, item.SourceFolder});
    FTransfer = FContext.Transfer->CreateOutgoing(FPeer, rows);
    auto* wait = new TRequestWaitDialog(*FTransfer, DisplayName(), this);
    wait->setAttribute(Qt::WA_DeleteOnClose);
    if (!wait->Begin()) {
        delete wait;
        FTransfer.reset();
        SetResult(Translate(QStringLiteral("Sending canceled.")));
        return;
    }
    FSendState = ssWaiting;
    UpdateCommands();
    connect(wait, &QDialog::finished, this, [this](int code) {
        if (code == QDialog::Accepted) {
            StartTransfer();
            return;
        }
        RetireTransfer();
        FSendState = ssComposing;
        SetResult(Translate(QStringLiteral("Sending canceled.")));
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
    auto* progress = new TSendProgressDialog(*FTransfer, paths, this);
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
        FileFormHooks().MessageBox(this, Utils::TMessageBoxKind::Error,
                                   TranslateFormat(QStringLiteral("Can not connect to %s."), {DisplayName()}));
    } else if (result.Canceled || result.Aborted) {
        // The receiver deletes what arrived: nothing of this request counts.
        FList->ClearMarks();
    } else {
        QStringList failed;
        for (int i = 0; i < result.Files.size() && i < FList->rowCount(); ++i) {
            if (result.Files[i].Kind == TFileOutcomeKind::Sent) FList->SetMarked(i, true);
            else failed << FList->Item(i).DisplayName + QStringLiteral(": ") + TTransferService::OutcomeText(result.Files[i]);
        }
        if (!failed.isEmpty())
            FileFormHooks().MessageBox(this, Utils::TMessageBoxKind::Error,
                                       Translate(QStringLiteral("These files were not sent:")) + QLatin1Char('\n') +
                                           failed.join(QLatin1Char('\n')));
        if (accepted && result.Success()) {
            bool all = true;
            for (const TShellItem& item : FList->Items()) all = all && item.Marked;
            LogSentRows();
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

void TFileForm::LogSentRows() {
    if (!FContext.AddLogRecord) return;
    QStringList lines;
    for (const TShellItem& item : FList->Items()) {
        if (!item.Marked) continue;
        lines << (item.IsArchive ? QStringLiteral("<Folder>%1").arg(item.SourceFolder)
                                 : QStringLiteral("<File>%1").arg(QDir::toNativeSeparators(item.Path)));
    }
    if (lines.isEmpty()) return;
    FContext.AddLogRecord(FileLog::SentRecord(FPeer, lines, FContext.LanguageId, QDateTime::currentDateTime()));
}
