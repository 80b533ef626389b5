#pragma once

#include "protocol/CommConstsUnit.h"
#include "transfer/SendBatchUnit.h"
#include "transfer/widgets/FileHooksUnit.h"
#include "transfer/widgets/FileListUnit.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class QAbstractItemView;
class QAction;
class QLabel;
class QListView;
class QMenu;
class QStackedWidget;
class QThread;
class QToolBar;
class QTreeView;
class TApplicationParams;
class TFolderPackJob;
class TOnlineUserModel;
class TOutgoingTransfer;
class TTransferService;

// What a file window works with; the node's parts, or a test's.
struct TFileFormContext {
    TTransferService* Transfer = nullptr;
    TApplicationParams* Params = nullptr;
    TOnlineUserModel* OnlineModel = nullptr; // consignees of "Change From Online List"
    TFileFormHooks Hooks = DefaultFileFormHooks();
};

// The file window: send mode collects files and folders for one consignee,
// offers them and streams them; receive mode lists what one transfer stored;
// manage mode lists the received-files folder.
class TFileForm : public QWidget {
    Q_OBJECT
public:
    enum TMode { fmSend, fmReceive, fmManage };
    // The send side of one request.
    enum TSendState { ssComposing, ssWaiting, ssTransferring };
    // Shared by all file windows: the Views button's counter and On Top.
    enum TViewStyle { vsLargeIcons, vsSmallIcons, vsList, vsDetails };

    TFileForm(const TFileFormContext& context, TMode mode, bool hasNickname, const TRecipient& peer,
              const QStringList& receivedNames = {}, QWidget* parent = nullptr);
    ~TFileForm() override;

    TMode Mode() const { return FMode; }
    const TRecipient& Consignee() const { return FPeer; }
    bool HasNickname() const { return FHasNickname; }
    TShellFileList& List() const { return *FList; }
    QString DisplayName() const;
    // Panel 1: the result of the last operation; panel 2: "Total %d file(s)."
    QString ResultText() const;
    QString TotalText() const;
    TSendState SendState() const { return FSendState; }
    // The folder a receive or manage window shows.
    QString ListedFolder() const;
    QAction* Action(const QString& objectName) const;

    // ---- send mode ----
    // Adds files as rows and packs folders into archive rows (asynchronously:
    // the packing dialog is open until it ends). Paths naming nothing are skipped.
    void AddPaths(const QStringList& paths, const QString& displayName = {});
    void AddFileClick();
    void AddFolderClick();
    // Removes the selected rows; an archive row's archive goes with it.
    void DeleteSelectedRows();
    void SendFileClick();
    void ChangeConsignee(const TRecipient& peer, bool hasNickname);
    void ChangeFromNetworkClick();
    void BuildOnlineMenu(QMenu* menu);
    void OnTopClick();
    void AutoCloseClick();

    // ---- receive and manage modes ----
    void RefreshFileList(bool sortByDate = true);
    void CopyToClick();
    void MoveToClick();
    void DeleteFilesClick();
    void ExplorerClick();
    void LogManageClick();
    // True while a copy, move or delete runs on its worker.
    bool FileOperationRunning() const;

    // ---- shared ----
    void SelectAll();
    void SelectRows(const QList<int>& rows);
    QList<int> SelectedRows() const;
    void CopyToClipboard(bool cut);
    void PasteClick();
    void SetViewStyle(TViewStyle style);
    TViewStyle ViewStyle() const { return FViewStyle; }
    void ViewsClick();
    void SortByColumn(int column);
    void OpenRow(int row);
    void TranslateCaptions();

    static bool SharedOnTop();
    static void SetSharedOnTop(bool on);

signals:
    // A request ended: "All sent successfully.", "Part sent successfully." or "Sending canceled.".
    void SendFinished(const QString& resultText);
    void PackingFinished(bool canceled);
    void FileOperationFinished(const QString& resultText);

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void BuildWindow();
    void BuildSendToolBar();
    void BuildReceiveToolBar();
    void BuildListMenu();
    QAction* AddAction(QWidget* owner, const char* objectName, const char* image = nullptr);
    void UpdateFileTotals();
    void UpdateCaption();
    void UpdateCommands();
    void SetResult(const QString& text);
    void FitColumns();
    void AddFileRow(const QString& path);
    void AddFolders(const QStringList& folders, const QString& displayName);
    void StartTransfer();
    void RetireTransfer();
    void TransferEnded(bool accepted);
    void RunFileOperation(int kind, const QString& destination);
    void RestoreBounds();
    void SaveBounds();
    QAbstractItemView* CurrentView() const;
    QStringList SelectedPaths() const;

    TFileFormContext FContext;
    const TMode FMode;
    bool FHasNickname;
    TRecipient FPeer;
    QStringList FReceivedNames;
    TShellFileList* FList;
    QStackedWidget* FViews;
    QTreeView* FDetails;
    QListView* FIcons;
    QToolBar* FToolBar;
    QMenu* FListMenu;
    QMenu* FViewMenu;
    QLabel* FHintPanel;
    QLabel* FResultPanel;
    QLabel* FTotalPanel;
    TViewStyle FViewStyle = vsDetails;
    int FSortColumn = -1;
    bool FSortAscending = false;
    QRect FNormalBounds;
    TSendState FSendState = ssComposing;
    std::unique_ptr<TOutgoingTransfer> FTransfer;
    std::unique_ptr<TOutgoingTransfer> FRetiredTransfer;
    TSendBatch FBatch; // the archives of this window's rows; outlives the packing job
    std::unique_ptr<TFolderPackJob> FPackJob;
    std::unique_ptr<QThread> FFileOperation;
    bool FClosed = false;
};
