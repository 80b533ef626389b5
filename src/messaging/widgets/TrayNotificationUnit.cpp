#include "messaging/widgets/TrayNotificationUnit.h"

#include "messaging/widgets/QueueNotificationUnit.h"

#include "ui/UtilsGuiUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"

#include <qdrawutil.h>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QVariantAnimation>
#include <algorithm>

namespace {

constexpr int kMargin = 5; // from the screen's edge where no task bar is

} // namespace

TTaskbarInfo TaskbarInfoFromGeometry(const QRect& full, const QRect& available) {
    TTaskbarInfo info;
    const QRect inside = available & full;
    if (full.isEmpty() || inside.isEmpty()) return info;
    struct TStrip {
        TTaskbarEdge Edge;
        int Thickness;
        QRect Rect;
    };
    const int left = inside.left() - full.left();
    const int top = inside.top() - full.top();
    const int right = full.right() - inside.right();
    const int bottom = full.bottom() - inside.bottom();
    const TStrip strips[] = {
        {teBottom, bottom, QRect(full.left(), inside.bottom() + 1, full.width(), bottom)},
        {teRight, right, QRect(inside.right() + 1, full.top(), right, full.height())},
        {teLeft, left, QRect(full.left(), full.top(), left, full.height())},
        {teTop, top, QRect(full.left(), full.top(), full.width(), top)},
    };
    const TStrip* best = nullptr;
    for (const TStrip& strip : strips)
        if (strip.Thickness > 0 && (!best || strip.Thickness > best->Thickness)) best = &strip;
    if (!best) return info;
    info.Edge = best->Edge;
    info.Rect = best->Rect;
    info.Visible = true;
    return info;
}

QPoint NotificationOrigin(const TTaskbarInfo& taskbar, const QRect& full, const QSize& window) {
    const int sw = full.width();
    const int sh = full.height();
    const int w = window.width();
    const int h = window.height();
    QPoint origin(sw - w - kMargin, sh - h - kMargin);
    if (taskbar.Visible) {
        switch (taskbar.Edge) {
        case teBottom: origin = QPoint(sw - w - kMargin, sh - taskbar.Rect.height() - h); break;
        case teRight: origin = QPoint(sw - taskbar.Rect.width() - w, sh - h - kMargin); break;
        case teLeft: origin = QPoint(taskbar.Rect.width(), sh - h - kMargin); break;
        case teTop: origin = QPoint(sw - w - kMargin, taskbar.Rect.height()); break;
        }
    } else if (taskbar.Edge == teLeft) {
        origin = QPoint(kMargin, sh - h - kMargin);
    } else if (taskbar.Edge == teTop) {
        origin = QPoint(sw - w - kMargin, kMargin);
    }
    return full.topLeft() + origin;
}

QPoint SlideInStep(TTaskbarEdge edge) {
    switch (edge) {
    case teLeft: return {1, 0};
    case teTop: return {0, 1};
    case teRight: return {-1, 0};
    case teBottom: break;
    }
    return {0, -1};
}

QPoint AwayFromTaskbarStep(TTaskbarEdge edge) { return edge == teTop ? QPoint(0, 1) : QPoint(0, -1); }

// ------------------------------------------------------------------ window

TNotificationWindow::TNotificationWindow(const QString& text, TTaskbarEdge edge, TNotificationTimings timings)
    : TNotificationWindow(Translate(QStringLiteral("QUILLMATE Notification")), text, QSize(TextWidth, TextHeight), edge,
                          timings, true) {
    setObjectName(QStringLiteral("TextNotification"));
}

TNotificationWindow::TNotificationWindow(const QString& title, const QString& text, const QSize& size,
                                         TTaskbarEdge edge, TNotificationTimings timings, bool expires)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      FTitle(title), FText(text), FEdge(edge), FTimings(timings), FExpires(expires) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(size);
    SetColors(QColor(220, 220, 220), QColor(245, 245, 245));

    FSlide = new QVariantAnimation(this);
    FSlide->setStartValue(0.0);
    FSlide->setEndValue(1.0);
    FSlide->setDuration(std::max(1, FTimings.SlideMs));
    connect(FSlide, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) { SetRevealed(value.toReal()); });
    connect(FSlide, &QVariantAnimation::finished, this, [this] {
        if (FSlidingOut) Finish();
    });

    FLifetime = new QTimer(this);
    FLifetime->setSingleShot(true);
    connect(FLifetime, &QTimer::timeout, this, &TNotificationWindow::SlideOut);
}

TNotificationWindow::~TNotificationWindow() = default;

QRect TNotificationWindow::CloseButtonRect() const {
    return QRect(width() - CloseButtonSize - 1, 1, CloseButtonSize, CloseButtonSize);
}

void TNotificationWindow::SetColors(const QColor& body, const QColor& title) {
    FBodyColor = body;
    FTitleColor = title;
    update();
}

