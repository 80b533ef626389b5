// The log manager's commands, popup menus and menu states.
#include "chatlog/widgets/LogManageUnit.h"

#include "chatlog/ChatLogReaderUnit.h"
#include "chatlog/ChatLogSearchUnit.h"
#include "chatlog/ChatLogUnit.h"
#include "chatlog/LogListModelUnit.h"
#include "chatlog/LogSearchModelUnit.h"
#include "core/TextFormatUnit.h"
#include "text/UILangUnit.h"
#include "text/widgets/RichShowUnit.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QStandardPaths>
#include <QTextCursor>
#include <QTreeWidget>

namespace {

bool SameFilter(const TLogFilter& a, const TLogFilter& b) {
    return ChatLog::StoredType(a.Category) == ChatLog::StoredType(b.Category) && a.Category == b.Category &&
           a.ByNick == b.ByNick && a.Peer == b.Peer && a.IP == b.IP;
}

// A deletion of filter's records touches what other lists show.
bool Covers(const TLogFilter& deleted, const TLogFilter& listed) {
    if (ChatLog::StoredType(deleted.Category) != ChatLog::StoredType(listed.Category)) return false;
    return deleted.Category != ltRelation || listed.Category != ltRelation || SameFilter(deleted, listed);
}

} // namespace

QAction* TLogManage::AddAction(QMenu* menu, const char* objectName, const QString& english) {
    QAction* action = menu->addAction(Translate(english));
    action->setObjectName(QString::fromLatin1(objectName));
    return action;
}

void TLogManage::BuildMenus() {
    FTreeMenu = new QMenu(this);
    FTreeMenu->setObjectName(QStringLiteral("pmLogType"));
    connect(AddAction(FTreeMenu, "miLogTypeRefresh", QStringLiteral("Refresh")), &QAction::triggered, this,
            &TLogManage::RefreshExecute);
    connect(AddAction(FTreeMenu, "miLogTypeDeleteAll", QStringLiteral("Delete All")), &QAction::triggered, this,
            &TLogManage::DeleteAllExecute);
    connect(AddAction(FTreeMenu, "miLogTypeExport", QStringLiteral("&Export to File...")), &QAction::triggered, this,
            &TLogManage::ExportExecute);

    FListMenu = new QMenu(this);
    FListMenu->setObjectName(QStringLiteral("pmLogList"));
    connect(AddAction(FListMenu, "miLogListRefresh", QStringLiteral("Refresh")), &QAction::triggered, this,
            &TLogManage::RefreshExecute);
    FListMenu->addSeparator();
    connect(AddAction(FListMenu, "miLogListLoadContent", QStringLiteral("Load Log Content")), &QAction::triggered,
            this, &TLogManage::LoadLogContentExecute);
    connect(AddAction(FListMenu, "miLogListDeleteSelected", QStringLiteral("Delete Selected")), &QAction::triggered,
            this, &TLogManage::DeleteSelectedExecute);
    connect(AddAction(FListMenu, "miLogListDeleteAll", QStringLiteral("Delete All")), &QAction::triggered, this,
            &TLogManage::DeleteAllExecute);
    FListMenu->addSeparator();
    connect(AddAction(FListMenu, "miLogListExport", QStringLiteral("&Export to File...")), &QAction::triggered, this,
            &TLogManage::ExportExecute);
}

QAction* TLogManage::Action(const QString& objectName) const {
    for (QAction* action : findChildren<QAction*>(objectName))
        if (action->objectName() == objectName) return action;
    return nullptr;
}

void TLogManage::UseModel(QAbstractItemModel* model) {
    QItemSelectionModel* old = FList->selectionModel();
    FList->setModel(model);
    if (old && old != FList->selectionModel()) old->deleteLater();
    connect(FList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TLogManage::UpdateMenuStates);
    // The content pane shows the record that is selected, however it was chosen.
    connect(FList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const std::optional<TLogEntry> entry = SelectedEntry();
        if (entry && (entry->ID != FShownId || ChatLog::StoredType(entry->Category) != FShownCategory))
            LoadLogContentExecute();
    });
}

void TLogManage::SetFileDialog(TFileDialog dialog) {
    FFileDialog = dialog;
    FContent->SetFileDialog(std::move(dialog));
}

