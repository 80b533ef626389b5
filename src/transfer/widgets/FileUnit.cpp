// The file window: construction, the list and its views, clipboard, sorting, closing.
#include "transfer/widgets/FileUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "text/UILangUnit.h"
#include "transfer/CompressThreadUnit.h"
#include "transfer/OutgoingTransferUnit.h"
#include "transfer/widgets/FileHooksUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/WindowRegistryUnit.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// Shared by every file window, as the program keeps them.
bool gOnTop = false;
TFileForm::TViewStyle gViewCounter = TFileForm::vsDetails;

const TIntegerParams kColumnWidths[] = {ipFileListColumn_1_Width, ipFileListColumn_2_Width, ipFileListColumn_3_Width,
                                        ipFileListColumn_4_Width, ipFileListColumn_5_Width};

// The captions and hints of the window's commands, by object name.
struct TCommandText {
    const char* Name;
    QString Caption;
    QString Hint;
};
QList<TCommandText> CommandTexts() {
    return {
        {"tbtnAddFile", QLM_TEXT("&Add..."), QLM_TEXT("Add file(s) you want to send.")},
        {"miAddFile", QLM_TEXT("&Add File(s)..."), {}},
        {"miAddFolder", QLM_TEXT("Add &Folder..."), {}},
        {"tbtnDeleteFile", QLM_TEXT("&Delete"), QLM_TEXT("Delete selected file(s) from the list.")},
        {"tbtnOnTop", QLM_TEXT("O&n Top"), QLM_TEXT("Set window always on top.")},
        {"tbtnAutoClose", QLM_TEXT("A&uto Close"), QLM_TEXT("Auto close window after sending successfully.")},
        {"tbtnViews", QLM_TEXT("&Views"), {}},
        {"tbtnViews_In", QLM_TEXT("&Views"), {}},
        {"tbtnSelComputer", QLM_TEXT("&Consignee"), QLM_TEXT("Change consignee from network or online list.")},
        {"miNetwork", QLM_TEXT("Change From Network..."), {}},
        {"miOnline", QLM_TEXT("Change From Online List"), {}},
        {"tbtnSendFile", QLM_TEXT("&Send Now"), QLM_TEXT("Send file(s) immediately.")},
        {"tbtnCopyto", QLM_TEXT("&Copy to..."), QLM_TEXT("Copy selected file(s) to another folder.")},
        {"tbtnMoveto", QLM_TEXT("&Move to..."), QLM_TEXT("Move selected file(s) to another folder.")},
        {"tbtnDeleteDisk", QLM_TEXT("&Delete File(s)"), QLM_TEXT("Delete selected file(s) from disk.")},
        {"tbtnGoTo", QLM_TEXT("&Explorer"), QLM_TEXT("Call explorer to view received file(s).")},
        {"tbtnRefresh", QLM_TEXT("&Refresh"), QLM_TEXT("Refresh the file list.")},
        {"tbtnLogManage", QLM_TEXT("&Log Management..."), {}},
        {"miSelectAll", QLM_TEXT("&Select All"), {}},
        {"miCut", QLM_TEXT("Cu&t"), {}},
        {"miCopy", QLM_TEXT("&Copy"), {}},
        {"miPaste", QLM_TEXT("&Paste"), {}},
        {"miDelete", QLM_TEXT("&Delete"), {}},
        {"miDeleteFiles", QLM_TEXT("&Delete File(s)"), {}},
        {"miListAddFile", QLM_TEXT("&Add File(s)..."), {}},
        {"miListAddFolder", QLM_TEXT("Add &Folder..."), {}},
        {"miLargeIcons", QLM_TEXT("&Large Icons"), {}},
        {"miSmallIcons", QLM_TEXT("&Small Icons"), {}},
        {"miList", QLM_TEXT("&List"), {}},
        {"miDetails", QLM_TEXT("&Details"), {}},
    };
}

} // namespace

bool TFileForm::SharedOnTop() { return gOnTop; }
void TFileForm::SetSharedOnTop(bool on) { gOnTop = on; }