void TNotificationWindow::SetTitle(const QString& title) {
    FTitle = title;
    update();
}

void TNotificationWindow::SetText(const QString& text) {
    FText = text;
    update();
}

void TNotificationWindow::SlideIn() {
    if (FExpires) FLifetime->start(std::max(0, FTimings.LifetimeMs));
    if (FTimings.SlideMs <= 0) {
        SetRevealed(1);
        show();
        return;
    }
    SetRevealed(0);
    show();
    FSlide->setDirection(QAbstractAnimation::Forward);
    FSlide->start();
}

void TNotificationWindow::SlideOut() {
    if (FSlidingOut || FFinished) return;
    FSlidingOut = true;
    FLifetime->stop();
    if (FTimings.SlideMs <= 0 || !isVisible()) {
        Finish();
        return;
    }
    // Out the way it came: the same movement played backwards, from where a
    // slide-in still running has got to.
    FSlide->setDirection(QAbstractAnimation::Backward);
    if (FSlide->state() != QAbstractAnimation::Running) FSlide->start();
}

void TNotificationWindow::Finish() {
    if (FFinished) return;
    FFinished = true;
    FLifetime->stop();
    FSlide->stop();
    hide();
    emit Finished(this);
}

QPoint TNotificationWindow::HiddenOffset() const {
    // The content comes in from the task bar's side: still hidden, it sits
    // behind the edge opposite to the movement.
    const QPoint step = SlideInStep(FEdge);
    const qreal hidden = 1 - FRevealed;
    return QPoint(qRound(-step.x() * hidden * width()), qRound(-step.y() * hidden * height()));
}

void TNotificationWindow::SetRevealed(qreal fraction) {
    FRevealed = std::clamp<qreal>(fraction, 0, 1);
    if (FRevealed >= 1) {
        clearMask();
    } else {
        const QRect shown = rect() & rect().translated(HiddenOffset());
        // An empty mask would show everything: a region off the window shows nothing.
        setMask(shown.isEmpty() ? QRegion(-1, -1, 1, 1) : QRegion(shown));
    }
    update();
}

void TNotificationWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.translate(HiddenOffset());
    const QRect all = rect();
    painter.fillRect(all, FBodyColor);

    const QRect titleStrip(1, 1, width() - 2, TitleHeight);
    Utils::FillVerticalGradient(painter, titleStrip, FBodyColor, FTitleColor);

    const QRect close = CloseButtonRect();
    const QRect titleText(titleStrip.left() + 4, titleStrip.top(), close.left() - titleStrip.left() - 6,
                          titleStrip.height());
    painter.setPen(palette().color(QPalette::WindowText));
    // The title is a caption: a smaller font that fits the narrow strip.
    QFont titleFont = font();
    for (qreal size = titleFont.pointSizeF() - 1; size >= 6; size -= 0.5) {
        titleFont.setPointSizeF(size);
        if (QFontMetrics(titleFont).horizontalAdvance(FTitle) <= titleText.width()) break;
    }
    painter.setFont(titleFont);
    painter.drawText(titleText, Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(FTitle, Qt::ElideRight, titleText.width()));
    painter.setFont(font());

    const QPixmap closeImage =
        TAppImages::Instance().Pixmap(QStringLiteral("TRAYWINDOW_CLOSE"), CloseButtonSize, devicePixelRatioF());
    if (!closeImage.isNull()) {
        painter.drawPixmap(close, closeImage);
    } else {
        // Until the image exists the button is still recognisable.
        const QRect cross = close.adjusted(5, 5, -5, -5);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
    }

    PaintBody(painter, BodyRect());

    qDrawWinPanel(&painter, all, palette(), false);
}

QRect TNotificationWindow::BodyRect() const {
    const int top = TitleHeight + 1;
    return QRect(BodyInset, top, width() - 2 * BodyInset, height() - top - 1);
}

void TNotificationWindow::PaintBody(QPainter& painter, const QRect& body) {
    painter.drawText(body, Qt::AlignCenter, painter.fontMetrics().elidedText(FText, Qt::ElideRight, body.width()));
}

void TNotificationWindow::CloseButtonClicked() { Finish(); }

void TNotificationWindow::mousePressEvent(QMouseEvent* event) {
    FClosePressed = event->button() == Qt::LeftButton &&
                    CloseButtonRect().translated(HiddenOffset()).contains(event->position().toPoint());
    event->accept();
}

void TNotificationWindow::mouseReleaseEvent(QMouseEvent* event) {
    const bool inside = CloseButtonRect().translated(HiddenOffset()).contains(event->position().toPoint());
    if (FClosePressed && inside && event->button() == Qt::LeftButton) CloseButtonClicked();
    FClosePressed = false;
    event->accept();
}

// ----------------------------------------------------------------- manager

