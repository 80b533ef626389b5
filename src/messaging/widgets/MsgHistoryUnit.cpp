#include "messaging/widgets/MsgHistoryUnit.h"

#include "chatlog/ChatLogReaderUnit.h"
#include "chatlog/ChatLogUnit.h"
#include "chatlog/LogListModelUnit.h"
#include "chatlog/widgets/LogEntryDelegateUnit.h"
#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "messaging/widgets/NewMsgUnit.h"
#include "text/MsgLangUnit.h"
#include "text/RtfReaderUnit.h"
#include "text/UILangUnit.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Runs for its lifetime with the hourglass cursor.
class TWaitCursor {
public:
    TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

} // namespace

THistoryPanel::THistoryPanel(TNewMsgForm& form, TChatLog& log, QWidget* parent)
    : QWidget(parent), FForm(form), FLog(log),
      FMessageBox([](QWidget* owner, Utils::TMessageBoxKind kind, const QString& text) {
          return ShowRichMessageBox(owner, kind, text);
      }),
      FFileDialog([](QWidget* owner, const TFileDialogRequest& request) { return ShowFileDialog(owner, request); }) {
    setObjectName(QStringLiteral("pnlList"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    FModel = new TLogListModel(log.Reader(), TLogListModel::DefaultPageSize, this);
    FList = new QListView(this);
    FList->setObjectName(QStringLiteral("lbHistory"));
    FList->setModel(FModel);
    FList->setSelectionMode(QAbstractItemView::SingleSelection);
    FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Three lines per entry with the sent/received band, as in the log manager.
    FList->setItemDelegate(new TLogEntryDelegate(FList));
    // Entries fit the panel's width (their lines are cut with an ellipsis):
    // no sideways scrolling.
    FList->setUniformItemSizes(true);
    FList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FList->setResizeMode(QListView::Adjust);
    FList->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(FList, 1);
    FTabs = new QTabBar(this);
    FTabs->setObjectName(QStringLiteral("tsLogType"));
    FTabs->setShape(QTabBar::RoundedSouth);
    for (const QString& label : {QLM_TEXT("Related Log"), QLM_TEXT("All Single Log"), QLM_TEXT("Broadcast Log"),
                                 QLM_TEXT("Group Log")})
        FTabs->addTab(QLatin1Char(' ') + Translate(label) + QLatin1Char(' '));
    layout->addWidget(FTabs);

    FPopup = new QMenu(this);
    FPopup->setObjectName(QStringLiteral("ListPopup"));
    const auto add = [this](const char* name, const QString& english, void (THistoryPanel::*command)()) {
        QAction* action = FPopup->addAction(Translate(english));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, command);
    };
    add("miRefresh", QLM_TEXT("Refresh"), &THistoryPanel::RefreshExecute);
    add("miDeleteSelected", QLM_TEXT("Delete Selected"), &THistoryPanel::DeleteSelectedExecute);
    add("miDeleteAll", QLM_TEXT("Delete All"), &THistoryPanel::DeleteAllExecute);
    add("miExport", QLM_TEXT("&Export to File..."), &THistoryPanel::ExportExecute);
    connect(FPopup, &QMenu::aboutToShow, this, &THistoryPanel::UpdatePopup);
    connect(FList, &QListView::customContextMenuRequested, this,
            [this](const QPoint& pos) { FPopup->popup(FList->viewport()->mapToGlobal(pos)); });
    connect(FList, &QListView::doubleClicked, this, [this](const QModelIndex& index) { InsertEntry(index.row()); });
    connect(FTabs, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index >= 0 && index != FTab && !SelectTab(index))
            QTimer::singleShot(0, this, [this] {
                if (FTab >= 0) FTabs->setCurrentIndex(FTab);
            });
    });
    connect(&log.Reader(), &TChatLogReader::LogContentFetched, this,
            [this](quint64 ticket, const TLogContent& content, const QString& error) {
                if (ticket != FContentTicket) return;
                FContentTicket = 0;
                if (!error.isEmpty()) {
                    FMessageBox(&FForm, Utils::TMessageBoxKind::Error, error);
                    return;
                }
                FForm.InsertHistoryContent(ReadBody(content.Bytes, content.LangID));
                emit EntryInserted();
            });
    connect(&log, &TChatLog::OperationFinished, this, [this](quint64 ticket, const QString& error) {
        if (ticket == FDeleteAllTicket) {
            FDeleteAllTicket = 0;
            if (FTab >= 0) FModel->SetFilter(ListFilter());
        }
        if (!error.isEmpty() && isVisible()) FMessageBox(&FForm, Utils::TMessageBoxKind::Error, error);
    });
    connect(FModel, &TLogListModel::LoadFailed, this,
            [this](const QString& error) { FMessageBox(&FForm, Utils::TMessageBoxKind::Error, error); });
}

THistoryPanel::~THistoryPanel() = default;

int THistoryPanel::UsableHeight() const {
    // Two whole entries above the tabs.
    return 2 * TLogEntryDelegate::ItemHeight(FList->fontMetrics()) + 2 * FList->frameWidth() +
           FTabs->sizeHint().height();
}

