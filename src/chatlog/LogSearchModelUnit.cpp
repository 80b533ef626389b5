#include "chatlog/LogSearchModelUnit.h"

#include "chatlog/ChatLogReaderUnit.h"
#include "chatlog/LogListModelUnit.h"

TLogSearchModel::TLogSearchModel(TChatLogReader& reader, int pageSize, QObject* parent)
    : QAbstractListModel(parent), FReader(reader), FPageSize(qMax(1, pageSize)) {
    connect(&FReader, &TChatLogReader::SearchFetched, this, &TLogSearchModel::Fetched);
    connect(&FReader, &TChatLogReader::SearchCounted, this, &TLogSearchModel::Counted);
}

void TLogSearchModel::Clear() {
    beginResetModel();
    FHits.clear();
    FHits.squeeze();
    FActive = false;
    FAtEnd = true;
    FTicket = 0;
    FCountTicket = 0;
    FHitCount = -1;
    endResetModel();
}

void TLogSearchModel::Search(const QString& text) {
    Clear();
    FText = text;
    FActive = true;
    FAtEnd = false;
    FFirstPage = true;
    RequestPage();
    FCountTicket = FReader.FetchSearchCount(text);
}

void TLogSearchModel::RequestPage() {
    if (!FActive || FAtEnd || FTicket != 0) return;
    const qint64 before = FHits.isEmpty() ? 0 : FHits.last().Key;
    FTicket = FReader.FetchSearch(FText, before, FPageSize);
}

void TLogSearchModel::RemoveEntry(int row) {
    if (row < 0 || row >= FHits.size()) return;
    beginRemoveRows({}, row, row);
    FHits.removeAt(row);
    endRemoveRows();
    if (FHitCount > 0) emit HitCountChanged(--FHitCount);
}

void TLogSearchModel::Fetched(quint64 ticket, const QList<TLogSearchHit>& hits, const QString& error) {
    if (ticket == 0 || ticket != FTicket) return; // an earlier search's answer, or another reader's user
    FTicket = 0;
    if (!error.isEmpty()) {
        FAtEnd = true; // no endless retries from the view's fetchMore
        emit LoadFailed(error);
        return;
    }
    if (hits.size() < FPageSize) FAtEnd = true;
    if (!hits.isEmpty()) {
        beginInsertRows({}, int(FHits.size()), int(FHits.size() + hits.size() - 1));
        FHits += hits;
        endInsertRows();
    }
    if (FFirstPage) {
        FFirstPage = false;
        emit FirstPageLoaded();
    }
}

void TLogSearchModel::Counted(quint64 ticket, int count, const QString& error) {
    if (ticket == 0 || ticket != FCountTicket) return;
    FCountTicket = 0;
    if (!error.isEmpty()) return; // the page's own request reports it
    FHitCount = count;
    emit HitCountChanged(count);
}

int TLogSearchModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(FHits.size()); }

QVariant TLogSearchModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= FHits.size()) return {};
    return TLogListModel::EntryData(FHits.at(index.row()).Entry, role);
}

bool TLogSearchModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && FActive && !FAtEnd && FTicket == 0;
}

void TLogSearchModel::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid()) RequestPage();
}
