#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QString>

// One row of a file window's list.
struct TShellItem {
    QString Path;         // full path
    QString DisplayName;  // column Name
    QString TypeName;     // column Type
    QIcon Icon;
    qint64 Size = 0;      // bytes; the sort key of column Size
    QDateTime Modified;
    QString DateText;     // column Date Modified; empty when the time is unknown
    bool IsFolder = false;
    bool IsArchive = false; // packed from a folder in this window
    QString SourceFolder;   // for an archive: the folder it was packed from
    bool Marked = false;    // sent (send mode) or received in the shown transfer
};

// The rows of a file window: Name, Size, Type, Date Modified, Notes.
class TShellFileList : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { colName, colSize, colType, colDate, colNotes, ColumnCount };
    // The role of the mark (sent or received) of a row: bool.
    static constexpr int MarkRole = Qt::UserRole + 1;

    explicit TShellFileList(QObject* parent = nullptr);

    // A row for the file or folder at path; nullopt-like empty Path when it names nothing.
    static TShellItem MakeItem(const QString& path);
    // "%s KB" of the size in KB (at least 1), with the locale's grouping.
    static QString SizeText(qint64 bytes);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Descending or ascending by a column: texts without case, Size by bytes.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    void Append(TShellItem item);
    void SetItems(QList<TShellItem> items);
    // Removes the rows (any order); gives the removed items.
    QList<TShellItem> RemoveRows(QList<int> rows);
    void Clear();
    const TShellItem& Item(int row) const { return FItems[row]; }
    const QList<TShellItem>& Items() const { return FItems; }
    void SetMarked(int row, bool marked);
    void ClearMarks();
    // The state image of marked rows: "SENT_FILE_STATE" or "RECEIVED_FILE_STATE".
    void SetMarkImage(const QString& name) { FMarkImage = name; }
    // Translated header captions.
    void TranslateCaptions();

private:
    QList<TShellItem> FItems;
    QStringList FCaptions;
    QString FMarkImage = QStringLiteral("SENT_FILE_STATE");
};