TFileForm::TFileForm(const TFileFormContext& context, TMode mode, bool hasNickname, const TRecipient& peer,
                     const QStringList& receivedNames, QWidget* parent)
    : QWidget(parent, Qt::Window), FContext(context), FMode(mode), FHasNickname(hasNickname),
      FPeer(mode == fmManage ? TRecipient() : peer), FReceivedNames(receivedNames) {
    setObjectName(QStringLiteral("FileForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    const TApplicationParams& p = *FContext.Params;
    if (!p[bpAllowMultiForm]) {
        if (FMode == fmManage)
            TWindowRegistry::Instance().Register(this, Utils::WindowClassName(Utils::TWindowKind::FileManage, {}));
        else if (FMode == fmSend && !FPeer.UserId.isEmpty())
            TWindowRegistry::Instance().Register(this, Utils::WindowClassName(Utils::TWindowKind::File, FPeer.UserId));
    }
    const char* icon = FMode == fmSend ? "U_COMMAND_SENDFILE" : FMode == fmManage ? "TRAYICONMENU_MANAGE" : "SEND_FILERECEIVED";
    setWindowIcon(TAppImages::Instance().Icon(QString::fromLatin1(icon)));
    BuildWindow();
    RestoreBounds();
    TranslateCaptions();
    UpdateCaption();
    if (FMode == fmSend) {
        setAcceptDrops(true);
        Action(QStringLiteral("tbtnAutoClose"))->setChecked(p[bpCloseAfterSendFile]);
        FList->SetMarkImage(QStringLiteral("SENT_FILE_STATE"));
    } else {
        FList->SetMarkImage(QStringLiteral("RECEIVED_FILE_STATE"));
        RefreshFileList(true);
    }
    UpdateFileTotals();
}

TFileForm::~TFileForm() {
    // Workers first: they report to this window.
    FTransfer.reset();
    FRetiredTransfer.reset();
    FPackJob.reset();
    if (FFileOperation) FFileOperation->wait();
    TWindowRegistry::Instance().Unregister(this);
}

QAction* TFileForm::Action(const QString& objectName) const {
    for (QAction* action : findChildren<QAction*>(objectName))
        if (action->objectName() == objectName) return action;
    return nullptr;
}

QAction* TFileForm::AddAction(QWidget* owner, const char* objectName, const char* image) {
    auto* action = new QAction(this);
    action->setObjectName(QString::fromLatin1(objectName));
    if (image) action->setIcon(TAppImages::Instance().Icon(QString::fromLatin1(image)));
    if (owner) owner->addAction(action);
    return action;
}

void TFileForm::BuildWindow() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    FToolBar = new QToolBar(this);
    FToolBar->setObjectName(FMode == fmSend ? QStringLiteral("tbSend") : QStringLiteral("tbReceive"));
    FToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    FToolBar->setIconSize(QSize(24, 24));
    layout->addWidget(FToolBar);

    FList = new TShellFileList(this);
    FViews = new QStackedWidget(this);
    FDetails = new QTreeView(FViews);
    FDetails->setObjectName(QStringLiteral("lvFileList"));
    FDetails->setRootIsDecorated(false);
    FDetails->setUniformRowHeights(true);
    FDetails->setModel(FList);
    FDetails->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FDetails->setSelectionBehavior(QAbstractItemView::SelectRows);
    FDetails->header()->setSectionsClickable(true);
    FDetails->header()->setSortIndicatorShown(false);
    FIcons = new QListView(FViews);
    FIcons->setObjectName(QStringLiteral("lvFileIcons"));
    FIcons->setModel(FList);
    FIcons->setSelectionModel(FDetails->selectionModel());
    FIcons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FIcons->setResizeMode(QListView::Adjust);
    FViews->addWidget(FDetails);
    FViews->addWidget(FIcons);
    layout->addWidget(FViews, 1);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(FDetails), static_cast<QAbstractItemView*>(FIcons)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) { OpenRow(index.row()); });
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& pos) { FListMenu->exec(view->viewport()->mapToGlobal(pos)); });
    }
    connect(FDetails->header(), &QHeaderView::sectionClicked, this, &TFileForm::SortByColumn);
    connect(FDetails->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateCommands(); });

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("sbFooter"));
    FHintPanel = new QLabel(status);
    FResultPanel = new QLabel(status);
    FResultPanel->setObjectName(QStringLiteral("sbResult"));
    FResultPanel->setFixedWidth(160);
    FTotalPanel = new QLabel(status);
    FTotalPanel->setObjectName(QStringLiteral("sbTotal"));
    FTotalPanel->setFixedWidth(130);
    status->addWidget(FHintPanel, 1);
    status->addPermanentWidget(FResultPanel);
    status->addPermanentWidget(FTotalPanel);
    layout->addWidget(status);

    // Views: a menu of four styles, a counter on the button itself.
    FViewMenu = new QMenu(this);
    FViewMenu->setObjectName(QStringLiteral("pmViews"));
    auto* group = new QActionGroup(FViewMenu);
    const struct {
        const char* Name;
        TViewStyle Style;
    } styles[] = {{"miLargeIcons", vsLargeIcons}, {"miSmallIcons", vsSmallIcons}, {"miList", vsList}, {"miDetails", vsDetails}};
    for (const auto& s : styles) {
        QAction* item = AddAction(FViewMenu, s.Name);
        item->setCheckable(true);
        item->setData(int(s.Style));
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, style = s.Style] { SetViewStyle(style); });
    }

    if (FMode == fmSend) BuildSendToolBar();
    else BuildReceiveToolBar();
    BuildListMenu();
    SetViewStyle(vsDetails);
    for (int i = 0; i < TShellFileList::ColumnCount; ++i)
        FDetails->setColumnWidth(i, qMax(20, int((*FContext.Params)[kColumnWidths[i]])));
}

