// The log manager's window: controls, the category tree, settings, one window at a time.
#include "chatlog/widgets/LogManageUnit.h"

#include "chatlog/ChatLogReaderUnit.h"
#include "chatlog/ChatLogUnit.h"
#include "chatlog/LogListModelUnit.h"
#include "chatlog/LogSearchModelUnit.h"
#include "chatlog/widgets/LogEntryDelegateUnit.h"
#include "core/ParamsUnit.h"
#include "text/UILangUnit.h"
#include "text/widgets/RichShowUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/UtilsGuiUnit.h"
#include "ui/WindowRegistryUnit.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>

namespace {

constexpr int KindRole = Qt::UserRole;
constexpr int LoadedRole = Qt::UserRole + 1;
constexpr int NickRole = Qt::UserRole + 2;

QIcon Image(const char* name) { return TAppImages::Instance().Icon(QString::fromLatin1(name)); }

QTreeWidgetItem* MakeNode(QTreeWidgetItem* parent, const QString& text, TLogManage::TNodeKind kind) {
    auto* node = new QTreeWidgetItem(parent, {text});
    node->setData(0, KindRole, int(kind));
    return node;
}

} // namespace

TLogManage::TLogManage(TChatLog& log, TApplicationParams& params, QWidget* parent)
    : QMainWindow(parent), FLog(log), FParams(params), FFileDialog(ShowFileDialog), FMessageBox(ShowRichMessageBox) {
    setObjectName(QStringLiteral("LogManage"));
    setWindowTitle(Translate(QStringLiteral("Log Management")));
    setWindowIcon(Image("U_HISTORYLIST"));
    FListModel = new TLogListModel(FLog.Reader(), TLogListModel::DefaultPageSize, this);
    FSearchModel = new TLogSearchModel(FLog.Reader(), TLogSearchModel::DefaultPageSize, this);
    BuildControls();
    BuildTree();
    BuildMenus();
    ApplySettings();
    TWindowRegistry::Instance().Register(this, QString::fromLatin1(WindowClassName));

    connect(&FLog.Reader(), &TChatLogReader::NicknamesFetched, this, &TLogManage::NicknamesFetched);
    connect(&FLog.Reader(), &TChatLogReader::LogContentFetched, this, &TLogManage::ContentFetched);
    connect(&FLog, &TChatLog::OperationFinished, this, &TLogManage::OperationFinished);
    // The log goes with the node: nothing may ask its reader afterwards.
    connect(&FLog, &QObject::destroyed, this, [this] {
        FList->setModel(nullptr);
        hide();
        deleteLater();
    });
    for (QAbstractItemModel* model : {static_cast<QAbstractItemModel*>(FListModel), static_cast<QAbstractItemModel*>(FSearchModel)}) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &TLogManage::UpdateMenuStates);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &TLogManage::UpdateMenuStates);
        connect(model, &QAbstractItemModel::modelReset, this, &TLogManage::UpdateMenuStates);
    }
    connect(FListModel, &TLogListModel::LoadFailed, this, &TLogManage::ShowError);
    connect(FSearchModel, &TLogSearchModel::LoadFailed, this, &TLogManage::ShowError);
    connect(FSearchModel, &TLogSearchModel::FirstPageLoaded, this, [this] {
        if (FSearching && FSearchModel->rowCount() == 0)
            FStatus->setText(Translate(QStringLiteral("Nothing in the chat log holds this text.")));
    });
    connect(FSearchModel, &TLogSearchModel::HitCountChanged, this, [this](int count) {
        if (!FSearching) return;
        if (count == 0) FStatus->setText(Translate(QStringLiteral("Nothing in the chat log holds this text.")));
        else FStatus->setText(TranslateFormat(QStringLiteral("%d records found"), {qint64(count)}));
    });
    UpdateMenuStates();
}

TLogManage::~TLogManage() { TWindowRegistry::Instance().Unregister(this); }

TLogManage* TLogManage::OpenWindow() {
    return qobject_cast<TLogManage*>(TWindowRegistry::Instance().FindByClass(QString::fromLatin1(WindowClassName)));
}