void TLogManage::SetMessageBox(TMessageBox messageBox) {
    FMessageBox = messageBox;
    FContent->SetMessageBox(std::move(messageBox));
}

bool TLogManage::Ask(const QString& text) {
    return FMessageBox(this, Utils::TMessageBoxKind::Question, text) == Utils::TMessageBoxResult::Yes;
}

void TLogManage::ShowError(const QString& text) { FMessageBox(this, Utils::TMessageBoxKind::Error, text); }

bool TLogManage::ListIsEmpty() const { return !FList->model() || FList->model()->rowCount() == 0; }

std::optional<TLogEntry> TLogManage::SelectedEntry() const {
    const QModelIndexList selected = FList->selectionModel() ? FList->selectionModel()->selectedIndexes() : QModelIndexList();
    if (selected.isEmpty()) return std::nullopt;
    const int row = selected.first().row();
    if (FSearching) return row < FSearchModel->rowCount() ? std::optional(FSearchModel->EntryAt(row)) : std::nullopt;
    if (row >= FListModel->rowCount()) return std::nullopt;
    TLogEntry entry = FListModel->EntryAt(row);
    // A user node's records are read and deleted as that node's category.
    entry.Category = FListModel->Filter().Category;
    return entry;
}

void TLogManage::UpdateMenuStates() {
    const TNodeKind kind = KindOf(FTree->currentItem());
    const bool node = FTree->currentItem() != nullptr;
    const bool category = SelectedFilter().has_value();
    const bool entries = !ListIsEmpty();
    const bool selected = SelectedEntry().has_value();

    Action(QStringLiteral("miLogTypeRefresh"))->setEnabled(node && kind != nkRoot);
    Action(QStringLiteral("miLogTypeDeleteAll"))->setEnabled(category);
    Action(QStringLiteral("miLogTypeExport"))->setEnabled(category);

    const bool listRefresh = FSearching || category;
    Action(QStringLiteral("miLogListRefresh"))->setEnabled(listRefresh);
    Action(QStringLiteral("miLogListLoadContent"))->setEnabled(entries && selected);
    Action(QStringLiteral("miLogListDeleteSelected"))->setEnabled(entries && selected);
    // Search hits come from every category: whole categories go from the tree.
    Action(QStringLiteral("miLogListDeleteAll"))->setEnabled(entries && category && !FSearching);
    // Search hits are exported as one document of their own.
    Action(QStringLiteral("miLogListExport"))->setEnabled(entries && (category || FSearching));

    Action(QStringLiteral("tbRefresh"))->setEnabled(FSearching || (node && kind != nkRoot));
    Action(QStringLiteral("tbExport"))->setEnabled(entries && (category || FSearching));
    bool compacting = false;
    for (const TPending& pending : FOperations) compacting = compacting || pending.Kind == opCompact;
    Action(QStringLiteral("tbCompactDB"))->setEnabled(!compacting);
}

void TLogManage::ShowTreeMenu(const QPoint& at) {
    if (QTreeWidgetItem* node = FTree->itemAt(at)) SelectNode(node);
    UpdateMenuStates();
    FTreeMenu->popup(FTree->viewport()->mapToGlobal(at));
}

void TLogManage::ShowListMenu(const QPoint& at) {
    UpdateMenuStates();
    FListMenu->popup(FList->viewport()->mapToGlobal(at));
}

void TLogManage::BuildContentMenu(QMenu* menu) {
    menu->setObjectName(QStringLiteral("RichEditPopup"));
    QAction* all = AddAction(menu, "miSelectAll", QStringLiteral("Select &All"));
    connect(all, &QAction::triggered, FContent, &QTextEdit::selectAll);
    QAction* copy = AddAction(menu, "miCopy", QStringLiteral("&Copy"));
    copy->setEnabled(FContent->textCursor().hasSelection());
    connect(copy, &QAction::triggered, FContent, &QTextEdit::copy);
    QAction* image = AddAction(menu, "miSaveImageAs", QStringLiteral("Save I&mage as..."));
    image->setEnabled(FContent->SelectedPicture() != nullptr);
    connect(image, &QAction::triggered, FContent, &TRichEdit::SaveImageAs);
}

void TLogManage::ShowContentMenu(const QPoint& at) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    BuildContentMenu(menu);
    menu->popup(FContent->viewport()->mapToGlobal(at));
}