void TFileForm::BuildListMenu() {
    FListMenu = new QMenu(this);
    FListMenu->setObjectName(QStringLiteral("pmFileList"));
    const bool send = FMode == fmSend;
    QAction* all = AddAction(FListMenu, "miSelectAll");
    all->setShortcut(QKeySequence::SelectAll);
    connect(all, &QAction::triggered, this, &TFileForm::SelectAll);
    QAction* cut = AddAction(FListMenu, "miCut");
    cut->setShortcut(QKeySequence::Cut);
    cut->setVisible(!send);
    connect(cut, &QAction::triggered, this, [this] { CopyToClipboard(true); });
    QAction* copy = AddAction(FListMenu, "miCopy");
    copy->setShortcut(QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { CopyToClipboard(false); });
    QAction* paste = AddAction(FListMenu, "miPaste");
    paste->setShortcut(QKeySequence::Paste);
    paste->setVisible(send);
    connect(paste, &QAction::triggered, this, &TFileForm::PasteClick);
    QAction* remove = AddAction(FListMenu, "miDelete");
    remove->setShortcut(QKeySequence::Delete);
    remove->setVisible(send);
    connect(remove, &QAction::triggered, this, &TFileForm::DeleteSelectedRows);
    QAction* removeFiles = AddAction(FListMenu, "miDeleteFiles");
    removeFiles->setShortcut(QKeySequence::Delete);
    removeFiles->setVisible(!send);
    connect(removeFiles, &QAction::triggered, this, &TFileForm::DeleteFilesClick);
    FListMenu->addSeparator()->setVisible(send);
    QAction* addFile = AddAction(FListMenu, "miListAddFile");
    addFile->setVisible(send);
    connect(addFile, &QAction::triggered, this, &TFileForm::AddFileClick);
    QAction* addFolder = AddAction(FListMenu, "miListAddFolder");
    addFolder->setVisible(send);
    connect(addFolder, &QAction::triggered, this, &TFileForm::AddFolderClick);
    // The menu's shortcuts work in the list whatever the menu shows; the keys are handled there.
    for (QAction* action : FListMenu->actions()) action->setShortcutContext(Qt::WidgetShortcut);
    connect(FListMenu, &QMenu::aboutToShow, this, &TFileForm::UpdateCommands);
}

void TFileForm::TranslateCaptions() {
    for (const TCommandText& text : CommandTexts()) {
        QAction* action = Action(QString::fromLatin1(text.Name));
        if (!action) continue;
        action->setText(Translate(text.Caption));
        if (!text.Hint.isEmpty()) {
            action->setToolTip(Translate(text.Hint));
            action->setStatusTip(Translate(text.Hint));
        }
    }
    FList->TranslateCaptions();
    UpdateCaption();
    // Every command stays on the tool bar (none behind its extension
    // button): the window is never narrower than the captions need.
    FToolBar->updateGeometry();
    setMinimumWidth(FToolBar->sizeHint().width());
    FitColumns();
}

