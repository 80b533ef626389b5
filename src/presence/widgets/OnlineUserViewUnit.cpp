#include "presence/widgets/OnlineUserViewUnit.h"

#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "text/UILangUnit.h"
#include "ui/OnlineStateMenuUnit.h"
#include "ui/AppImagesUnit.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <optional>
#include <utility>

namespace {

// Rounded corners of the row backgrounds (a corner ellipse 5 pixels wide).
constexpr qreal kCornerRadius = 2.5;
constexpr int kImageGap = 4;
constexpr int kTextGap = 8;

const QColor kSelectedPen(120, 170, 255);
const QColor kSelectedBrush(205, 224, 254);
const QColor kExpandedPen(255, 154, 120);
const QColor kExpandedBrush(254, 217, 205);

void DrawImage(QPainter* painter, const QString& name, int left, const QRect& row) {
    if (name.isEmpty()) return;
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap pixmap = TAppImages::Instance().Pixmap(name, TOnlineUserDelegate::ImageSize, ratio);
    if (pixmap.isNull()) return; // the slot stays empty
    const int top = row.top() + (row.height() - TOnlineUserDelegate::ImageSize) / 2;
    painter->drawPixmap(QRect(left, top, TOnlineUserDelegate::ImageSize, TOnlineUserDelegate::ImageSize), pixmap);
}

// Single line, vertically centred, cut with an ellipsis; returns the width drawn.
int DrawText(QPainter* painter, const QFontMetrics& metrics, const QString& text, int left, int right, const QRect& row) {
    if (text.isEmpty() || right <= left) return 0;
    const QString shown = metrics.elidedText(text, Qt::ElideRight, right - left);
    painter->drawText(QRect(left, row.top(), right - left, row.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    return metrics.horizontalAdvance(shown);
}

} // namespace

// ------------------------------------------------------------------ delegate

TOnlineUserDelegate::TOnlineUserDelegate(const TApplicationParams& params, QObject* parent)
    : QStyledItemDelegate(parent), FParams(params) {}

QString TOnlineUserDelegate::MainText(const TUserNodeData& user) {
    QString state;
    const std::optional<TOnlineState> wire = OnlineStateFromWire(user.OnlineState);
    if (wire == TOnlineState::Busy) state = Translate(QStringLiteral("Busy"));
    else if (wire == TOnlineState::Away) state = Translate(QStringLiteral("Away"));
    if (state.isEmpty()) return user.NickName;
    return user.NickName + FormatText(QStringLiteral("  <%s>"), {state});
}

QString TOnlineUserDelegate::DetailText(const TUserNodeData& user, bool showComputerName, bool showIPAddress) {
    if (!user.Responding) return Translate(QStringLiteral("No response within 5 minutes"));
    if (showComputerName && showIPAddress) return FormatText(QStringLiteral("%s  %s"), {user.ComputerName, user.IPAddress});
    if (showComputerName) return user.ComputerName;
    if (showIPAddress) return user.IPAddress;
    return {};
}

int TOnlineUserDelegate::DrawLeft(const QRect& rowRect, bool isGroup) {
    const int level = isGroup ? 0 : 1;
    return rowRect.left() + level * (Indent / 2) + (isGroup ? 4 : 0);
}

QString TOnlineUserDelegate::ToggleImageName(const TUserNodeData& node, bool expanded) {
    if (node.IsGroup) return expanded ? QStringLiteral("GROUP_ARROW_DOWN") : QStringLiteral("GROUP_ARROW_LEFT");
    return node.Checked ? QStringLiteral("U_CHECKBOX_CHECKED") : QStringLiteral("U_CHECKBOX_UNCHECKED");
}

QString TOnlineUserDelegate::StateImageName(std::optional<TOnlineState> state) {
    return state ? OnlineStateMenu::MenuImageName(*state) : QString();
}

int TOnlineUserDelegate::RowHeight(const QFontMetrics& metrics) {
    const int defaultHeight = qMax(metrics.height(), ImageSize) + 2;
    return defaultHeight + 4;
}

QSize TOnlineUserDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), RowHeight(option.fontMetrics)};
}

void TOnlineUserDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* model = qobject_cast<const TOnlineUserModel*>(index.model());
    const TUserNodeData* node = model ? model->NodeData(index) : nullptr;
    if (!node) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QRect row = option.rect;
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool expanded = node->IsGroup && option.state.testFlag(QStyle::State_Open);
    const bool hot = option.state.testFlag(QStyle::State_MouseOver);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    std::optional<std::pair<QColor, QColor>> background; // pen, brush
    if (selected && expanded) background = {kExpandedPen, kExpandedBrush};
    else if (selected) background = {kSelectedPen, kSelectedBrush};
    else if (hot) background = {kSelectedBrush, kSelectedBrush};
    else if (expanded) background = {kExpandedBrush, kExpandedBrush};
    if (background) {
        painter->setPen(background->first);
        painter->setBrush(background->second);
        painter->drawRoundedRect(QRectF(row).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
    }
    painter->setRenderHint(QPainter::Antialiasing, false);

    int left = DrawLeft(row, node->IsGroup);
    int right = row.right() + 1;
    DrawImage(painter, ToggleImageName(*node, expanded), left, row);
    left += ImageSize + kImageGap;
    if (!node->IsGroup) {
        const QString state = StateImageName(OnlineStateFromWire(node->OnlineState));
        if (!state.isEmpty()) {
            DrawImage(painter, state, left, row);
            left += ImageSize + kImageGap;
        }
    }

    painter->setFont(option.font);
    const QFontMetrics metrics(option.font);
    painter->setPen(option.palette.color(QPalette::Active, QPalette::WindowText));
    if (node->IsGroup) {
        if (node->IsFavorite) {
            DrawImage(painter, QStringLiteral("GROUP_FAVORITE"), right - kImageGap - ImageSize, row);
            right -= ImageSize + kTextGap;
        }
        DrawText(painter, metrics, model->GroupCaption(index.row()), left, right, row);
    } else {
        left += DrawText(painter, metrics, MainText(*node), left, right, row) + kTextGap;
        const QString detail =
            DetailText(*node, FParams[bpOnlineListShowCompuerName], FParams[bpOnlineListShowIPAddress]);
        painter->setPen(option.palette.color(QPalette::Disabled, QPalette::Text));
        DrawText(painter, metrics, detail, left, right, row);
    }
    painter->restore();
}

// ---------------------------------------------------------------------- view

TOnlineUserView::TOnlineUserView(QWidget* parent) : TOnlineUserView(Params(), parent) {}

TOnlineUserView::TOnlineUserView(const TApplicationParams& params, QWidget* parent) : QTreeView(parent) {
    setObjectName(QStringLiteral("tvUser"));
    setItemDelegate(new TOnlineUserDelegate(params, this));
    setHeaderHidden(true);
    header()->setStretchLastSection(true);
    // The rows draw their own indent and images; the tree adds nothing.
    setIndentation(0);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);

    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        // A group opens only while it has users.
        if (model() && model()->rowCount(index) == 0) collapse(index);
        viewport()->update();
    });
    connect(this, &QTreeView::collapsed, this, [this] { viewport()->update(); });
}

void TOnlineUserView::setModel(QAbstractItemModel* model) {
    for (const auto& connection : FModelConnections) disconnect(connection);
    FModelConnections.clear();
    FHotRow = QPersistentModelIndex();
    QTreeView::setModel(model);
    FModel = qobject_cast<TOnlineUserModel*>(model);
    if (!model) return;
    // Favorite Contacts is selected as the list is built.
    FModelConnections << connect(model, &QAbstractItemModel::rowsInserted, this,
                                 [this](const QModelIndex& parent, int first) {
                                     if (!parent.isValid() && first == 0 && !SelectedRow().isValid())
                                         setCurrentIndex(this->model()->index(0, 0));
                                 });
    FModelConnections << connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { CollapseEmptyGroups(); });
    FModelConnections << connect(model, &QAbstractItemModel::rowsMoved, this, [this] { CollapseEmptyGroups(); });
    if (model->rowCount() > 0 && !SelectedRow().isValid()) setCurrentIndex(model->index(0, 0));
}

void TOnlineUserView::CollapseEmptyGroups() {
    if (!model()) return;
    for (int row = 0; row < model()->rowCount(); ++row) {
        const QModelIndex group = model()->index(row, 0);
        if (isExpanded(group) && model()->rowCount(group) == 0) collapse(group);
    }
}

QModelIndex TOnlineUserView::SelectedRow() const {
    if (!selectionModel()) return {};
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

const TUserNodeData* TOnlineUserView::SelectedNode() const { return FModel ? FModel->NodeData(SelectedRow()) : nullptr; }

bool TOnlineUserView::IsUserSelected() const {
    const TUserNodeData* node = SelectedNode();
    return node && !node->IsGroup;
}

QRect TOnlineUserView::ToggleRect(const QModelIndex& index) const {
    const TUserNodeData* node = FModel ? FModel->NodeData(index) : nullptr;
    const QRect item = visualRect(index);
    if (!node || item.isEmpty()) return {};
    const QRect row(0, item.top(), viewport()->width(), item.height());
    return {TOnlineUserDelegate::DrawLeft(row, node->IsGroup), row.top(), TOnlineUserDelegate::ToggleWidth, row.height()};
}

void TOnlineUserView::ToggleRow(const QModelIndex& index) {
    const TUserNodeData* node = FModel ? FModel->NodeData(index) : nullptr;
    if (!node) return;
    if (!node->IsGroup) {
        FModel->SetChecked(index, !node->Checked);
        return;
    }
    if (isExpanded(index))
        collapse(index);
    else if (FModel->rowCount(index) > 0)
        expand(index);
}

void TOnlineUserView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    item.rect = QRect(0, option.rect.top(), viewport()->width(), option.rect.height());
    item.state.setFlag(QStyle::State_Selected, selectionModel() && selectionModel()->isSelected(index));
    // expandAll() opens empty groups too, without a signal: they still look closed.
    item.state.setFlag(QStyle::State_Open, isExpanded(index) && model()->rowCount(index) > 0);
    // The view's own hover row, not the style's idea of it.
    item.state.setFlag(QStyle::State_MouseOver, FHotRow.isValid() && index == FHotRow);
    itemDelegateForIndex(index)->paint(painter, item, index);
}

