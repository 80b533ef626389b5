#pragma once

#include "chatlog/ChatLogTypesUnit.h"

#include <QAbstractListModel>
#include <QList>

class TChatLogReader;

// The records a full-text search found, newest first across the categories,
// listed like log entries (the roles of TLogListModel) and fetched a page at
// a time as a view scrolls.
class TLogSearchModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int DefaultPageSize = 100;

    explicit TLogSearchModel(TChatLogReader& reader, int pageSize = DefaultPageSize, QObject* parent = nullptr);

    // Empties the list and asks for the first page of hits for text.
    void Search(const QString& text);
    // Asks again for the same text.
    void Refresh() { Search(FText); }
    void Clear();
    // After the record was deleted.
    void RemoveEntry(int row);

    const QString& Text() const { return FText; }
    const TLogEntry& EntryAt(int row) const { return FHits.at(row).Entry; }
    bool IsLoading() const { return FTicket != 0; }
    // Records the search finds in all (not only the pages listed); -1 until known.
    int HitCount() const { return FHitCount; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    // The first page arrived (the list may be empty).
    void FirstPageLoaded();
    void LoadFailed(const QString& error);
    void HitCountChanged(int count);

private:
    void Fetched(quint64 ticket, const QList<TLogSearchHit>& hits, const QString& error);
    void RequestPage();
    void Counted(quint64 ticket, int count, const QString& error);

    TChatLogReader& FReader;
    const int FPageSize;
    QString FText;
    bool FActive = false;
    bool FAtEnd = true;
    bool FFirstPage = false;
    QList<TLogSearchHit> FHits;
    quint64 FTicket = 0;
    quint64 FCountTicket = 0;
    int FHitCount = -1;
};
