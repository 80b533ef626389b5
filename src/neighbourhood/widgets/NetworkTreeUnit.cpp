#include "neighbourhood/widgets/NetworkTreeUnit.h"

#include "neighbourhood/NeighbourhoodServiceUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTreeWidgetItemIterator>

namespace {

QIcon ThemeIcon(const char* theme, const char* fallbackTheme, const char* ownImage) {
    const QIcon own = TAppImages::Instance().Icon(QString::fromLatin1(ownImage));
    return QIcon::fromTheme(QString::fromLatin1(theme), QIcon::fromTheme(QString::fromLatin1(fallbackTheme), own));
}

QIcon IconOf(TNetKind kind) {
    switch (kind) {
    case TNetKind::nkServer: return ThemeIcon("computer", "network-server", "SHELL_COMPUTER");
    case TNetKind::nkRoot: return ThemeIcon("network-workgroup", "network-wired", "SHELL_NETWORK");
    default: return ThemeIcon("folder-remote", "network-workgroup", "SHELL_WORKGROUP");
    }
}

QString CheckImage(bool checked) {
    return checked ? QStringLiteral("U_CHECKBOX_CHECKED") : QStringLiteral("U_CHECKBOX_UNCHECKED");
}

struct TMenuItem {
    const char* Name;
    QString Caption;
    int Tag;
};
const QList<TMenuItem> MenuItems() {
    return {
    {"miSendMessageSelected", QLM_TEXT("Send Message to Selected..."), TNetworkTree::TagSendMessageSelected},
    {"miSendMessageChecked", QLM_TEXT("Send Message to Checked..."), TNetworkTree::TagSendMessageChecked},
    {"miSendCMessageSelected", QLM_TEXT("Send Console Message to Selected..."), TNetworkTree::TagSendCMessageSelected},
    {"miSendCMessageChecked", QLM_TEXT("Send Console Message to Checked..."), TNetworkTree::TagSendCMessageChecked},
    {"miSendFileSelected", QLM_TEXT("Send File(s) to Selected..."), TNetworkTree::TagSendFileSelected},
    {nullptr, {}, 0},
    {"miRefreshSelectedNode", QLM_TEXT("Refresh Selected Node"), 0},
    {"miRefreshTree", QLM_TEXT("Refresh Entire Tree"), 0},
    };
}

constexpr const char* kEnglishProperty = "qlmEnglish";

} // namespace

// ---------------------------------------------------------------- delegate

void TNetworkDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QVariant data = index.data(TNetworkTree::ItemRole);
    if (!FCheckBoxes || !data.isValid() || !data.value<TNetItem>().IsComputer()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QRect box(option.rect.left(), option.rect.top() + (option.rect.height() - StateSize) / 2, StateSize, StateSize);
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(box, TAppImages::Instance().Pixmap(CheckImage(index.data(TNetworkTree::CheckedRole).toBool()),
                                                           StateSize, ratio));
    QStyleOptionViewItem rest = option;
    rest.rect.setLeft(option.rect.left() + StateSize + StateGap);
    QStyledItemDelegate::paint(painter, rest, index);
}

QSize TNetworkDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QVariant data = index.data(TNetworkTree::ItemRole);
    if (FCheckBoxes && data.isValid() && data.value<TNetItem>().IsComputer()) size.rwidth() += StateSize + StateGap;
    return size.expandedTo(QSize(0, StateSize + 2));
}

// ---------------------------------------------------------------- tree

