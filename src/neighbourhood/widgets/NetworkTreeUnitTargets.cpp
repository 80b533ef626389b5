// The network panel's remembered row, the enabling of pmNetwork and the
// computers it hands to other windows.
#include "neighbourhood/widgets/NetworkTreeUnit.h"

#include <QAction>
#include <QMenu>
#include <QTreeWidgetItemIterator>

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