void TFileForm::FitColumns() {
    // A column is never narrower than its caption and what it shows: dates
    // and notes are read whole.
    for (int i = 0; i < TShellFileList::ColumnCount; ++i) {
        const auto* view = static_cast<const QAbstractItemView*>(FDetails);
        const int needed = qMax(FDetails->header()->sectionSizeHint(i), view->sizeHintForColumn(i));
        if (FDetails->columnWidth(i) < needed) FDetails->setColumnWidth(i, needed);
    }
}

QString TFileForm::DisplayName() const {
    return Utils::DisplayName(FHasNickname, FPeer.NickName, FPeer.ComputerName, (*FContext.Params)[bpOnlyUserNickname]);
}

void TFileForm::UpdateCaption() {
    switch (FMode) {
    case fmSend: setWindowTitle(TranslateFormat(QStringLiteral("Send file(s) to %s"), {DisplayName()})); break;
    case fmReceive: setWindowTitle(TranslateFormat(QStringLiteral("File(s) from %s"), {DisplayName()})); break;
    case fmManage:
        setWindowTitle(TranslateFormat(QStringLiteral("Folder: %s"),
                                       {QDir::toNativeSeparators((*FContext.Params)[spArrivedFilesFolder])}));
        break;
    }
}

QString TFileForm::ResultText() const { return FResultPanel->text(); }
QString TFileForm::TotalText() const { return FTotalPanel->text(); }

void TFileForm::SetResult(const QString& text) { FResultPanel->setText(text); }

void TFileForm::UpdateFileTotals() {
    FTotalPanel->setText(TranslateFormat(QStringLiteral("Total %d file(s)."), {qint64(FList->rowCount())}));
    FitColumns();
    UpdateCommands();
}

void TFileForm::UpdateCommands() {
    const bool rows = FList->rowCount() > 0;
    const bool selected = !SelectedRows().isEmpty();
    const bool idle = !FileOperationRunning();
    const auto enable = [this](const char* name, bool on) {
        if (QAction* action = Action(QString::fromLatin1(name))) action->setEnabled(on);
    };
    enable("tbtnSendFile", rows && FSendState == ssComposing && !FPackJob);
    enable("miSelectAll", rows);
    enable("miCut", selected && idle);
    enable("miCopy", selected);
    enable("miDelete", selected);
    enable("miDeleteFiles", selected && idle);
    enable("tbtnCopyto", selected && idle);
    enable("tbtnMoveto", selected && idle);
    enable("tbtnDeleteDisk", selected && idle);
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    enable("miPaste", clip && clip->hasUrls());
}

QList<int> TFileForm::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : FDetails->selectionModel()->selectedRows()) rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QStringList TFileForm::SelectedPaths() const {
    QStringList paths;
    for (const int row : SelectedRows()) paths << FList->Item(row).Path;
    return paths;
}

void TFileForm::SelectAll() { FDetails->selectAll(); }

void TFileForm::SelectRows(const QList<int>& rows) {
    QItemSelection selection;
    for (const int row : rows)
        selection.select(FList->index(row, 0), FList->index(row, TShellFileList::ColumnCount - 1));
    FDetails->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.isEmpty()) FDetails->selectionModel()->setCurrentIndex(FList->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
}

QAbstractItemView* TFileForm::CurrentView() const {
    return FViewStyle == vsDetails ? static_cast<QAbstractItemView*>(FDetails) : static_cast<QAbstractItemView*>(FIcons);
}

void TFileForm::SetViewStyle(TViewStyle style) {
    FViewStyle = style;
    for (QAction* item : FViewMenu->actions()) item->setChecked(item->data().toInt() == int(style));
    if (style == vsDetails) {
        FViews->setCurrentWidget(FDetails);
        return;
    }
    FIcons->setViewMode(style == vsLargeIcons ? QListView::IconMode : QListView::ListMode);
    FIcons->setFlow(style == vsSmallIcons ? QListView::LeftToRight : (style == vsList ? QListView::TopToBottom : QListView::LeftToRight));
    FIcons->setWrapping(true);
    FIcons->setIconSize(style == vsLargeIcons ? QSize(32, 32) : QSize(16, 16));
    FIcons->setGridSize(style == vsLargeIcons ? QSize(96, 64) : QSize());
    FViews->setCurrentWidget(FIcons);
}

void TFileForm::ViewsClick() {
    gViewCounter = TViewStyle((int(gViewCounter) + 1) % 4);
    SetViewStyle(gViewCounter);
}

