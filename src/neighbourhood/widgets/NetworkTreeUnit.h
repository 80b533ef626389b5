#pragma once

#include "neighbourhood/NetTreeUnit.h"
#include "protocol/CommConstsUnit.h"

#include <QHash>
#include <QSet>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <optional>

class QMenu;
class QAction;
class TNeighbourhoodService;

// Draws a computer's check box (the kit's state image) left of its icon and text.
class TNetworkDelegate : public QStyledItemDelegate {
public:
    static constexpr int StateSize = 16;
    static constexpr int StateGap = 2;
    TNetworkDelegate(bool checkBoxes, QObject* parent) : QStyledItemDelegate(parent), FCheckBoxes(checkBoxes) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    bool FCheckBoxes;
};

// The "Network Neighborhood" panel (tvNetwork): the service's tree of
// workgroups and computers, read on first expansion and never on the GUI
// thread, computers with a check box, and the context menu pmNetwork.
// Commands that open other windows leave as CommandRequested(tag); the
// window that owns the panel reads the targets back from it.
class TNetworkTree : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int TagSendMessageSelected = 1203;
    static constexpr int TagSendMessageChecked = 1205;
    static constexpr int TagSendCMessageSelected = 1104;
    static constexpr int TagSendCMessageChecked = 1105;
    static constexpr int TagSendFileSelected = 1303;

    // Per row: the TNetItem, whether it is ticked, whether its children were read.
    static constexpr int ItemRole = Qt::UserRole + 1;
    static constexpr int CheckedRole = Qt::UserRole + 2;
    static constexpr int EnumeratedRole = Qt::UserRole + 3;
    static constexpr int PlaceholderRole = Qt::UserRole + 4;

    // The panel has check boxes and pmNetwork; the chooser's tree neither.
    enum TMode { tmPanel, tmChooser };
    explicit TNetworkTree(TNeighbourhoodService& service, TMode mode = tmPanel, QWidget* parent = nullptr);
    ~TNetworkTree() override;

    // The root row, expanded: its containers are read now.
    void LoadNetworkRoot();
    // "Refresh Entire Tree", "Refresh Windows &Network": every row and tick goes, the root is read again.
    void ReloadNetworkTreeExecute();
    // "Refresh Selected Node": the remembered container is read again; its ticks go.
    void ReloadNetworkTreeNodeExecute();

    QTreeWidgetItem* RootRow() const;
    QTreeWidgetItem* Row(const QString& key) const;
    static std::optional<TNetItem> ItemOf(const QTreeWidgetItem* row);
    static bool IsComputer(const QTreeWidgetItem* row);
    bool IsChecked(const QTreeWidgetItem* row) const;
    void SetChecked(QTreeWidgetItem* row, bool checked);
    // Viewport rectangle of a computer's check box (empty for other rows).
    QRect StateImageRect(const QTreeWidgetItem* row) const;
    // A read of this row's children is running.
    bool IsReading(const QTreeWidgetItem* row) const;

    // The row the context menu or a double click last acted on; "to Selected" commands use it.
    QTreeWidgetItem* RememberedRow() const;
    void RememberRow(QTreeWidgetItem* row);

    // Targets: the remembered computer; the ticked ones and every computer in tree order.
    std::optional<TRecipient> SelectedComputer() const;
    TRecipients CheckedComputers() const;
    TRecipients AllComputers() const;
    // The console window's names: the remembered computer's, or the ticked ones', joined by tabs.
    QString ConsoleNames(bool checked) const;
    static TRecipient RecipientOf(const TNetItem& item);
    // The icon of computer rows (the tray's computer items show it too).
    static QIcon ComputerIcon();

    QMenu* Menu() const { return FMenu; }
    QAction* MenuAction(const QString& objectName) const;
    // The enabling rules of pmNetwork for the row (nothing changes for none).
    void UpdateMenu(QTreeWidgetItem* row);
    // Captions, the root's name and every "Unknown IP" in the current language.
    void TranslateCaptions();
    // What the sources said about themselves, one line per text, once each.
    QStringList SourceNotices() const { return FNotices; }

    // A computer row's text: "%s [%s]" once its address or the end of its resolution is known.
    static QString RowText(const TNetItem& item);

signals:
    void CommandRequested(int tag);
    // A source could not work or failed; text is translated and said once.
    void SourceNotice(const QString& text);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildMenu();
    QTreeWidgetItem* AddRow(QTreeWidgetItem* parent, const TNetItem& item);
    void ApplyItem(QTreeWidgetItem* row, const TNetItem& item);
    void DropChildren(QTreeWidgetItem* row);
    void Forget(QTreeWidgetItem* row);
    void StartRead(QTreeWidgetItem* row, bool all);
    void ClearTicks(QTreeWidgetItem* row);
    void AddPlaceholder(QTreeWidgetItem* row);
    void UpdateBusyLook(QTreeWidgetItem* row);
    void ChildrenReplaced(const QString& key, const QList<TNetItem>& children);
    void ItemChanged(const TNetItem& item);
    void EnumerationFinished(const QString& key);
    void Notice(const QString& text);
    void Expanded(QTreeWidgetItem* row);
    void Collapsed(QTreeWidgetItem* row);
    bool AnyChecked() const;
    QList<QTreeWidgetItem*> ComputerRows() const;

    TNeighbourhoodService& FService;
    TMode FMode;
    QHash<QString, QTreeWidgetItem*> FRows;
    QSet<QString> FReading;
    QString FRemembered;
    bool FHasRemembered = false;
    QStringList FNotices;
    QMenu* FMenu = nullptr;
};
