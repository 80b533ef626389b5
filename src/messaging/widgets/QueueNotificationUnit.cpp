#include "messaging/widgets/QueueNotificationUnit.h"

#include "text/UILangUnit.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

TNotificationLink::TNotificationLink(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    adjustSize();
    Repaint();
}

void TNotificationLink::enterEvent(QEnterEvent* event) {
    FHot = true;
    Repaint();
    QLabel::enterEvent(event);
}

void TNotificationLink::leaveEvent(QEvent* event) {
    FHot = false;
    Repaint();
    QLabel::leaveEvent(event);
}

void TNotificationLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled() && rect().contains(event->position().toPoint())) emit Clicked();
    event->accept();
}

void TNotificationLink::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) Repaint();
    QLabel::changeEvent(event);
}

void TNotificationLink::Repaint() {
    QPalette colors = palette();
    const QColor normal = QApplication::palette().color(QPalette::WindowText);
    colors.setColor(QPalette::WindowText, FHot && isEnabled() ? QColor(Qt::blue) : normal);
    setPalette(colors);
}

QSize TQueueNotificationWindow::SizeForTitle(const QString& title, const QFont& font) {
    return QSize(QFontMetrics(font).horizontalAdvance(title) + TitleExtraWidth, QueueHeight);
}

TQueueNotificationWindow::TQueueNotificationWindow(const TQueueItem& item, TTaskbarEdge edge,
                                                   TNotificationTimings timings)
    : TNotificationWindow(QueueItemTitle(item), QueueItemBody(item),
                          SizeForTitle(QueueItemTitle(item), QApplication::font()), edge, timings, false) {
    setObjectName(QStringLiteral("QueueNotification"));
    FView = new TNotificationLink(Translate(QStringLiteral("View Detail")), this);
    FView->setObjectName(QStringLiteral("lblViewDetail"));
    FIgnore = new TNotificationLink(Translate(QStringLiteral("Ignore")), this);
    FIgnore->setObjectName(QStringLiteral("lblIgnore"));
    connect(FView, &TNotificationLink::Clicked, this, &TQueueNotificationWindow::ViewClicked);
    connect(FIgnore, &TNotificationLink::Clicked, this, &TQueueNotificationWindow::IgnoreClicked);
    SetItem(item);
    PlaceLinks();
}

void TQueueNotificationWindow::SetItem(const TQueueItem& item) {
    SetText(QueueItemBody(item));
    // The whole folder, however it is cut on the window.
    FFolderBody = KindOf(item) == qiFiles;
    const TOfferedFiles* offered = OfferedFilesOf(item);
    FOffered = offered ? std::optional<TOfferedFiles>(*offered) : std::nullopt;
    if (FOffered && !FOffered->Names.isEmpty()) {
        // Every name the offer carries, whole.
        QStringList names = FOffered->Names;
        if (FOffered->Files > names.size())
            names << TranslateFormat(QStringLiteral("+%d more"), {qint64(FOffered->Files - names.size())});
        setToolTip(names.join(QLatin1Char('\n')));
    } else {
        setToolTip(FFolderBody ? QueueItemBody(item) : QString());
    }
    update();
    // A pending request must be answered (or opened), not dropped unanswered.
    FIgnore->setEnabled(KindOf(item) != qiFileRequest);
}

void TQueueNotificationWindow::PlaceLinks() {
    const QRect body = BodyRect();
    const int y = height() - FView->height() - 4;
    FView->move(body.left(), y);
    FIgnore->move(body.right() + 1 - FIgnore->width(), y);
}

void TQueueNotificationWindow::resizeEvent(QResizeEvent* event) {
    TNotificationWindow::resizeEvent(event);
    if (FView) PlaceLinks();
}

void TQueueNotificationWindow::PaintBody(QPainter& painter, const QRect& body) {
    const QRect text(body.left(), body.top() + 2, body.width(), FView->y() - body.top() - 2);
    const QFontMetrics metrics = painter.fontMetrics();
    const QString all = Text();
    if (FFolderBody) {
        const QStringList lines = FolderLines(all, metrics, text.width());
        for (int i = 0; i < lines.size(); ++i)
            painter.drawText(QRect(text.left(), text.top() + i * LineHeight, text.width(), LineHeight),
                             Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
        return;
    }
    const int lineBreak = all.indexOf(QLatin1Char('\n'));
    if (FOffered && lineBreak >= 0) {
        const QRect line(text.left(), text.top(), text.width(), LineHeight);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(all.left(lineBreak), Qt::ElideRight, line.width()));
        painter.drawText(line.translated(0, LineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         OfferLine(*FOffered, metrics, line.width()));
        return;
    }
    if (lineBreak < 0) {
        painter.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, all);
        return;
    }
    // Two lines of a summary: each on its own line, cut with an ellipsis.
    QString first = all.left(lineBreak);
    if (first.endsWith(QLatin1Char('\r'))) first.chop(1);
    QString rest = all.mid(lineBreak + 1);
    rest.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QRect line(text.left(), text.top(), text.width(), LineHeight);
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(first, Qt::ElideRight, line.width()));
    painter.drawText(line.translated(0, LineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(rest, Qt::ElideRight, line.width()));
}

QStringList TQueueNotificationWindow::FolderLines(const QString& text, const QFontMetrics& metrics, int width) {
    const qsizetype label = text.startsWith(QLatin1Char('<')) ? text.indexOf(QLatin1Char('>')) : -1;
    if (label < 0) return {metrics.elidedText(text, Qt::ElideMiddle, width)};
    return {metrics.elidedText(text.left(label + 1), Qt::ElideRight, width),
            metrics.elidedText(text.mid(label + 1), Qt::ElideMiddle, width)};
}

QString TQueueNotificationWindow::OfferLine(const TOfferedFiles& offered, const QFontMetrics& metrics, int width) {
    const QString whole = OfferedFilesLine(offered);
    if (offered.Names.isEmpty() || metrics.horizontalAdvance(whole) <= width)
        return metrics.elidedText(whole, Qt::ElideRight, width);
    // What the line needs besides the name; the name gets the rest.
    const int rest = metrics.horizontalAdvance(OfferedFilesLine(offered, QString()));
    const QString name = metrics.elidedText(offered.Names.first(), Qt::ElideMiddle, qMax(0, width - rest));
    return metrics.elidedText(OfferedFilesLine(offered, name), Qt::ElideRight, width);
}

void TQueueNotificationWindow::CloseButtonClicked() { emit CloseClicked(); }
