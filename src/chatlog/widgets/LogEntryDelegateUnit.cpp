#include "chatlog/widgets/LogEntryDelegateUnit.h"

#include "chatlog/LogListModelUnit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

int TLogEntryDelegate::ItemHeight(const QFontMetrics& metrics) {
    return LineCount * (metrics.boundingRect(QStringLiteral("Ag")).height() + 2);
}

TLogEntryDelegate::TLayout TLogEntryDelegate::Layout(const QStyleOptionViewItem& option, const QModelIndex& index) {
    TLayout layout;
    const QPalette& palette = option.palette;
    layout.Selected = option.state & QStyle::State_Selected;
    layout.Background = layout.Selected ? palette.color(QPalette::Highlight) : palette.color(QPalette::Base);
    layout.Text = layout.Selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text);
    if (!layout.Selected)
        layout.Band = index.data(TLogListModel::SendOutRole).toBool() ? SentBandColour() : ReceivedBandColour();

    const QFontMetrics metrics(option.font);
    const int slot = qMax(1, option.rect.height() / LineCount);
    const int width = qMax(0, option.rect.width() - 2 * TextIndent);
    layout.BandRect = QRect(option.rect.left(), option.rect.top(), option.rect.width(), slot);
    // Header, then the summary's lines; a summary of more lines keeps its first two.
    const QStringList text = index.data(Qt::DisplayRole).toString().split(QStringLiteral("\r\n"));
    for (int i = 0; i < LineCount && i < text.size(); ++i) {
        QString line = text.at(i);
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        layout.Lines += metrics.elidedText(line, Qt::ElideRight, width);
        layout.LineRects += QRect(option.rect.left() + TextIndent, option.rect.top() + i * slot, width, slot);
    }
    return layout;
}

void TLogEntryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const TLayout layout = Layout(opt, index);
    painter->save();
    painter->fillRect(opt.rect, layout.Background);
    if (layout.Band.isValid()) painter->fillRect(layout.BandRect, layout.Band);
    painter->setFont(opt.font);
    painter->setPen(layout.Text);
    for (qsizetype i = 0; i < layout.Lines.size(); ++i)
        painter->drawText(layout.LineRects.at(i), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          layout.Lines.at(i));
    if (opt.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(opt);
        focus.backgroundColor = layout.Background;
        QApplication::style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, opt.widget);
    }
    painter->restore();
}

QSize TLogEntryDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    // No width of its own: an entry is as wide as the list shows it (its
    // lines are cut to fit), so the list never scrolls sideways.
    return QSize(0, ItemHeight(QFontMetrics(option.font)));
}
