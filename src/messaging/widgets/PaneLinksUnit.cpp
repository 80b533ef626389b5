#include "messaging/widgets/PaneLinksUnit.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

namespace {

TPaneLinks::TOpener& Opener() {
    static TPaneLinks::TOpener opener;
    return opener;
}

const QRegularExpression& AddressPattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"(((?:https?|ftp|file)://|mailto:|news:|www\.)[^\s<>"]+)"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// A sentence often ends right after an address: its full stop, comma or
// closing bracket is not part of it.
QString WithoutTrailingPunctuation(QString address) {
    static const QString trailing = QStringLiteral(".,;:!?)]}'");
    while (!address.isEmpty() && trailing.contains(address.back())) address.chop(1);
    return address;
}

} // namespace

QString PaneLinks::AddressAt(const QString& text, int position) {
    if (position < 0 || position >= text.size()) return {};
    QRegularExpressionMatchIterator it = AddressPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString address = WithoutTrailingPunctuation(match.captured());
        // A bare prefix ("http://.") is no address.
        if (address.size() <= match.capturedLength(1)) continue;
        const qsizetype start = match.capturedStart();
        if (position >= start && position < start + address.size()) return address;
        if (start > position) break;
    }
    return {};
}

QUrl PaneLinks::UrlOf(const QString& address) {
    if (address.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        return QUrl(QStringLiteral("http://") + address, QUrl::TolerantMode);
    return QUrl(address, QUrl::TolerantMode);
}

TPaneLinks::TPaneLinks(QTextEdit* pane) : QObject(pane), FPane(pane) {
    pane->viewport()->installEventFilter(this);
    pane->viewport()->setMouseTracking(true);
}

void TPaneLinks::SetOpener(TOpener opener) { Opener() = std::move(opener); }

QString TPaneLinks::AddressUnder(const QPoint& viewportPos) const {
    const QTextCursor cursor = FPane->cursorForPosition(viewportPos);
    const QTextBlock block = cursor.block();
    if (!block.isValid()) return {};
    // The cursor lies between two characters: take the one under the pointer.
    int column = cursor.positionInBlock();
    const QRect caret = FPane->cursorRect(cursor);
    if (viewportPos.x() < caret.x() && column > 0) --column;
    return PaneLinks::AddressAt(block.text(), column);
}

bool TPaneLinks::eventFilter(QObject* watched, QEvent* event) {
    if (watched != FPane->viewport() || !FActive) return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->buttons() == Qt::NoButton) {
            const bool over = !AddressUnder(mouse->position().toPoint()).isEmpty();
            FPane->viewport()->setCursor(over ? Qt::PointingHandCursor
                                              : (FPane->isReadOnly() ? Qt::ArrowCursor : Qt::IBeamCursor));
        }
        break;
    }
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        FPressed = mouse->button() == Qt::LeftButton;
        FPressPos = mouse->position().toPoint();
        break;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const bool click = FPressed && mouse->button() == Qt::LeftButton &&
                           (mouse->position().toPoint() - FPressPos).manhattanLength() <= 3;
        FPressed = false;
        const bool allowed = FPane->isReadOnly() || mouse->modifiers().testFlag(Qt::ControlModifier);
        if (!click || !allowed) break;
        const QString address = AddressUnder(mouse->position().toPoint());
        if (address.isEmpty()) break;
        const QUrl url = PaneLinks::UrlOf(address);
        if (Opener()) Opener()(url);
        else QDesktopServices::openUrl(url);
        break;
    }
    default: break;
    }
    return QObject::eventFilter(watched, event);
}