void TFileForm::SortByColumn(int column) {
    if (FList->rowCount() == 0) return;
    if (column != FSortColumn) FSortAscending = false;
    FSortColumn = column;
    FList->sort(column, FSortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    FSortAscending = !FSortAscending;
}

void TFileForm::OpenRow(int row) {
    if (row < 0 || row >= FList->rowCount()) return;
    FContext.Hooks.OpenUrl(QUrl::fromLocalFile(FList->Item(row).Path));
}

void TFileForm::CopyToClipboard(bool cut) {
    const QStringList paths = SelectedPaths();
    if (paths.isEmpty()) return;
    auto* data = new QMimeData;
    QList<QUrl> urls;
    QByteArray gnome = cut ? "cut" : "copy";
    for (const QString& path : paths) {
        urls << QUrl::fromLocalFile(path);
        gnome += '\n' + QUrl::fromLocalFile(path).toEncoded();
    }
    data->setUrls(urls);
    // What file managers read to tell a cut from a copy.
    const qint32 effect = cut ? 2 : 1;
    data->setData(QStringLiteral("Preferred DropEffect"), QByteArray(reinterpret_cast<const char*>(&effect), 4));
    data->setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
    QApplication::clipboard()->setMimeData(data);
}

void TFileForm::PasteClick() {
    if (FMode != fmSend) return;
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasUrls()) return;
    QStringList paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    AddPaths(paths);
}

bool TFileForm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && (watched == FDetails || watched == FIcons)) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->matches(QKeySequence::Delete)) {
            if (FMode == fmSend) DeleteSelectedRows();
            else DeleteFilesClick();
            return true;
        }
        if (key->matches(QKeySequence::SelectAll)) {
            SelectAll();
            return true;
        }
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut)) {
            CopyToClipboard(key->matches(QKeySequence::Cut) && FMode != fmSend);
            return true;
        }
        if (key->matches(QKeySequence::Paste)) {
            PasteClick();
            return true;
        }
    }
    if (FMode == fmSend && (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove)) {
        auto* drag = static_cast<QDropEvent*>(e);
        if (drag->mimeData()->hasUrls()) {
            drag->acceptProposedAction();
            return true;
        }
    }
    if (FMode == fmSend && e->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(e);
        QStringList paths;
        for (const QUrl& url : drop->mimeData()->urls())
            if (url.isLocalFile()) paths << url.toLocalFile();
        drop->acceptProposedAction();
        const int before = FList->rowCount();
        AddPaths(paths);
        if (FList->rowCount() > before) SelectRows({0});
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

bool TFileForm::event(QEvent* e) {
    if (e->type() == QEvent::Move || e->type() == QEvent::Resize) {
        if (!(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
            FNormalBounds = QRect(pos(), size());
    }
    return QWidget::event(e);
}

void TFileForm::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange) TranslateCaptions();
    QWidget::changeEvent(e);
}

void TFileForm::RestoreBounds() {
    const TApplicationParams& p = *FContext.Params;
    QRect bounds(p[ipFileFormLeft], p[ipFileFormTop], p[ipFileFormWidth], p[ipFileFormHeight]);
    bounds.setSize(bounds.size().expandedTo(QSize(320, 200)));
    resize(bounds.size());
    move(bounds.topLeft());
    FNormalBounds = bounds;
}

void TFileForm::SaveBounds() {
    TApplicationParams& p = *FContext.Params;
    const QRect bounds = (windowState() & Qt::WindowMaximized) ? FNormalBounds : QRect(pos(), size());
    p[ipFileFormLeft] = bounds.left();
    p[ipFileFormTop] = bounds.top();
    p[ipFileFormWidth] = bounds.width();
    p[ipFileFormHeight] = bounds.height();
    for (int i = 0; i < TShellFileList::ColumnCount; ++i) p[kColumnWidths[i]] = FDetails->columnWidth(i);
}

void TFileForm::closeEvent(QCloseEvent* e) {
    // A request or a packing in progress keeps its dialog open; closing waits for it.
    if (FSendState != ssComposing || FPackJob) {
        e->ignore();
        return;
    }
    if (!FClosed) {
        FClosed = true;
        // Archives made for sending are ours; the user's own files never are.
        FBatch.RemoveAll();
        SaveBounds();
    }
    e->accept();
}
