#include "ui/CaptureWindowUnit.h"

#include "text/UILangUnit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QWindow>

// ------------------------------------------------------------------ THint

THint::THint(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("CaptureHint"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(QToolTip::font());
    setPalette(QToolTip::palette());
    setAutoFillBackground(true);
    setContentsMargins(4, 2, 0, 0);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void THint::SetTip(const QString& text) {
    setText(text);
    const QSize size = fontMetrics().size(0, text);
    resize(size.width() + 10, size.height() + 6);
}

void THint::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor(192, 192, 192));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ------------------------------------------------------------------ TCaptureWindow

TCaptureWindow::TCaptureWindow(const QImage& snapshot, const QRect& screen, QWidget* owner)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      FSnapshot(snapshot), FDark(TCaptureState::Darken(snapshot)), FScreenGeometry(screen),
      FState(QRect(QPoint(0, 0), screen.size())), FHint(new THint(this)) {
    setObjectName(QStringLiteral("CaptureWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    FDark.setDevicePixelRatio(snapshot.devicePixelRatio());
    setGeometry(screen);
    setCursor(Qt::CrossCursor);
    // The owner closing takes the capture with it.
    if (owner) connect(owner, &QObject::destroyed, this, [this] { End(QImage()); });
}

QString TCaptureWindow::TipText(TCaptureTip tip) {
    QStringList lines;
    switch (tip) {
    case TCaptureTip::Select:
        lines << Translate(QStringLiteral("Press and hold Left to select area"))
              << Translate(QStringLiteral("Right-click or press ESC to exit"));
        break;
    case TCaptureTip::Inside:
        lines << Translate(QStringLiteral("Press and hold Left to move area"))
              << Translate(QStringLiteral("Double-click or press ENTER to capture selected area"))
              << Translate(QStringLiteral("Right-click or press ESC to re-select"));
        break;
    case TCaptureTip::Outside:
        lines << Translate(QStringLiteral("Double-click or press ENTER to capture selected area"))
              << Translate(QStringLiteral("Right-click or press ESC to re-select"));
        break;
    }
    return lines.join(QLatin1Char('\n'));
}

void TCaptureWindow::Start() {
    // Full screen on the chosen screen: the one way every window system
    // (Wayland included) lets a window cover a whole output.
    create();
    if (QWindow* window = windowHandle())
        for (QScreen* s : QGuiApplication::screens())
            if (s->geometry() == FScreenGeometry) window->setScreen(s);
    setGeometry(FScreenGeometry);
    showFullScreen();
    raise();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
    ShowTip(mapFromGlobal(QCursor::pos()));
}

void TCaptureWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), FDark, QRectF(event->rect().topLeft() * FDark.devicePixelRatio(),
                                                   event->rect().size() * FDark.devicePixelRatio()));
    const QRect selection = FState.Selection();
    if (selection.isEmpty()) return;
    if (FState.Selected()) {
        // The inside stands out bright: the snapshot as it was.
        const QRect inside = selection.adjusted(1, 1, -1, -1);
        if (!inside.isEmpty())
            painter.drawImage(inside, FSnapshot, QRectF(inside.topLeft() * FSnapshot.devicePixelRatio(),
                                                        inside.size() * FSnapshot.devicePixelRatio()));
    }
    painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
    painter.drawRect(selection.adjusted(0, 0, -1, -1));
}

void TCaptureWindow::ShowTip(const QPoint& mouse) {
    if (!FState.TipVisible()) {
        FHint->hide();
        return;
    }
    FHint->SetTip(TipText(FState.Tip(mouse)));
    FHint->move(TCaptureState::TipPosition(mouse, FHint->size(), rect()));
    FHint->show();
    FHint->raise();
}

void TCaptureWindow::UpdateCursor(const QPoint& mouse) {
    switch (FState.Cursor(mouse)) {
    case TCaptureCursor::Cross: setCursor(Qt::CrossCursor); break;
    case TCaptureCursor::Move: setCursor(Qt::SizeAllCursor); break;
    case TCaptureCursor::Arrow: setCursor(Qt::ArrowCursor); break;
    }
}

void TCaptureWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    FState.LeftDown(event->position().toPoint());
    FHint->hide();
    update();
}

void TCaptureWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (FState.MouseMove(point, event->buttons().testFlag(Qt::LeftButton))) update();
    if (!FState.Selecting()) UpdateCursor(point);
    if (!event->buttons().testFlag(Qt::LeftButton)) ShowTip(point);
}

void TCaptureWindow::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        Cancel(point);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    FState.LeftUp(point);
    update();
    UpdateCursor(point);
    ShowTip(point);
}

void TCaptureWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && FState.CanCapture()) Capture();
}

void TCaptureWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape: Cancel(mapFromGlobal(QCursor::pos())); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (FState.CanCapture()) Capture();
        break;
    default: QWidget::keyPressEvent(event);
    }
}

void TCaptureWindow::Cancel(const QPoint& mouse) {
    if (FState.Cancel() == TCaptureCancel::End) {
        End(QImage());
        return;
    }
    update();
    UpdateCursor(mouse);
    ShowTip(mouse);
}

void TCaptureWindow::Capture() {
    const QImage captured = TCaptureState::Crop(FSnapshot, FState.Selection());
    QApplication::clipboard()->setImage(captured);
    End(captured);
}

void TCaptureWindow::End(const QImage& captured) {
    if (FEnded) return;
    FEnded = true;
    FSnapshot = QImage();
    FDark = QImage();
    hide();
    emit Finished(captured);
    deleteLater();
}