TLogManage* TLogManage::ShowLogManager(TChatLog& log) {
    if (TLogManage* open = OpenWindow()) {
        Utils::BringForward(open);
        return open;
    }
    auto* window = new TLogManage(log, Params());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

void TLogManage::BuildControls() {
    FToolBar = addToolBar(QString());
    FToolBar->setObjectName(QStringLiteral("tbInput"));
    FToolBar->setMovable(false);
    FToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto tool = [this](const char* name, const char* image, const QString& caption, void (TLogManage::*slot)()) {
        QAction* action = FToolBar->addAction(Image(image), caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
    };
    tool("tbExport", "EXPROT_TO_FILE", Translate(QStringLiteral("&Export to File...")), &TLogManage::ExportExecute);
    tool("tbRefresh", "DATABASE_REFRESH", Translate(QStringLiteral("&Refresh")), &TLogManage::RefreshExecute);
    tool("tbCompactDB", "DATABASE_COMPACT", Translate(QStringLiteral("&Compact Database")),
         &TLogManage::CompactDatabaseExecute);
    auto* spacer = new QWidget(FToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    FToolBar->addWidget(spacer);
    FSearchBox = new QLineEdit(FToolBar);
    FSearchBox->setObjectName(QStringLiteral("edSearch"));
    FSearchBox->setPlaceholderText(Translate(QStringLiteral("Search the log")));
    FSearchBox->setClearButtonEnabled(true);
    FSearchBox->setMinimumWidth(160);
    FToolBar->addWidget(FSearchBox);
    connect(FSearchBox, &QLineEdit::returnPressed, this, [this] { SearchExecute(FSearchBox->text()); });
    connect(FSearchBox, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty() && FSearching) SearchExecute({});
    });

    FTree = new QTreeWidget;
    FTree->setObjectName(QStringLiteral("tvLogType"));
    FTree->setHeaderHidden(true);
    FTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FTree->setContextMenuPolicy(Qt::CustomContextMenu);

    FList = new QListView;
    FList->setObjectName(QStringLiteral("lbLog"));
    FList->setUniformItemSizes(true);
    FList->setSelectionMode(QAbstractItemView::SingleSelection);
    FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FList->setContextMenuPolicy(Qt::CustomContextMenu);
    FList->setItemDelegate(new TLogEntryDelegate(FList));
    UseModel(FListModel);
    FList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    FContent = new TRichChatPane(FParams);
    FContent->setObjectName(QStringLiteral("reContent"));
    FContent->setContextMenuPolicy(Qt::CustomContextMenu);

    FSplitter2 = new QSplitter(Qt::Vertical);
    FSplitter2->setObjectName(QStringLiteral("Splitter2"));
    FSplitter2->addWidget(FList);
    FSplitter2->addWidget(FContent);
    FSplitter2->setStretchFactor(0, 1);
    FSplitter2->setStretchFactor(1, 0);
    FSplitter2->setChildrenCollapsible(false);
    FSplitter1 = new QSplitter(Qt::Horizontal);
    FSplitter1->setObjectName(QStringLiteral("Splitter1"));
    FSplitter1->addWidget(FTree);
    FSplitter1->addWidget(FSplitter2);
    FSplitter1->setStretchFactor(0, 0);
    FSplitter1->setStretchFactor(1, 1);
    FSplitter1->setChildrenCollapsible(false);
    setCentralWidget(FSplitter1);

    FStatus = new QLabel;
    FStatus->setObjectName(QStringLiteral("lblStatus"));
    FProgress = new QProgressBar;
    FProgress->setObjectName(QStringLiteral("pbBusy"));
    FProgress->setRange(0, 0); // busy: the engine reports no steps
    FProgress->setMaximumWidth(140);
    FProgress->setVisible(false);
    statusBar()->addWidget(FStatus, 1);
    statusBar()->addPermanentWidget(FProgress);

    connect(FList, &QListView::doubleClicked, this, &TLogManage::LoadLogContentExecute);
    connect(FList, &QWidget::customContextMenuRequested, this, &TLogManage::ShowListMenu);
    connect(FTree, &QWidget::customContextMenuRequested, this, &TLogManage::ShowTreeMenu);
    connect(FContent, &QWidget::customContextMenuRequested, this, &TLogManage::ShowContentMenu);
}

void TLogManage::BuildTree() {
    auto* root = new QTreeWidgetItem(FTree, {Translate(QStringLiteral("Log Categories"))});
    root->setData(0, KindRole, int(nkRoot));
    QTreeWidgetItem* single = MakeNode(root, Translate(QStringLiteral("All Single Log")), nkAllSingle);
    single->setData(0, LoadedRole, false);
    MakeNode(single, Translate(QStringLiteral("<All Users>")), nkAllUsers);
    MakeNode(root, Translate(QStringLiteral("Broadcast Log")), nkBroadcast);
    MakeNode(root, Translate(QStringLiteral("Group Log")), nkGroup);
    MakeNode(root, Translate(QStringLiteral("File Log")), nkFile);
    root->setExpanded(true);
    FTree->setCurrentItem(root);

    connect(FTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) { ListNode(current); });
    connect(FTree, &QTreeWidget::itemExpanded, this, &TLogManage::NodeExpanded);
    // The root stays open.
    connect(FTree, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* node) {
        if (KindOf(node) == nkRoot) node->setExpanded(true);
    });
}

QTreeWidgetItem* TLogManage::Node(TNodeKind kind) const {
    QTreeWidgetItem* root = FTree->topLevelItem(0);
    if (kind == nkRoot) return root;
    for (int i = 0; i < root->childCount(); ++i) {
        QTreeWidgetItem* child = root->child(i);
        if (KindOf(child) == kind) return child;
        for (int j = 0; j < child->childCount(); ++j)
            if (KindOf(child->child(j)) == kind) return child->child(j);
    }
    return nullptr;
}

QTreeWidgetItem* TLogManage::UserNode(const QString& nick) const {
    QTreeWidgetItem* single = Node(nkAllSingle);
    for (int i = 0; i < single->childCount(); ++i)
        if (KindOf(single->child(i)) == nkUser && NickOf(single->child(i)) == nick) return single->child(i);
    return nullptr;
}

