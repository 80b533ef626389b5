#pragma once

#include "chatlog/ChatLogTypesUnit.h"
#include "text/widgets/RichDialogsUnit.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <optional>

class QAbstractItemModel;
class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QProgressBar;
class QSplitter;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class TApplicationParams;
class TChatLog;
class TLogListModel;
class TLogSearchModel;
class TRichChatPane;

// The log manager: the whole chat log by category and by user, one record's
// content, deleting, exporting, compacting and searching. Every read goes
// through the log's reader thread and every change through its writer, so
// the window never waits for the disk. One window at a time (ShowLogManager).
class TLogManage : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* WindowClassName = "QLM_LOGMANAGE_CLASS";

    // The kinds of the category tree's nodes.
    enum TNodeKind {
        nkRoot = 0,
        nkUser = 1,      // one nickname of the single-message log
        nkAllSingle = 2, // "All Single Log": its user nodes load on first expansion
        nkAllUsers = 3,
        nkBroadcast = 4,
        nkGroup = 5,
        nkFile = 6,
    };

    explicit TLogManage(TChatLog& log, TApplicationParams& params, QWidget* parent = nullptr);
    ~TLogManage() override;

    // The open window brought forward (restored when minimised), else a new one shown.
    static TLogManage* ShowLogManager(TChatLog& log);
    static TLogManage* OpenWindow();

    // Controls, for the commands' callers and tests.
    QTreeWidget* Tree() const { return FTree; }
    QListView* List() const { return FList; }
    TRichChatPane* Content() const { return FContent; }
    QLineEdit* SearchBox() const { return FSearchBox; }
    TLogListModel& ListModel() const { return *FListModel; }
    TLogSearchModel& SearchModel() const { return *FSearchModel; }
    // Any tool-bar or popup item by object name ("tbExport", "miLogListDeleteAll" ...).
    QAction* Action(const QString& objectName) const;
    QMenu* TreeMenu() const { return FTreeMenu; }
    QMenu* ListMenu() const { return FListMenu; }

    QTreeWidgetItem* Node(TNodeKind kind) const;
    // The user node of a nickname as stored in the log.
    QTreeWidgetItem* UserNode(const QString& nick) const;
    static TNodeKind KindOf(const QTreeWidgetItem* node);
    static QString NickOf(const QTreeWidgetItem* node);
    // The user nodes below "All Single Log" have been loaded.
    bool UserNodesLoaded() const;
    // What the selected node lists; none for the root.
    std::optional<TLogFilter> SelectedFilter() const;
    // The list shows search hits instead of the selected node's records.
    bool Searching() const { return FSearching; }
    // An export, a deletion or a compaction is on its way.
    bool Busy() const { return !FOperations.isEmpty(); }
    // The ID of the record shown in the content pane (0: none).
    qint64 ShownRecord() const { return FShownId; }

    // Commands of the tool bar and the popup menus.
    void SelectNode(QTreeWidgetItem* node);
    void RefreshExecute();
    void LoadLogContentExecute();
    void DeleteSelectedExecute();
    void DeleteAllExecute();
    // Exports the node's category, or the search hits while searching.
    void ExportExecute();
    void ExportSearchExecute();
    void CompactDatabaseExecute();
    // Lists the records whose text holds text; an empty text lists the node again.
    void SearchExecute(const QString& text);
    // Enables the items of the tool bar and popups for the current selection.
    void UpdateMenuStates();
    // The content pane's popup (RichEditPopup) for the current selection.
    void BuildContentMenu(QMenu* menu);

    void SetFileDialog(TFileDialog dialog);
    void SetMessageBox(TMessageBox messageBox);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    enum TOperation { opDelete, opDeleteAll, opExport, opCompact };
    struct TPending {
        TOperation Kind = opDelete;
        TLogFilter Filter; // opDeleteAll: what was deleted
        TLogType Category = ltSingle; // opDelete
        qint64 ID = 0;
        QString FileName; // opExport
    };

    void BuildControls();
    void BuildTree();
    void BuildMenus();
    QAction* AddAction(QMenu* menu, const char* objectName, const QString& english);
    void ApplySettings();
    void SaveSettings();

    void NodeExpanded(QTreeWidgetItem* node);
    void LoadUserNodes();
    void NicknamesFetched(quint64 ticket, const QStringList& nicknames, const QString& error);
    void ListNode(QTreeWidgetItem* node);
    void ContentFetched(quint64 ticket, const TLogContent& content, const QString& error);
    void OperationFinished(quint64 ticket, const QString& error);
    void RemoveListed(TLogType category, qint64 id);
    void StartOperation(quint64 ticket, TPending pending);
    void UpdateBusy();
    void ShowListMenu(const QPoint& at);
    void ShowTreeMenu(const QPoint& at);
    void ShowContentMenu(const QPoint& at);
    // The entry the list has selected, if any.
    std::optional<TLogEntry> SelectedEntry() const;
    bool ListIsEmpty() const;
    bool Ask(const QString& text);
    void ShowError(const QString& text);
    void LeaveSearch();
    // Shows model in the list, with a fresh selection.
    void UseModel(QAbstractItemModel* model);

    TChatLog& FLog;
    TApplicationParams& FParams;
    TFileDialog FFileDialog;
    TMessageBox FMessageBox;

    QToolBar* FToolBar = nullptr;
    QTreeWidget* FTree = nullptr;
    QListView* FList = nullptr;
    TRichChatPane* FContent = nullptr;
    QSplitter* FSplitter1 = nullptr; // tree | list and content
    QSplitter* FSplitter2 = nullptr; // list / content
    QLineEdit* FSearchBox = nullptr;
    QProgressBar* FProgress = nullptr;
    QLabel* FStatus = nullptr;
    QMenu* FTreeMenu = nullptr;
    QMenu* FListMenu = nullptr;
    TLogListModel* FListModel = nullptr;
    TLogSearchModel* FSearchModel = nullptr;

    bool FSearching = false;
    bool FSizesApplied = false;
    quint64 FNickTicket = 0;
    quint64 FContentTicket = 0;
    qint64 FShownId = 0;
    TLogType FShownCategory = ltSingle;
    QHash<quint64, TPending> FOperations;
};
