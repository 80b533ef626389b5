#pragma once

#include "chatlog/ChatLogTypesUnit.h"

#include <QAbstractListModel>
#include <QList>

class TChatLogReader;

// The entries of one log category, newest on top, fetched a page at a time
// as a view scrolls (canFetchMore/fetchMore) from a TChatLogReader: opening a
// category of a million records reads one page, and memory grows only with
// the rows scrolled through. Refresh puts records newer than the top row on top.
class TLogListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum TRoles {
        IdRole = Qt::UserRole + 1, // qint64
        SendOutRole,               // bool: which header band
        HeaderRole,                // the entry's first line
        EntryRole,                 // the whole TLogEntry (QVariant)
    };
    static constexpr int DefaultPageSize = 100;

    explicit TLogListModel(TChatLogReader& reader, int pageSize = DefaultPageSize, QObject* parent = nullptr);

    // What data() gives for one entry and role (search hits answer the same way).
    static QVariant EntryData(const TLogEntry& entry, int role);

    // Empties the list and loads the first page of filter.
    void SetFilter(const TLogFilter& filter);
    // Empties the list; nothing is listed until the next SetFilter.
    void Clear();
    // Adds the records newer than the top row on top (all again when too many came).
    void Refresh();
    // After the record was deleted.
    void RemoveEntry(int row);

    const TLogFilter& Filter() const { return FFilter; }
    bool HasFilter() const { return FActive; }
    const TLogEntry& EntryAt(int row) const { return FEntries.at(row); }
    // A request is on its way.
    bool IsLoading() const { return FPageTicket != 0 || FRefreshTicket != 0; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    // The first page of a filter arrived (the list may be empty).
    void FirstPageLoaded();
    void LoadFailed(const QString& error);

private:
    void Fetched(quint64 ticket, const QList<TLogEntry>& entries, const QString& error);
    void RequestPage();

    TChatLogReader& FReader;
    const int FPageSize;
    TLogFilter FFilter;
    bool FActive = false;
    bool FAtEnd = true;
    QList<TLogEntry> FEntries;
    quint64 FPageTicket = 0;
    quint64 FRefreshTicket = 0;
    bool FFirstPage = false;
};