TNetworkTree::TNetworkTree(TNeighbourhoodService& service, TMode mode, QWidget* parent)
    : QTreeWidget(parent), FService(service), FMode(mode) {
    setObjectName(QStringLiteral("tvNetwork"));
    setColumnCount(1);
    header()->hide();
    setRootIsDecorated(false);
    setItemDelegate(new TNetworkDelegate(mode == tmPanel, this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    // Enter and double click open a message window; a double click never toggles a row.
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    BuildMenu();
    connect(this, &QTreeWidget::itemExpanded, this, &TNetworkTree::Expanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &TNetworkTree::Collapsed);
    connect(&FService, &TNeighbourhoodService::ChildrenReplaced, this, &TNetworkTree::ChildrenReplaced);
    connect(&FService, &TNeighbourhoodService::ItemChanged, this, &TNetworkTree::ItemChanged);
    connect(&FService, &TNeighbourhoodService::EnumerationFinished, this, &TNetworkTree::EnumerationFinished);
    connect(&FService, &TNeighbourhoodService::SourceUnavailable, this,
            [this](TNetSources, const QString& text) { Notice(text); });
    connect(&FService, &TNeighbourhoodService::SourceFailed, this,
            [this](TNetSources, const QString&, const QString& text) { Notice(text); });
}

TNetworkTree::~TNetworkTree() = default;

void TNetworkTree::BuildMenu() {
    FMenu = new QMenu(this);
    FMenu->setObjectName(QStringLiteral("pmNetwork"));
    for (const TMenuItem& item : MenuItems()) {
        if (!item.Name) {
            FMenu->addSeparator();
            continue;
        }
        QAction* action = FMenu->addAction(Translate(item.Caption));
        action->setObjectName(QString::fromLatin1(item.Name));
        action->setProperty(kEnglishProperty, item.Caption);
        action->setData(item.Tag);
        // Only "Refresh Entire Tree" works before the menu first opens on a row.
        action->setEnabled(false);
        if (item.Tag) connect(action, &QAction::triggered, this, [this, tag = item.Tag] { emit CommandRequested(tag); });
    }
    QAction* all = MenuAction(QStringLiteral("miRefreshTree"));
    all->setEnabled(true);
    connect(all, &QAction::triggered, this, &TNetworkTree::ReloadNetworkTreeExecute);
    connect(MenuAction(QStringLiteral("miRefreshSelectedNode")), &QAction::triggered, this,
            &TNetworkTree::ReloadNetworkTreeNodeExecute);
    MenuAction(QStringLiteral("miSendMessageSelected"))->setIcon(TAppImages::Instance().Icon(QStringLiteral("U_COMMAND_SENDMESSAGE")));
    MenuAction(QStringLiteral("miSendMessageChecked"))
        ->setIcon(TAppImages::Instance().Icon(QStringLiteral("U_COMMAND_SENDMESSAGECHECKED")));
    MenuAction(QStringLiteral("miSendFileSelected"))->setIcon(TAppImages::Instance().Icon(QStringLiteral("U_COMMAND_SENDFILE")));
}

QAction* TNetworkTree::MenuAction(const QString& objectName) const {
    for (QAction* action : FMenu->actions())
        if (action->objectName() == objectName) return action;
    return nullptr;
}

void TNetworkTree::TranslateCaptions() {
    for (QAction* action : FMenu->actions()) {
        const QString english = action->property(kEnglishProperty).toString();
        if (!english.isEmpty()) action->setText(Translate(english));
    }
    for (auto it = FRows.cbegin(); it != FRows.cend(); ++it)
        if (const std::optional<TNetItem> item = ItemOf(it.value())) ApplyItem(it.value(), *item);
    if (QTreeWidgetItem* root = RootRow()) root->setText(0, Translate(QStringLiteral("Network Neighborhood")));
}

// ---------------------------------------------------------------- rows

QString TNetworkTree::RowText(const TNetItem& item) {
    if (!item.IsComputer()) return item.DisplayName;
    const QString name = item.ComputerName.isEmpty() ? item.DisplayName : item.ComputerName;
    if (!item.IPAddress.isEmpty()) return TranslateFormat(QStringLiteral("%s [%s]"), {name, item.IPAddress});
    if (item.Resolved) return TranslateFormat(QStringLiteral("%s [%s]"), {name, Translate(QStringLiteral("Unknown IP"))});
    return name;
}

std::optional<TNetItem> TNetworkTree::ItemOf(const QTreeWidgetItem* row) {
    if (!row) return std::nullopt;
    const QVariant data = row->data(0, ItemRole);
    if (!data.isValid()) return std::nullopt;
    return data.value<TNetItem>();
}

bool TNetworkTree::IsComputer(const QTreeWidgetItem* row) {
    const std::optional<TNetItem> item = ItemOf(row);
    return item && item->IsComputer();
}

QTreeWidgetItem* TNetworkTree::RootRow() const { return FRows.value(QString()); }

QTreeWidgetItem* TNetworkTree::Row(const QString& key) const { return FRows.value(key); }

void TNetworkTree::ApplyItem(QTreeWidgetItem* row, const TNetItem& item) {
    row->setData(0, ItemRole, QVariant::fromValue(item));
    row->setText(0, item.Kind == TNetKind::nkRoot ? Translate(QStringLiteral("Network Neighborhood")) : RowText(item));
    if (item.IsComputer()) {
        // Grey while its address is being looked for.
        const bool pending = item.IPAddress.isEmpty() && !item.Resolved;
        row->setForeground(0, pending ? palette().brush(QPalette::Disabled, QPalette::Text) : QBrush());
        row->setToolTip(0, pending ? Translate(QStringLiteral("Looking up the address...")) : QString());
    }
}

QTreeWidgetItem* TNetworkTree::AddRow(QTreeWidgetItem* parent, const TNetItem& item) {
    auto* row = new QTreeWidgetItem;
    row->setIcon(0, IconOf(item.Kind));
    row->setData(0, CheckedRole, false);
    row->setData(0, EnumeratedRole, false);
    ApplyItem(row, item);
    row->setChildIndicatorPolicy(!item.IsComputer() && item.HasChildren ? QTreeWidgetItem::ShowIndicator
                                                                       : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    FRows.insert(item.Key, row);
    if (parent) parent->addChild(row);
    else addTopLevelItem(row);
    return row;
}

void TNetworkTree::Forget(QTreeWidgetItem* row) {
    for (int i = 0; i < row->childCount(); ++i) Forget(row->child(i));
    if (const std::optional<TNetItem> item = ItemOf(row)) {
        if (FRows.value(item->Key) == row) FRows.remove(item->Key);
        FReading.remove(item->Key);
    }
}

void TNetworkTree::DropChildren(QTreeWidgetItem* row) {
    const QList<QTreeWidgetItem*> children = row->takeChildren();
    for (QTreeWidgetItem* child : children) {
        Forget(child);
        delete child;
    }
}

void TNetworkTree::LoadNetworkRoot() {
    if (RootRow()) return;
    QTreeWidgetItem* row = AddRow(nullptr, FService.Root());
    row->setExpanded(true);  // reads the containers
}

void TNetworkTree::ReloadNetworkTreeExecute() {
    clear();
    FRows.clear();
    FReading.clear();
    FHasRemembered = false;
    QTreeWidgetItem* row = AddRow(nullptr, FService.Root());
    StartRead(row, true);
    row->setExpanded(true);
}

void TNetworkTree::ClearTicks(QTreeWidgetItem* row) {
    for (int i = 0; i < row->childCount(); ++i) {
        SetChecked(row->child(i), false);
        ClearTicks(row->child(i));
    }
}

void TNetworkTree::ReloadNetworkTreeNodeExecute() {
    QTreeWidgetItem* row = RememberedRow();
    const std::optional<TNetItem> item = ItemOf(row);
    if (!item || item->IsComputer() || item->Kind == TNetKind::nkRoot) return;
    // Ticks below the row go now, though its rows stay until the new ones come.
    ClearTicks(row);
    StartRead(row, false);
}

void TNetworkTree::StartRead(QTreeWidgetItem* row, bool all) {
    const std::optional<TNetItem> item = ItemOf(row);
    if (!item || item->IsComputer() || FReading.contains(item->Key)) return;
    // What the service knows already (another view read it) is shown without reading again.
    if (!all && !row->data(0, EnumeratedRole).toBool()) {
        const QList<TNetItem> known = FService.Children(item->Key);
        if (!known.isEmpty() && !FService.IsBusy(item->Key)) {
            ChildrenReplaced(item->Key, known);
            return;
        }
    }
    FReading.insert(item->Key);
    AddPlaceholder(row);
    UpdateBusyLook(row);
    if (all) FService.RefreshAll();
    else FService.Enumerate(item->Key);
}

void TNetworkTree::AddPlaceholder(QTreeWidgetItem* row) {
    // Only an empty row says it is being read; one with rows keeps them meanwhile.
    if (row->childCount() > 0) return;
    auto* placeholder = new QTreeWidgetItem(row);
    placeholder->setText(0, Translate(QStringLiteral("Searching the network...")));
    placeholder->setData(0, PlaceholderRole, true);
    placeholder->setFlags(Qt::ItemIsEnabled);
    placeholder->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
}

bool TNetworkTree::IsReading(const QTreeWidgetItem* row) const {
    const std::optional<TNetItem> item = ItemOf(row);
    return item && FReading.contains(item->Key);
}

void TNetworkTree::UpdateBusyLook(QTreeWidgetItem* row) {
    if (row) {
        QFont font = row->font(0);
        font.setItalic(IsReading(row));
        row->setFont(0, font);
    }
    // A busy pointer over the panel only: the window answers input all the time.
    if (FReading.isEmpty()) viewport()->unsetCursor();
    else viewport()->setCursor(Qt::BusyCursor);
}

void TNetworkTree::Expanded(QTreeWidgetItem* row) {
    if (!row->data(0, EnumeratedRole).toBool()) StartRead(row, false);
}

void TNetworkTree::Collapsed(QTreeWidgetItem* row) {
    // The root stays open.
    if (row == RootRow()) row->setExpanded(true);
}

void TNetworkTree::ChildrenReplaced(const QString& key, const QList<TNetItem>& children) {
    QTreeWidgetItem* row = Row(key);
    if (!row) return;
    // Ticks that were given after a re-read began stay with their computer.
    QSet<QString> ticked;
    for (int i = 0; i < row->childCount(); ++i)
        if (row->child(i)->data(0, CheckedRole).toBool())
            if (const std::optional<TNetItem> item = ItemOf(row->child(i))) ticked.insert(item->Key);
    setUpdatesEnabled(false);
    setSortingEnabled(false);
    DropChildren(row);
    for (const TNetItem& child : children) {
        if (child.Key.isEmpty() || FRows.contains(child.Key)) continue;
        QTreeWidgetItem* added = AddRow(row, child);
        if (ticked.contains(child.Key)) added->setData(0, CheckedRole, true);
    }
    row->setData(0, EnumeratedRole, true);
    if (FReading.contains(key)) AddPlaceholder(row);
    else row->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    setSortingEnabled(true);
    setUpdatesEnabled(true);
}

void TNetworkTree::ItemChanged(const TNetItem& item) {
    QTreeWidgetItem* row = Row(item.Key);
    if (!row) return;
    ApplyItem(row, item);
}

void TNetworkTree::EnumerationFinished(const QString& key) {
    if (!FReading.remove(key)) return;
    QTreeWidgetItem* row = Row(key);
    if (!row) {
        UpdateBusyLook(nullptr);
        return;
    }
    for (int i = row->childCount() - 1; i >= 0; --i)
        if (row->child(i)->data(0, PlaceholderRole).toBool()) delete row->takeChild(i);
    row->setData(0, EnumeratedRole, true);
    row->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    UpdateBusyLook(row);
}

void TNetworkTree::Notice(const QString& text) {
    if (text.isEmpty() || FNotices.contains(text)) return;
    FNotices << text;
    if (QTreeWidgetItem* root = RootRow()) root->setToolTip(0, FNotices.join(QLatin1Char('\n')));
    emit SourceNotice(text);
}

// ---------------------------------------------------------------- ticks

bool TNetworkTree::IsChecked(const QTreeWidgetItem* row) const {
    return IsComputer(row) && row->data(0, CheckedRole).toBool();
}

void TNetworkTree::SetChecked(QTreeWidgetItem* row, bool checked) {
    if (FMode != tmPanel || !IsComputer(row)) return;
    row->setData(0, CheckedRole, checked);
}

QRect TNetworkTree::StateImageRect(const QTreeWidgetItem* row) const {
    if (FMode != tmPanel || !IsComputer(row)) return {};
    const QRect rect = visualItemRect(row);
    return QRect(rect.left(), rect.top() + (rect.height() - TNetworkDelegate::StateSize) / 2, TNetworkDelegate::StateSize,
                 TNetworkDelegate::StateSize);
}

void TNetworkTree::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* row = itemAt(pos);
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && row && StateImageRect(row).contains(pos))
        SetChecked(row, !IsChecked(row));
}

void TNetworkTree::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* row = itemAt(pos);
    if (event->button() != Qt::LeftButton || !row) {
        QTreeWidget::mouseDoubleClickEvent(event);
        return;
    }
    // The double click stands for a second press: on the check box it flips it again.
    if (StateImageRect(row).contains(pos)) {
        SetChecked(row, !IsChecked(row));
        return;
    }
    if (IsComputer(row)) {
        RememberRow(row);
        emit CommandRequested(TagSendMessageSelected);
        return;
    }
    // A container opens or closes (the root stays open).
    row->setExpanded(!row->isExpanded());
}