TTrayNotification::TTrayNotification(TNotificationTimings timings, TScreenSource screen, QObject* parent)
    : QObject(parent), FTimings(timings), FScreen(std::move(screen)) {}

TTrayNotification::~TTrayNotification() { delete FQueueWindow; }

TTrayNotification::TScreenGeometry TTrayNotification::Screen() const {
    if (FScreen) return FScreen();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    return {screen->geometry(), screen->availableGeometry()};
}

void TTrayNotification::ShowTextNotification(const QString& text) {
    const TScreenGeometry screen = Screen();
    if (screen.Full.isEmpty()) return;
    const TTaskbarInfo taskbar = TaskbarInfoFromGeometry(screen.Full, screen.Available);
    const QSize size(TNotificationWindow::TextWidth, TNotificationWindow::TextHeight);
    MoveTextWindowsAway(size.height());
    auto window = std::make_unique<TNotificationWindow>(text, taskbar.Edge, FTimings);
    window->SetColors(FBodyColor, FTitleColor);
    window->move(NotificationOrigin(taskbar, screen.Full, size) + AwayFromTaskbarStep(taskbar.Edge) * FQueueOffset);
    // Queued: the window is released after it has finished its own work.
    connect(window.get(), &TNotificationWindow::Finished, this, &TTrayNotification::ReleaseTextNotification,
            Qt::QueuedConnection);
    TNotificationWindow* shown = window.get();
    FTextWindows.push_back(std::move(window));
    shown->SlideIn();
}

void TTrayNotification::ReleaseTextNotification(TNotificationWindow* window) {
    const auto it = std::find_if(FTextWindows.begin(), FTextWindows.end(),
                                 [window](const auto& open) { return open.get() == window; });
    if (it == FTextWindows.end()) return;
    TNotificationWindow* released = it->release();
    FTextWindows.erase(it);
    released->hide();
    // Later: the call may come from inside the window's own handlers.
    released->deleteLater();
}

void TTrayNotification::MoveTextWindowsAway(int pixels) {
    if (pixels == 0) return;
    const TScreenGeometry screen = Screen();
    const QPoint step = AwayFromTaskbarStep(TaskbarInfoFromGeometry(screen.Full, screen.Available).Edge);
    for (const auto& window : FTextWindows) window->move(window->pos() + step * pixels);
}

QList<TNotificationWindow*> TTrayNotification::TextWindows() const {
    QList<TNotificationWindow*> windows;
    for (const auto& window : FTextWindows) windows << window.get();
    return windows;
}

void TTrayNotification::SetBodyColor(const QColor& color) {
    FBodyColor = color;
    for (const auto& window : FTextWindows) window->SetColors(FBodyColor, FTitleColor);
    if (FQueueWindow) FQueueWindow->SetColors(FBodyColor, FTitleColor);
}

void TTrayNotification::SetTitleColor(const QColor& color) {
    FTitleColor = color;
    for (const auto& window : FTextWindows) window->SetColors(FBodyColor, FTitleColor);
    if (FQueueWindow) FQueueWindow->SetColors(FBodyColor, FTitleColor);
}

void TTrayNotification::ShowQueueNotification(const TQueueItem& head) {
    if (FQueueWindow || FSuppressed) return;
    const TScreenGeometry screen = Screen();
    if (screen.Full.isEmpty()) return;
    const TTaskbarInfo taskbar = TaskbarInfoFromGeometry(screen.Full, screen.Available);
    FQueueWindow = new TQueueNotificationWindow(head, taskbar.Edge, FTimings);
    FQueueWindow->SetColors(FBodyColor, FTitleColor);
    const QSize size = FQueueWindow->size();
    MoveTextWindowsAway(size.height());
    SetQueueOffset(size.height());
    FQueueWindow->move(NotificationOrigin(taskbar, screen.Full, size));
    connect(FQueueWindow, &TQueueNotificationWindow::CloseClicked, this, &TTrayNotification::QueueCloseClicked);
    connect(FQueueWindow, &TQueueNotificationWindow::IgnoreClicked, this, &TTrayNotification::QueueIgnoreClicked);
    connect(FQueueWindow, &TQueueNotificationWindow::ViewClicked, this, &TTrayNotification::QueueViewClicked);
    FQueueWindow->SlideIn();
}

void TTrayNotification::CloseQueueNotification() {
    if (!FQueueWindow) return;
    TQueueNotificationWindow* closed = FQueueWindow;
    FQueueWindow = nullptr;
    SetQueueOffset(0);
    closed->hide();
    // Later: the call may come from one of the window's own links.
    closed->deleteLater();
}

void TTrayNotification::SuppressQueueNotification() {
    CloseQueueNotification();
    FSuppressed = true;
}

void TTrayNotification::RefreshQueueNotification(const TQueueItem& head) {
    if (FQueueWindow) FQueueWindow->SetItem(head);
}