void TLogManage::RefreshExecute() {
    if (FSearching) {
        FSearchModel->Refresh();
        return;
    }
    QTreeWidgetItem* node = FTree->currentItem();
    switch (KindOf(node)) {
    case nkRoot: return;
    case nkAllSingle: {
        // The user nodes are read again from scratch, and the node's own list.
        for (int i = node->childCount() - 1; i >= 0; --i)
            if (KindOf(node->child(i)) == nkUser) delete node->child(i);
        if (FNickTicket == 0) LoadUserNodes();
        ListNode(node);
        return;
    }
    default:
        // Records newer than the top one go on top; an empty list is read again.
        if (FListModel->HasFilter()) FListModel->Refresh();
        else ListNode(node);
        return;
    }
}

void TLogManage::LoadLogContentExecute() {
    const std::optional<TLogEntry> entry = SelectedEntry();
    if (!entry) return;
    FContent->clear();
    FShownId = 0;
    FShownCategory = ChatLog::StoredType(entry->Category);
    FContentTicket = FLog.Reader().FetchLogContent(entry->Category, entry->ID);
}

void TLogManage::ContentFetched(quint64 ticket, const TLogContent& content, const QString& error) {
    if (ticket == 0 || ticket != FContentTicket) return;
    FContentTicket = 0;
    if (!error.isEmpty()) {
        ShowError(error);
        return;
    }
    FContent->clear();
    if (!content.IsRichText() || !FContent->SetRtf(content.Bytes)) FContent->setPlainText(content.PlainText());
    QTextCursor end = FContent->textCursor();
    end.movePosition(QTextCursor::End);
    FContent->setTextCursor(end);
    FShownId = content.ID;
}

void TLogManage::StartOperation(quint64 ticket, TPending pending) {
    FOperations.insert(ticket, std::move(pending));
    UpdateBusy();
}

void TLogManage::UpdateBusy() {
    const bool busy = Busy();
    FProgress->setVisible(busy);
    if (busy) setCursor(Qt::BusyCursor);
    else unsetCursor();
    UpdateMenuStates();
}

void TLogManage::DeleteSelectedExecute() {
    const std::optional<TLogEntry> entry = SelectedEntry();
    if (!entry || !Ask(Translate(QStringLiteral("Are you sure to delete the selected record?")))) return;
    TPending pending;
    pending.Kind = opDelete;
    pending.Category = entry->Category;
    pending.ID = entry->ID;
    StartOperation(FLog.DeleteLogRecord(entry->Category, entry->ID), pending);
}

void TLogManage::DeleteAllExecute() {
    const std::optional<TLogFilter> filter = SelectedFilter();
    if (!filter || !Ask(Translate(QStringLiteral("Are you sure to delete all log in the selected category?")))) return;
    TPending pending;
    pending.Kind = opDeleteAll;
    pending.Filter = *filter;
    StartOperation(FLog.DeleteLogCategory(*filter), pending);
}

void TLogManage::ExportExecute() {
    if (FSearching) {
        ExportSearchExecute();
        return;
    }
    const std::optional<TLogFilter> filter = SelectedFilter();
    if (!filter) return;
    const bool text = filter->Category == ltBroadcast || filter->Category == ltFile;
    TFileDialogRequest request;
    request.Save = true;
    request.Folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    request.Filter = text ? FormatText(QStringLiteral("%s(*.txt)"), {Translate(QStringLiteral("Text Format"))})
                          : RtfFileFilter();
    request.DefaultSuffix = text ? QStringLiteral("txt") : QStringLiteral("rtf");
    switch (filter->Category) {
    case ltRelation: request.ProposedName = QStringLiteral("QLMRelatedChatLog.rtf"); break;
    case ltSingle: request.ProposedName = QStringLiteral("QLMAllSingleChatLog.rtf"); break;
    case ltBroadcast: request.ProposedName = QStringLiteral("QLMBroadcastChatLog.txt"); break;
    case ltGroup: request.ProposedName = QStringLiteral("QLMGroupChatLog.rtf"); break;
    case ltFile: request.ProposedName = QStringLiteral("QLMFileLog.txt"); break;
    }
    const QString path = FFileDialog(this, request);
    if (path.isEmpty()) return;
    TPending pending;
    pending.Kind = opExport;
    pending.FileName = QDir::toNativeSeparators(path);
    FStatus->setText(TranslateFormat(QStringLiteral("Exporting the chat log to %s..."), {pending.FileName}));
    StartOperation(FLog.ExportLog(*filter, path), pending);
}

