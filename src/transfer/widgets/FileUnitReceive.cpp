// The file window's receive and manage modes: listing, copy to, move to, delete, explorer.
#include "transfer/widgets/FileUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "text/UILangUnit.h"
#include "transfer/FileNamesUnit.h"
#include "transfer/FileOperationUnit.h"
#include "transfer/widgets/FileHooksUnit.h"
#include "ui/WindowRegistryUnit.h"

#include <QAction>
#include <QMenu>
#include <QDir>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <memory>

void TFileForm::BuildReceiveToolBar() {
    connect(AddAction(FToolBar, "tbtnCopyto", "SEND_COPYTO"), &QAction::triggered, this, &TFileForm::CopyToClick);
    connect(AddAction(FToolBar, "tbtnMoveto", "SEND_MOVETO"), &QAction::triggered, this, &TFileForm::MoveToClick);
    connect(AddAction(FToolBar, "tbtnDeleteDisk", "SMALL_REDCROSS"), &QAction::triggered, this,
            &TFileForm::DeleteFilesClick);
    FToolBar->addSeparator();
    connect(AddAction(FToolBar, "tbtnGoTo", "SEND_EXPLORER"), &QAction::triggered, this, &TFileForm::ExplorerClick);
    connect(AddAction(FToolBar, "tbtnRefresh", "SEND_REFRESHLIST"), &QAction::triggered, this,
            [this] { RefreshFileList(true); });
    QAction* views = AddAction(FToolBar, "tbtnViews_In", "SEND_VIEWS");
    views->setMenu(FViewMenu);
    connect(views, &QAction::triggered, this, &TFileForm::ViewsClick);
    if (auto* button = qobject_cast<QToolButton*>(FToolBar->widgetForAction(views)))
        button->setPopupMode(QToolButton::MenuButtonPopup);
    FToolBar->addSeparator();
    connect(AddAction(FToolBar, "tbtnLogManage", "U_HISTORYLIST"), &QAction::triggered, this, &TFileForm::LogManageClick);
}

QString TFileForm::ListedFolder() const {
    const QString root = Utils::WithTrailingSlash(QDir::fromNativeSeparators((*FContext.Params)[spArrivedFilesFolder]));
    if (FMode == fmManage) return root;
    return root + FileNames::SenderFolderName(FPeer.NickName, FPeer.ComputerName) + QLatin1Char('/');
}

void TFileForm::RefreshFileList(bool sortByDate) {
    if (FMode == fmSend) return;
    QList<TShellItem> items;
    const QFileInfoList entries =
        QDir(ListedFolder()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        TShellItem item = TShellFileList::MakeItem(entry.absoluteFilePath());
        if (item.Path.isEmpty()) continue;
        item.Marked = FMode == fmReceive && FReceivedNames.contains(entry.fileName());
        items.append(std::move(item));
    }
    FList->SetItems(std::move(items));
    if (sortByDate) {
        FSortColumn = -1;
        SortByColumn(TShellFileList::colDate);
    }
    UpdateFileTotals();
}

bool TFileForm::FileOperationRunning() const { return FFileOperation != nullptr; }

void TFileForm::CopyToClick() {
    TApplicationParams& p = *FContext.Params;
    if (SelectedRows().isEmpty() || FileOperationRunning()) return;
    const QString folder = FContext.Hooks.ChooseFolder(
        this, Translate(QStringLiteral("Please select the destination directory.")), p[spLastCopyToFolder]);
    if (folder.isEmpty()) return;
    p[spLastCopyToFolder] = folder;
    RunFileOperation(int(TFileOperationKind::Copy), folder);
}

void TFileForm::MoveToClick() {
    TApplicationParams& p = *FContext.Params;
    if (SelectedRows().isEmpty() || FileOperationRunning()) return;
    const QString folder = FContext.Hooks.ChooseFolder(
        this, Translate(QStringLiteral("Please select the destination directory.")), p[spLastMoveToFolder]);
    if (folder.isEmpty()) return;
    p[spLastMoveToFolder] = folder;
    RunFileOperation(int(TFileOperationKind::Move), folder);
}

void TFileForm::DeleteFilesClick() {
    if (FMode == fmSend || SelectedRows().isEmpty() || FileOperationRunning()) return;
    if (FContext.Hooks.MessageBox(this, Utils::TMessageBoxKind::Question,
                                   Translate(QStringLiteral("Are you sure to delete the selected file(s) from disk?"))) !=
        Utils::TMessageBoxResult::Yes) {
        SetResult(Translate(QStringLiteral("Operation canceled.")));
        emit FileOperationFinished(ResultText());
        return;
    }
    RunFileOperation(int(TFileOperationKind::Delete), {});
}

void TFileForm::RunFileOperation(int kindValue, const QString& destination) {
    const auto kind = TFileOperationKind(kindValue);
    const QStringList sources = SelectedPaths();
    bool replace = false;
    if (kind != TFileOperationKind::Delete) {
        const QStringList existing = ExistingTargets(sources, destination);
        if (!existing.isEmpty()) {
            if (FContext.Hooks.MessageBox(
                    this, Utils::TMessageBoxKind::Question,
                    TranslateFormat(QStringLiteral("%d item(s) of the same name already exist in %s. Replace them?"),
                                    {qint64(existing.size()), QDir::toNativeSeparators(destination)})) !=
                Utils::TMessageBoxResult::Yes) {
                SetResult(Translate(QStringLiteral("Operation canceled.")));
                emit FileOperationFinished(ResultText());
                return;
            }
            replace = true;
        }
    }
    auto result = std::make_shared<TFileOperationResult>();
    FFileOperation.reset(QThread::create([=] { *result = ::RunFileOperation(kind, sources, destination, replace); }));
    connect(FFileOperation.get(), &QThread::finished, this, [this, kind, result] {
        FFileOperation->wait();
        FFileOperation.reset();
        unsetCursor();
        QString text;
        switch (kind) {
        case TFileOperationKind::Copy:
            text = result->Ok() ? Translate(QStringLiteral("Copied successfully.")) : Translate(QStringLiteral("Failed to copy ."));
            break;
        case TFileOperationKind::Move:
            text = result->Ok() ? Translate(QStringLiteral("Moved successfully.")) : Translate(QStringLiteral("Failed to move."));
            break;
        case TFileOperationKind::Delete:
            text = result->Ok() ? Translate(QStringLiteral("Deleted successfully.")) : Translate(QStringLiteral("Failed to delete."));
            break;
        }
        SetResult(text);
        if (kind != TFileOperationKind::Copy) RefreshFileList(false);
        UpdateCommands();
        emit FileOperationFinished(text);
    });
    setCursor(Qt::BusyCursor);
    FFileOperation->start();
    UpdateCommands();
}

void TFileForm::ExplorerClick() {
    const QString folder = (*FContext.Params)[spArrivedFilesFolder];
    // The folder may not have received anything yet.
    QDir().mkpath(folder);
    FContext.Hooks.OpenUrl(QUrl::fromLocalFile(folder));
}

void TFileForm::LogManageClick() {
    if (FContext.Hooks.OpenLogManager) FContext.Hooks.OpenLogManager();
}
