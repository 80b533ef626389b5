#pragma once

#include "core/OnlineStateValueUnit.h"
#include "presence/OnlineUserModelUnit.h"

#include <QStyledItemDelegate>
#include <QPointer>
#include <QPersistentModelIndex>
#include <QTreeView>
#include <optional>

class TApplicationParams;

// Draws the rows of the online list: rounded backgrounds, the toggle image
// (group arrow or check box), the state image, the Favorite star, the text
// and the grey detail text. A missing image leaves its slot empty.
class TOnlineUserDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int ImageSize = 16;
    // The 16-pixel area at the drawing's left edge that toggles a row.
    static constexpr int ToggleWidth = 16;
    // Indent of one level; rows start half of it further right per level.
    static constexpr int Indent = 19;

    explicit TOnlineUserDelegate(const TApplicationParams& params, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Nickname, with "  <Busy>" or "  <Away>" for those states.
    static QString MainText(const TUserNodeData& user);
    // The grey text after it: "No response within 5 minutes" for a silent
    // user, else computer name and/or IP address ("%s  %s" when both).
    static QString DetailText(const TUserNodeData& user, bool showComputerName, bool showIPAddress);
    // Where a row's drawing starts: level x (indent / 2), groups 4 further.
    static int DrawLeft(const QRect& rowRect, bool isGroup);
    // The state image of a row ("GROUP_ARROW_DOWN", "U_CHECKBOX_CHECKED" ...).
    static QString ToggleImageName(const TUserNodeData& node, bool expanded);
    // "ONLINESTATE_PRESENT" / "_BUSY" / "_AWAY"; empty for no state.
    static QString StateImageName(std::optional<TOnlineState> state);
    // The tree's default item height plus 4 pixels.
    static int RowHeight(const QFontMetrics& metrics);

private:
    const TApplicationParams& FParams;
};

// The online user list ("tvUser") over a TOnlineUserModel. Draws every row
// itself, toggles groups and check marks, keeps the hover row (drawn like a
// selection), and lets rows be dragged onto each other by the model's rules.
//
// Integration: setModel(&node.Model()); connect SendMessageRequested (double
// click or Enter on a user row) and UserSelectionChanged (tool bar buttons).
// OnlineMenuRequested (after the row under the pointer was selected) is
// answered by TOnlineUserCommands::BuildMenu, which shows pmOnline.
class TOnlineUserView : public QTreeView {
    Q_OBJECT
public:
    static constexpr const char* DragMimeType = "application/x-quillmate-onlineuser";

    explicit TOnlineUserView(QWidget* parent = nullptr);
    explicit TOnlineUserView(const TApplicationParams& params, QWidget* parent = nullptr);

    // Any model works; the list's behaviour needs a TOnlineUserModel.
    void setModel(QAbstractItemModel* model) override;
    TOnlineUserModel* OnlineModel() const { return FModel; }

    // The selected row (invalid when none) and its data.
    QModelIndex SelectedRow() const;
    const TUserNodeData* SelectedNode() const;
    bool IsUserSelected() const;

    // Viewport rectangle of a row's toggle area.
    QRect ToggleRect(const QModelIndex& index) const;
    // A group expands (only while it has users) or collapses; a user's tick flips.
    void ToggleRow(const QModelIndex& index);

    // The row under the pointer (invalid when none). Setting it repaints
    // only the row it leaves and the row it enters.
    QModelIndex HotRow() const { return FHotRow; }
    void SetHotRow(const QModelIndex& index);

signals:
    void SendMessageRequested();
    void UserSelectionChanged(bool userSelected);
    void OnlineMenuRequested(const QPoint& globalPos);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    bool IsOwnDrag(const QMimeData* mime) const;
    QModelIndex DropTarget(const QPoint& pos, const QMimeData* mime) const;
    void CollapseEmptyGroups();
    void UpdateRow(const QModelIndex& index);

    QPointer<TOnlineUserModel> FModel; // cleared when the model goes first
    QList<QMetaObject::Connection> FModelConnections;
    QPersistentModelIndex FHotRow;
};