void TNetworkTree::keyPressEvent(QKeyEvent* event) {
    QTreeWidgetItem* row = currentItem();
    const Qt::KeyboardModifiers held = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (held == Qt::NoModifier && row && row->isSelected() && IsComputer(row)) {
        if (event->key() == Qt::Key_Space) {
            SetChecked(row, !IsChecked(row));
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            RememberRow(row);
            emit CommandRequested(TagSendMessageSelected);
            event->accept();
            return;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

void TNetworkTree::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (FMode != tmPanel) return;
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        // The right button selects too.
        if (QTreeWidgetItem* row = itemAt(event->pos())) setCurrentItem(row);
    } else if (QTreeWidgetItem* row = currentItem()) {
        at = viewport()->mapToGlobal(visualItemRect(row).center());
    }
    QTreeWidgetItem* row = currentItem();
    if (row && !row->isSelected()) row = nullptr;
    if (row && !row->data(0, PlaceholderRole).toBool()) {
        RememberRow(row);
        UpdateMenu(row);
    }
    FMenu->popup(at);
}

// ---------------------------------------------------------------- menu and targets

QTreeWidgetItem* TNetworkTree::RememberedRow() const { return FHasRemembered ? Row(FRemembered) : nullptr; }

void TNetworkTree::RememberRow(QTreeWidgetItem* row) {
    const std::optional<TNetItem> item = ItemOf(row);
    FHasRemembered = item.has_value();
    FRemembered = item ? item->Key : QString();
}

bool TNetworkTree::AnyChecked() const {
    for (QTreeWidgetItem* row : ComputerRows())
        if (IsChecked(row)) return true;
    return false;
}

void TNetworkTree::UpdateMenu(QTreeWidgetItem* row) {
    const std::optional<TNetItem> item = ItemOf(row);
    if (!item) return;
    const bool computer = item->IsComputer();
    const bool checked = AnyChecked();
    MenuAction(QStringLiteral("miSendMessageSelected"))->setEnabled(computer);
    MenuAction(QStringLiteral("miSendMessageChecked"))->setEnabled(checked);
    MenuAction(QStringLiteral("miSendCMessageSelected"))->setEnabled(computer);
    MenuAction(QStringLiteral("miSendCMessageChecked"))->setEnabled(checked);
    MenuAction(QStringLiteral("miSendFileSelected"))->setEnabled(computer);
    MenuAction(QStringLiteral("miRefreshSelectedNode"))->setEnabled(!computer && item->Kind != TNetKind::nkRoot);
    MenuAction(QStringLiteral("miRefreshTree"))->setEnabled(true);
}

QList<QTreeWidgetItem*> TNetworkTree::ComputerRows() const {
    QList<QTreeWidgetItem*> rows;
    for (QTreeWidgetItemIterator it(const_cast<TNetworkTree*>(this)); *it; ++it)
        if (IsComputer(*it)) rows << *it;
    return rows;
}

QIcon TNetworkTree::ComputerIcon() { return IconOf(TNetKind::nkServer); }

TRecipient TNetworkTree::RecipientOf(const TNetItem& item) {
    TRecipient recipient;
    recipient.ComputerName = item.ComputerName.isEmpty() ? item.DisplayName : item.ComputerName;
    recipient.IPAddress = item.IPAddress;
    return recipient;
}

std::optional<TRecipient> TNetworkTree::SelectedComputer() const {
    const std::optional<TNetItem> item = ItemOf(RememberedRow());
    if (!item || !item->IsComputer()) return std::nullopt;
    return RecipientOf(*item);
}

TRecipients TNetworkTree::CheckedComputers() const {
    TRecipients recipients;
    for (QTreeWidgetItem* row : ComputerRows())
        if (IsChecked(row)) recipients << RecipientOf(*ItemOf(row));
    return recipients;
}

TRecipients TNetworkTree::AllComputers() const {
    TRecipients recipients;
    for (QTreeWidgetItem* row : ComputerRows()) recipients << RecipientOf(*ItemOf(row));
    return recipients;
}

QString TNetworkTree::ConsoleNames(bool checked) const {
    QStringList names;
    if (checked) {
        for (const TRecipient& recipient : CheckedComputers()) names << recipient.ComputerName;
    } else if (const std::optional<TRecipient> one = SelectedComputer()) {
        names << one->ComputerName;
    }
    return names.join(QLatin1Char('\t'));
}