void TLogManage::ExportSearchExecute() {
    const QString text = FSearchModel->Text();
    if (text.isEmpty()) return;
    TFileDialogRequest request;
    request.Save = true;
    request.Folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    request.Filter = RtfFileFilter();
    request.DefaultSuffix = QStringLiteral("rtf");
    request.ProposedName = QStringLiteral("QLMSearchResults.rtf");
    const QString path = FFileDialog(this, request);
    if (path.isEmpty()) return;
    TPending pending;
    pending.Kind = opExport;
    pending.FileName = QDir::toNativeSeparators(path);
    FStatus->setText(TranslateFormat(QStringLiteral("Exporting the chat log to %s..."), {pending.FileName}));
    StartOperation(FLog.ExportSearch(text, path), pending);
}

void TLogManage::CompactDatabaseExecute() {
    for (const TPending& pending : FOperations)
        if (pending.Kind == opCompact) return;
    TPending pending;
    pending.Kind = opCompact;
    FStatus->setText(Translate(QStringLiteral("Compacting the chat log...")));
    StartOperation(FLog.CompactDatabase(), pending);
}

void TLogManage::SearchExecute(const QString& text) {
    const QString query = text.trimmed();
    if (query.isEmpty()) {
        if (FSearching) ListNode(FTree->currentItem());
        return;
    }
    if (!ChatLog::MatchExpression(query)) {
        FStatus->setText(Translate(QStringLiteral("Type at least two characters to search.")));
        return;
    }
    if (FSearchBox->text() != text) FSearchBox->setText(text);
    FStatus->clear();
    if (!FSearching) {
        FSearching = true;
        FListModel->Clear();
        UseModel(FSearchModel);
    }
    FSearchModel->Search(query);
    UpdateMenuStates();
}

void TLogManage::RemoveListed(TLogType category, qint64 id) {
    const TLogType stored = ChatLog::StoredType(category);
    if (FListModel->HasFilter() && ChatLog::StoredType(FListModel->Filter().Category) == stored)
        for (int row = 0; row < FListModel->rowCount(); ++row)
            if (FListModel->EntryAt(row).ID == id) {
                FListModel->RemoveEntry(row);
                break;
            }
    for (int row = 0; row < FSearchModel->rowCount(); ++row)
        if (FSearchModel->EntryAt(row).ID == id && ChatLog::StoredType(FSearchModel->EntryAt(row).Category) == stored) {
            FSearchModel->RemoveEntry(row);
            break;
        }
    if (FShownId == id && FShownCategory == stored) {
        FContent->clear();
        FShownId = 0;
    }
}

void TLogManage::OperationFinished(quint64 ticket, const QString& error) {
    const auto found = FOperations.constFind(ticket);
    if (found == FOperations.constEnd()) return; // another window's
    const TPending pending = *found;
    FOperations.erase(found);
    UpdateBusy();
    if (!error.isEmpty()) {
        FStatus->clear();
        ShowError(error);
        return;
    }
    switch (pending.Kind) {
    case opDelete: RemoveListed(pending.Category, pending.ID); break;
    case opDeleteAll:
        if (FListModel->HasFilter() && Covers(pending.Filter, FListModel->Filter())) FListModel->SetFilter(FListModel->Filter());
        if (FSearching) FSearchModel->Refresh();
        if (FShownId != 0 && FShownCategory == ChatLog::StoredType(pending.Filter.Category)) {
            FContent->clear();
            FShownId = 0;
        }
        break;
    case opExport:
        FStatus->setText(TranslateFormat(QStringLiteral("The chat log was exported to %s."), {pending.FileName}));
        break;
    case opCompact: FStatus->setText(Translate(QStringLiteral("The chat log was compacted."))); break;
    }
    // A nickname whose last message went leaves the tree.
    const bool single = ChatLog::StoredType(pending.Kind == opDelete ? pending.Category : pending.Filter.Category) == ltSingle;
    if ((pending.Kind == opDelete || pending.Kind == opDeleteAll) && single && UserNodesLoaded() && FNickTicket == 0)
        LoadUserNodes();
}
