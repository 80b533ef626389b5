#include "chatlog/LogListModelUnit.h"

#include "chatlog/ChatLogReaderUnit.h"

TLogListModel::TLogListModel(TChatLogReader& reader, int pageSize, QObject* parent)
    : QAbstractListModel(parent), FReader(reader), FPageSize(qMax(1, pageSize)) {
    connect(&FReader, &TChatLogReader::LogListFetched, this, &TLogListModel::Fetched);
}

void TLogListModel::Clear() {
    beginResetModel();
    FEntries.clear();
    FEntries.squeeze();
    FActive = false;
    FAtEnd = true;
    FPageTicket = 0;
    FRefreshTicket = 0;
    endResetModel();
}

void TLogListModel::SetFilter(const TLogFilter& filter) {
    Clear();
    FFilter = filter;
    FActive = true;
    FAtEnd = false;
    FFirstPage = true;
    RequestPage();
}

void TLogListModel::RequestPage() {
    if (!FActive || FAtEnd || FPageTicket != 0) return;
    const qint64 oldest = FEntries.isEmpty() ? 0 : FEntries.last().ID;
    FPageTicket = FReader.FetchLogList(FFilter, 0, oldest, FPageSize);
}

void TLogListModel::Refresh() {
    if (!FActive) return;
    if (FEntries.isEmpty()) {
        SetFilter(FFilter);
        return;
    }
    if (FRefreshTicket != 0) return;
    // One page more than fits tells that records would be missing in between.
    FRefreshTicket = FReader.FetchLogList(FFilter, FEntries.first().ID, 0, FPageSize + 1);
}

void TLogListModel::RemoveEntry(int row) {
    if (row < 0 || row >= FEntries.size()) return;
    beginRemoveRows({}, row, row);
    FEntries.removeAt(row);
    endRemoveRows();
}

void TLogListModel::Fetched(quint64 ticket, const QList<TLogEntry>& entries, const QString& error) {
    if (ticket == 0 || (ticket != FPageTicket && ticket != FRefreshTicket)) return; // an earlier filter's answer
    const bool page = ticket == FPageTicket;
    (page ? FPageTicket : FRefreshTicket) = 0;
    if (!error.isEmpty()) {
        if (page) FAtEnd = true; // no endless retries from the view's fetchMore
        emit LoadFailed(error);
        return;
    }
    if (page) {
        if (entries.size() < FPageSize) FAtEnd = true;
        if (!entries.isEmpty()) {
            beginInsertRows({}, int(FEntries.size()), int(FEntries.size() + entries.size() - 1));
            FEntries += entries;
            endInsertRows();
        }
        if (FFirstPage) {
            FFirstPage = false;
            emit FirstPageLoaded();
        }
        return;
    }
    if (entries.size() > FPageSize) {
        SetFilter(FFilter);
        return;
    }
    if (entries.isEmpty()) return;
    beginInsertRows({}, 0, int(entries.size() - 1));
    FEntries = entries + FEntries;
    endInsertRows();
}

int TLogListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(FEntries.size()); }

QVariant TLogListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= FEntries.size()) return {};
    return EntryData(FEntries.at(index.row()), role);
}

QVariant TLogListModel::EntryData(const TLogEntry& entry, int role) {
    switch (role) {
    case Qt::DisplayRole: return ChatLog::EntryText(entry);
    case IdRole: return entry.ID;
    case SendOutRole: return entry.IfSendOut;
    case HeaderRole: return ChatLog::EntryHeader(entry);
    case EntryRole: return QVariant::fromValue(entry);
    default: return {};
    }
}

bool TLogListModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && FActive && !FAtEnd && FPageTicket == 0;
}

void TLogListModel::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid()) RequestPage();
}