int THistoryPanel::PanelHeight() const { return qMax(UsableHeight(), Params()[ipMessageFormRecordHeight]); }

TLogType THistoryPanel::CategoryOf(int tab) {
    switch (tab) {
    case tabRelated: return ltRelation;
    case tabAllSingle: return ltSingle;
    case tabBroadcast: return ltBroadcast;
    default: return ltGroup;
    }
}

QString THistoryPanel::PeerComputer() const {
    if (FForm.Recipients().size() != 1 || (FForm.SendMode() && FForm.BroadcastMode())) return {};
    return FForm.Recipients().first().ComputerName;
}

QString THistoryPanel::PeerIP() const {
    if (FForm.Recipients().size() != 1 || (FForm.SendMode() && FForm.BroadcastMode())) return {};
    return FForm.Recipients().first().IPAddress;
}

TLogFilter THistoryPanel::ListFilter() const {
    if (FTab == tabRelated) return TLogFilter::OfComputer(PeerComputer(), PeerIP());
    return TLogFilter::All(CategoryOf(FTab));
}

TLogFilter THistoryPanel::CategoryFilter() const {
    if (FTab == tabRelated) return TLogFilter::OfComputer(PeerComputer());
    TLogFilter filter = TLogFilter::All(CategoryOf(FTab));
    filter.ByNick = false;
    return filter;
}

void THistoryPanel::Opened() {
    if (FTab < 0) {
        const int first = FForm.BroadcastMode()                                   ? tabBroadcast
                          : FForm.SendMode() && FForm.Recipients().size() > 1 ? tabGroup
                                                                              : tabRelated;
        SelectTab(first);
        return;
    }
    FModel->Refresh();
}

bool THistoryPanel::SelectTab(int tab) {
    if (tab < tabRelated || tab > tabGroup) return false;
    if (FForm.BroadcastMode() && tab != tabBroadcast) return false;
    if (FForm.SendMode() && FForm.Recipients().size() > 1 && tab == tabRelated) return false;
    TWaitCursor wait;
    FTab = tab;
    {
        const QSignalBlocker block(FTabs);
        FTabs->setCurrentIndex(tab);
    }
    FModel->SetFilter(ListFilter());
    return true;
}

void THistoryPanel::RefreshExecute() {
    if (FTab < 0) return;
    TWaitCursor wait;
    FModel->SetFilter(ListFilter());
}

bool THistoryPanel::Ask(const QString& text) {
    return FMessageBox(&FForm, Utils::TMessageBoxKind::Question, text) == Utils::TMessageBoxResult::Yes;
}

void THistoryPanel::DeleteSelectedExecute() {
    const int row = FList->currentIndex().row();
    if (FTab < 0 || row < 0 || row >= FModel->rowCount()) return;
    if (!Ask(Translate(QLM_TEXT("Are you sure to delete the selected record?")))) return;
    TWaitCursor wait;
    FLog.DeleteLogRecord(CategoryOf(FTab), FModel->EntryAt(row).ID);
    FModel->RemoveEntry(row);
}

void THistoryPanel::DeleteAllExecute() {
    if (FTab < 0 || FModel->rowCount() == 0) return;
    if (!Ask(Translate(QLM_TEXT("Are you sure to delete all log in the selected category?")))) return;
    TWaitCursor wait;
    const TLogFilter filter = CategoryFilter();
    FModel->Clear();
    // The tab is listed again once the deletion ran, so newer records still come on top.
    FDeleteAllTicket = FLog.DeleteLogCategory(filter);
}

void THistoryPanel::ExportExecute() {
    if (FTab < 0 || FModel->rowCount() == 0) return;
    static const char* const names[] = {"QLMRelatedChatLog.rtf", "QLMAllSingleChatLog.rtf", "QLMBroadcastChatLog.rtf",
                                        "QLMGroupChatLog.rtf"};
    TFileDialogRequest request;
    request.Save = true;
    request.Filter = RtfFileFilter();
    request.ProposedName = QString::fromLatin1(names[FTab]);
    request.DefaultSuffix = QStringLiteral("rtf");
    const QString file = FFileDialog(&FForm, request);
    if (file.isEmpty()) return;
    TWaitCursor wait;
    FLog.ExportLog(CategoryFilter(), file);
}

void THistoryPanel::InsertEntry(int row) {
    if (!FForm.SendMode() || FTab < 0 || row < 0 || row >= FModel->rowCount()) return;
    FContentTicket = FLog.Reader().FetchLogContent(CategoryOf(FTab), FModel->EntryAt(row).ID);
}

void THistoryPanel::Release() { FModel->Clear(); }

void THistoryPanel::UpdatePopup() {
    const bool any = FModel->rowCount() > 0;
    for (QAction* action : FPopup->actions()) {
        const QString name = action->objectName();
        if (name == QLatin1String("miDeleteAll") || name == QLatin1String("miExport")) action->setEnabled(any);
    }
}