void TOnlineUserView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    // Only the left button on the empty area clears the selection.
    if (!index.isValid() && event->button() != Qt::LeftButton) return;
    QTreeView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    if (!index.isValid()) {
        if (selectionModel()) selectionModel()->clear();
        return;
    }
    if (ToggleRect(index).contains(pos)) ToggleRow(index);
}

void TOnlineUserView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    const TUserNodeData* node = FModel ? FModel->NodeData(index) : nullptr;
    if (!node || event->button() != Qt::LeftButton) {
        QTreeView::mouseDoubleClickEvent(event);
        return;
    }
    // The double click stands for the second press: on the toggle area
    // it is one more toggle.
    if (ToggleRect(index).contains(pos) || node->IsGroup)
        ToggleRow(index);
    else
        emit SendMessageRequested();
}

void TOnlineUserView::SetHotRow(const QModelIndex& index) {
    if (index == FHotRow) return;
    const QModelIndex old = FHotRow;
    FHotRow = index;
    UpdateRow(old);
    UpdateRow(index);
}

void TOnlineUserView::UpdateRow(const QModelIndex& index) {
    const QRect item = visualRect(index);
    // Rows are drawn across the whole viewport, wider than the item.
    if (!item.isEmpty()) viewport()->update(QRect(0, item.top(), viewport()->width(), item.height()));
}

void TOnlineUserView::mouseMoveEvent(QMouseEvent* event) {
    if (FModel) SetHotRow(indexAt(event->position().toPoint()));
    QTreeView::mouseMoveEvent(event);
}

bool TOnlineUserView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) SetHotRow({});
    return QTreeView::viewportEvent(event);
}

void TOnlineUserView::keyPressEvent(QKeyEvent* event) {
    const QModelIndex index = SelectedRow();
    const TUserNodeData* node = FModel ? FModel->NodeData(index) : nullptr;
    switch (event->key()) {
    case Qt::Key_Space:
        if (node && !node->IsGroup) ToggleRow(index);
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (node && node->IsGroup) ToggleRow(index);
        else if (node) emit SendMessageRequested();
        event->accept();
        return;
    default: QTreeView::keyPressEvent(event);
    }
}

void TOnlineUserView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        // The menu key keeps the selection and opens the menu at its row.
        const QRect row = visualRect(SelectedRow());
        emit OnlineMenuRequested(row.isValid() ? viewport()->mapToGlobal(row.center()) : event->globalPos());
        return;
    }
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid()) setCurrentIndex(index);
    emit OnlineMenuRequested(event->globalPos());
}

void TOnlineUserView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    emit UserSelectionChanged(IsUserSelected());
}

// Drags carry the view's address: only a drag that started in this list
// is ever dropped on it.
bool TOnlineUserView::IsOwnDrag(const QMimeData* mime) const {
    return mime && mime->data(QString::fromLatin1(DragMimeType)) == QByteArray::number(quintptr(this));
}

QModelIndex TOnlineUserView::DropTarget(const QPoint& pos, const QMimeData* mime) const {
    if (!FModel || !IsOwnDrag(mime)) return {};
    const QModelIndex target = indexAt(pos);
    return FModel->CanDrop(SelectedRow(), target) ? target : QModelIndex();
}

void TOnlineUserView::startDrag(Qt::DropActions) {
    const QModelIndex dragged = SelectedRow();
    if (!FModel || !(FModel->flags(dragged) & Qt::ItemIsDragEnabled)) return;
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(DragMimeType), QByteArray::number(quintptr(this)));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
}

void TOnlineUserView::dragEnterEvent(QDragEnterEvent* event) {
    if (IsOwnDrag(event->mimeData())) {
        setState(DraggingState);
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TOnlineUserView::dragMoveEvent(QDragMoveEvent* event) {
    QTreeView::dragMoveEvent(event); // scrolls near the edges
    if (DropTarget(event->position().toPoint(), event->mimeData()).isValid()) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TOnlineUserView::dropEvent(QDropEvent* event) {
    stopAutoScroll();
    setState(NoState);
    const QModelIndex target = DropTarget(event->position().toPoint(), event->mimeData());
    if (target.isValid() && FModel->Drop(SelectedRow(), target)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
    viewport()->update();
}
