#include "transfer/widgets/FileListUnit.h"

#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QMimeDatabase>
#include <algorithm>

TShellFileList::TShellFileList(QObject* parent) : QAbstractTableModel(parent) { TranslateCaptions(); }

TShellItem TShellFileList::MakeItem(const QString& path) {
    const QFileInfo info(path);
    TShellItem item;
    if (!info.exists()) return item;
    static const QFileIconProvider icons;
    static const QMimeDatabase mimes;
    item.Path = info.absoluteFilePath();
    item.DisplayName = info.fileName().isEmpty() ? item.Path : info.fileName();
    item.IsFolder = info.isDir();
    item.Size = item.IsFolder ? 0 : info.size();
    const QMimeType mime = mimes.mimeTypeForFile(info, item.IsFolder ? QMimeDatabase::MatchDefault : QMimeDatabase::MatchExtension);
    // The icon theme's picture of the type ("text-plain", then "text-x-generic");
    // the platform's generic one where the theme has neither.
    item.Icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), icons.icon(info)));
    item.TypeName = item.IsFolder ? Translate(QStringLiteral("File Folder")) : mime.comment();
    item.Modified = info.lastModified();
    if (item.Modified.isValid()) item.DateText = QLocale().toString(item.Modified, QLocale::ShortFormat);
    return item;
}

QString TShellFileList::SizeText(qint64 bytes) {
    const qint64 kb = bytes < 1024 ? 1 : bytes / 1024;
    return TranslateFormat(QStringLiteral("%s KB"), {QLocale().toString(kb)});
}

void TShellFileList::TranslateCaptions() {
    FCaptions = {Translate(QStringLiteral("Name")), Translate(QStringLiteral("Size")), Translate(QStringLiteral("Type")),
                 Translate(QStringLiteral("Date Modified")), Translate(QStringLiteral("Notes"))};
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

int TShellFileList::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(FItems.size()); }

int TShellFileList::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant TShellFileList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= FItems.size()) return {};
    const TShellItem& item = FItems[index.row()];
    if (role == MarkRole) return item.Marked;
    if (role == Qt::ToolTipRole && index.column() == colName) return item.Path;
    if (role == Qt::TextAlignmentRole && index.column() == colSize)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::DecorationRole && index.column() == colName) {
        // The mark replaces the icon's corner as the state image did.
        if (!item.Marked) return item.Icon;
        return TAppImages::Instance().Icon(FMarkImage);
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case colName: return item.DisplayName;
    case colSize: return item.IsFolder ? QString() : SizeText(item.Size);
    case colType: return item.TypeName;
    case colDate: return item.DateText;
    case colNotes:
        return item.IsArchive ? TranslateFormat(QStringLiteral("Zipped Folder: %s"), {item.SourceFolder}) : QString();
    default: return {};
    }
}

QVariant TShellFileList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
    if (role == Qt::DisplayRole) return FCaptions.value(section);
    if (role == Qt::TextAlignmentRole && section == colSize) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

void TShellFileList::sort(int column, Qt::SortOrder order) {
    if (FItems.isEmpty() || column < 0 || column >= ColumnCount) return;
    const auto text = [this, column](const TShellItem& item) {
        const int row = int(&item - FItems.constData());
        return data(index(row, column), Qt::DisplayRole).toString();
    };
    // Keys first: the comparator must not look rows up while they move.
    QList<std::pair<QString, int>> keys;
    for (int i = 0; i < FItems.size(); ++i) keys.append({text(FItems[i]), i});
    std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        int c = 0;
        if (column == colSize)
            c = FItems[a.second].Size < FItems[b.second].Size ? -1 : (FItems[a.second].Size > FItems[b.second].Size ? 1 : 0);
        else
            c = a.first.compare(b.first, Qt::CaseInsensitive);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    emit layoutAboutToBeChanged();
    QList<TShellItem> sorted;
    sorted.reserve(FItems.size());
    for (const auto& key : keys) sorted.append(FItems[key.second]);
    FItems = std::move(sorted);
    emit layoutChanged();
}

void TShellFileList::Append(TShellItem item) {
    beginInsertRows({}, int(FItems.size()), int(FItems.size()));
    FItems.append(std::move(item));
    endInsertRows();
}

void TShellFileList::SetItems(QList<TShellItem> items) {
    beginResetModel();
    FItems = std::move(items);
    endResetModel();
}

QList<TShellItem> TShellFileList::RemoveRows(QList<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<TShellItem> removed;
    for (const int row : rows) {
        if (row < 0 || row >= FItems.size()) continue;
        beginRemoveRows({}, row, row);
        removed.prepend(FItems.takeAt(row));
        endRemoveRows();
    }
    return removed;
}

void TShellFileList::Clear() { SetItems({}); }

void TShellFileList::SetMarked(int row, bool marked) {
    if (row < 0 || row >= FItems.size() || FItems[row].Marked == marked) return;
    FItems[row].Marked = marked;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void TShellFileList::ClearMarks() {
    for (int i = 0; i < FItems.size(); ++i) SetMarked(i, false);
}
