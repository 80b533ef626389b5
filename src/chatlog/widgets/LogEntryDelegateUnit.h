#pragma once

#include <QColor>
#include <QList>
#include <QRect>
#include <QStringList>
#include <QStyledItemDelegate>

class QFontMetrics;

// Draws the three-line entries of a chat-log list (TLogListModel and
// TLogSearchModel rows): the header line on a light green band for an own
// record or a light blue one for a received record, the summary's two lines
// below it, each cut with an ellipsis.
class TLogEntryDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QColor SentBandColour() { return QColor(224, 252, 224); }
    static QColor ReceivedBandColour() { return QColor(182, 218, 240); }
    static constexpr int LineCount = 3;
    static constexpr int TextIndent = 2;

    // Three times the height of "Ag" plus 2.
    static int ItemHeight(const QFontMetrics& metrics);

    // What one entry is drawn as.
    struct TLayout {
        bool Selected = false;
        QColor Background; // the whole item
        QColor Band;       // the header line's band (invalid when selected)
        QColor Text;
        QRect BandRect;
        QStringList Lines;     // the texts drawn, already elided
        QList<QRect> LineRects; // one slot per line
    };
    static TLayout Layout(const QStyleOptionViewItem& option, const QModelIndex& index);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