TLogManage::TNodeKind TLogManage::KindOf(const QTreeWidgetItem* node) {
    return node ? TNodeKind(node->data(0, KindRole).toInt()) : nkRoot;
}

QString TLogManage::NickOf(const QTreeWidgetItem* node) { return node ? node->data(0, NickRole).toString() : QString(); }

bool TLogManage::UserNodesLoaded() const { return Node(nkAllSingle)->data(0, LoadedRole).toBool(); }

std::optional<TLogFilter> TLogManage::SelectedFilter() const {
    const QTreeWidgetItem* node = FTree->currentItem();
    if (!node) return std::nullopt;
    switch (KindOf(node)) {
    case nkUser: return TLogFilter::OfNick(NickOf(node));
    case nkAllSingle:
    case nkAllUsers: return TLogFilter::All(ltSingle);
    case nkBroadcast: return TLogFilter::All(ltBroadcast);
    case nkGroup: return TLogFilter::All(ltGroup);
    case nkFile: return TLogFilter::All(ltFile);
    case nkRoot: break;
    }
    return std::nullopt;
}

void TLogManage::NodeExpanded(QTreeWidgetItem* node) {
    if (KindOf(node) == nkAllSingle && !UserNodesLoaded() && FNickTicket == 0) LoadUserNodes();
}

void TLogManage::LoadUserNodes() { FNickTicket = FLog.Reader().FetchNicknames(); }

void TLogManage::NicknamesFetched(quint64 ticket, const QStringList& nicknames, const QString& error) {
    if (ticket == 0 || ticket != FNickTicket) return;
    FNickTicket = 0;
    if (!error.isEmpty()) {
        ShowError(error);
        return;
    }
    QTreeWidgetItem* single = Node(nkAllSingle);
    // Nodes of nicknames no longer in the log go; a selected one hands the selection to its parent.
    for (int i = single->childCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* child = single->child(i);
        if (KindOf(child) != nkUser || nicknames.contains(NickOf(child))) continue;
        if (FTree->currentItem() == child) FTree->setCurrentItem(single);
        delete child;
    }
    for (const QString& nick : nicknames) {
        if (UserNode(nick)) continue;
        const QString text = nick == QLatin1String("<No_Nick>") ? Translate(QStringLiteral("NoNick<Neiborhood>")) : nick;
        MakeNode(single, text, nkUser)->setData(0, NickRole, nick);
    }
    single->setData(0, LoadedRole, true);
    single->setExpanded(true);
    UpdateMenuStates();
}

void TLogManage::SelectNode(QTreeWidgetItem* node) {
    if (FTree->currentItem() == node) ListNode(node);
    else FTree->setCurrentItem(node);
}

void TLogManage::ListNode(QTreeWidgetItem*) {
    LeaveSearch();
    if (const std::optional<TLogFilter> filter = SelectedFilter()) FListModel->SetFilter(*filter);
    else FListModel->Clear();
    UpdateMenuStates();
}

void TLogManage::LeaveSearch() {
    if (!FSearching) return;
    FSearching = false;
    FSearchModel->Clear();
    UseModel(FListModel);
    FStatus->clear();
}

void TLogManage::ApplySettings() {
    const TApplicationParams& p = FParams;
    resize(qMax(200, p[ipLogManagementFormWidth]), qMax(150, p[ipLogManagementFormHeight]));
    move(p[ipLogManagementFormLeft], p[ipLogManagementFormTop]);
    const int tree = qMax(40, p[ipLogManagementFormLogTypeWidth]);
    const int content = qMax(40, p[ipLogManagementFormContentHeight]);
    FSplitter1->setSizes({tree, qMax(40, width() - tree)});
    FSplitter2->setSizes({qMax(40, height() - content), content});
}

void TLogManage::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FSizesApplied) return;
    FSizesApplied = true;
    // Now that the splitters have their real sizes, the panes get the stored ones.
    const int tree = qMax(40, FParams[ipLogManagementFormLogTypeWidth]);
    const int content = qMax(40, FParams[ipLogManagementFormContentHeight]);
    const QList<int> across = FSplitter1->sizes();
    const QList<int> down = FSplitter2->sizes();
    FSplitter1->setSizes({tree, qMax(40, across.value(0) + across.value(1) - tree)});
    FSplitter2->setSizes({qMax(40, down.value(0) + down.value(1) - content), content});
}

void TLogManage::SaveSettings() {
    TApplicationParams& p = FParams;
    const QRect bounds = isMaximized() ? normalGeometry() : QRect(pos(), size());
    p[ipLogManagementFormLeft] = bounds.left();
    p[ipLogManagementFormTop] = bounds.top();
    p[ipLogManagementFormWidth] = bounds.width();
    p[ipLogManagementFormHeight] = bounds.height();
    p[ipLogManagementFormLogTypeWidth] = FSplitter1->sizes().value(0);
    p[ipLogManagementFormContentHeight] = FSplitter2->sizes().value(1);
    p.SaveWindowState();
}

void TLogManage::closeEvent(QCloseEvent* event) {
    SaveSettings();
    QMainWindow::closeEvent(event);
}
