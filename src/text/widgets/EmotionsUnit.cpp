#include "text/widgets/EmotionsUnit.h"

#include "core/UtilsUnit.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QMovie>
#include <QPainter>
#include <QPromise>
#include <QScreen>
#include <QThreadPool>
#include <algorithm>
#include <memory>

namespace {

constexpr int kPitch = TQLMEmotions::CellSize + 1; // a cell and the line after it
// The preview moves out of the way only while the pointer is in these rows,
// and only for these many columns at either side.
constexpr int kPreviewRows = 4;
constexpr int kPreviewColumns = 4;

} // namespace

QPoint EmotionsGridOrigin(const QRect& button, const QRect& desktop, const QSize& grid) {
    const int desktopRight = desktop.x() + desktop.width();
    const int desktopBottom = desktop.y() + desktop.height();
    int left = button.x();
    int top = button.y() + button.height();
    if (top + grid.height() > desktopBottom) top = button.y() - grid.height();
    if (left + grid.width() > desktopRight) left = button.x() - grid.width();
    // Looks at the button, not at the grid the last rule may have moved.
    if (button.x() < desktop.x()) left = button.x() + button.width();
    // A grid partly off the desktop cannot be used with the mouse: move it on
    // (a desktop smaller than the grid keeps its top left corner visible).
    left = std::max(desktop.x(), std::min(left, desktopRight - grid.width()));
    top = std::max(desktop.y(), std::min(top, desktopBottom - grid.height()));
    return {left, top};
}

std::vector<TEmotionFile> ReadEmotionFiles(const QString& folder) {
    std::vector<TEmotionFile> files(TQLMEmotions::Count);
    for (int i = 0; i < TQLMEmotions::Count; ++i) {
        QFile file(TQLMEmotions::FileName(folder, i));
        if (!file.open(QIODevice::ReadOnly)) continue;
        TEmotionFile& entry = files[size_t(i)];
        entry.Bytes = file.read(TQLMEmotions::MaxFileBytes + 1);
        if (entry.Bytes.size() > TQLMEmotions::MaxFileBytes) {
            entry = {};
            continue;
        }
        QBuffer buffer(&entry.Bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        entry.FrameCount = std::max(1, reader.imageCount());
        entry.Image = reader.read();
        if (entry.Image.isNull()) entry = {};
    }
    return files;
}

TQLMEmotions::TQLMEmotions(QWidget* owner, const QString& folder)
    : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint), FFolder(Utils::WithTrailingSlash(folder)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Width, Height);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);

    FPreview = new QLabel(this);
    FPreview->setFixedSize(PreviewSize, PreviewSize);
    FPreview->setFrameShape(QFrame::Box);
    // The frame is drawn in the foreground colour, Text over a Base background.
    QPalette framed = FPreview->palette();
    framed.setColor(QPalette::Text, framed.color(QPalette::Mid));
    FPreview->setPalette(framed);
    FPreview->setAlignment(Qt::AlignCenter);
    FPreview->setAutoFillBackground(true);
    FPreview->setBackgroundRole(QPalette::Base);
    // The grid under it keeps following the pointer.
    FPreview->setAttribute(Qt::WA_TransparentForMouseEvents);
    FPreview->hide();
    MovePreview(pcTopLeft);

    FFiles.resize(Count);
    connect(&FReader, &QFutureWatcherBase::finished, this, &TQLMEmotions::TakeFiles);
    auto promise = std::make_shared<QPromise<std::vector<TEmotionFile>>>();
    FReader.setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, folder = FFolder] {
        promise->addResult(ReadEmotionFiles(folder));
        promise->finish();
    });
}

TQLMEmotions::~TQLMEmotions() = default;

QString TQLMEmotions::DefaultFolder() { return Utils::RuntimeFolder() + QStringLiteral("Emotions/"); }

QString TQLMEmotions::FileName(const QString& folder, int index) {
    return Utils::WithTrailingSlash(folder) + QString::number(index) + QStringLiteral(".gif");
}

void TQLMEmotions::Popup(const QRect& button, const QRect& desktop) {
    QRect area = desktop;
    if (area.isEmpty()) {
        QScreen* screen = QGuiApplication::screenAt(button.center());
        if (!screen && parentWidget()) screen = parentWidget()->screen();
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (screen) area = screen->availableGeometry();
    }
    move(area.isEmpty() ? button.bottomLeft() + QPoint(0, 1) : EmotionsGridOrigin(button, area, size()));
    show(); // a pop-up: above its owner
    activateWindow();
    setFocus(Qt::PopupFocusReason);
}

QRect TQLMEmotions::CellRect(int index) {
    const int row = index / Columns;
    const int column = index % Columns;
    return {FrameWidth + column * kPitch, FrameWidth + row * kPitch, CellSize, CellSize};
}

bool TQLMEmotions::HasImage(int index) const {
    return index >= 0 && index < Count && !FFiles[size_t(index)].Image.isNull();
}

bool TQLMEmotions::IsPreviewVisible() const { return !FPreview->isHidden(); }

void TQLMEmotions::TakeFiles() {
    if (FReader.future().resultCount() > 0) FFiles = FReader.result();
    FFiles.resize(Count);
    FLoaded = true;
    update();
    if (FSelected >= 0) ShowPreview();
    emit Loaded();
}

int TQLMEmotions::CellAt(const QPoint& pos) const {
    if (!rect().contains(pos)) return -1;
    // A line between two cells belongs to the cell before it; the frame to the cell inside it.
    const int column = std::clamp((pos.x() - FrameWidth) / kPitch, 0, Columns - 1);
    const int row = std::clamp((pos.y() - FrameWidth) / kPitch, 0, Rows - 1);
    return row * Columns + column;
}

void TQLMEmotions::SelectCell(int index) {
    if (index == FSelected) return;
    FSelected = index;
    update();
    ShowPreview();
}

void TQLMEmotions::ShowPreview() {
    ClearPreview();
    if (!HasImage(FSelected)) {
        FPreview->hide();
        return;
    }
    const int row = FSelected / Columns;
    const int column = FSelected % Columns;
    // Away from the pointer: to the far corner when the pointer nears the near one.
    if (row < kPreviewRows) {
        if (column >= Columns - kPreviewColumns)
            MovePreview(pcTopLeft);
        else if (column < kPreviewColumns)
            MovePreview(pcTopRight);
    }
    const TEmotionFile& file = FFiles[size_t(FSelected)];
    const QSize room = FPreview->contentsRect().size();
    const bool tooLarge = file.Image.width() > room.width() || file.Image.height() > room.height();
    const QSize shown = tooLarge ? file.Image.size().scaled(room, Qt::KeepAspectRatio) : file.Image.size();
    if (file.FrameCount > 1) {
        FMovie = new QMovie(FPreview);
        auto* buffer = new QBuffer(FMovie);
        buffer->setData(file.Bytes);
        buffer->open(QIODevice::ReadOnly);
        FMovie->setDevice(buffer);
        FMovie->setCacheMode(QMovie::CacheAll);
        if (tooLarge) FMovie->setScaledSize(shown);
        FPreview->setMovie(FMovie);
        FMovie->start();
    } else {
        FPreview->setPixmap(QPixmap::fromImage(
            tooLarge ? file.Image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : file.Image));
    }
    FPreview->show();
    FPreview->raise();
}

void TQLMEmotions::MovePreview(TPreviewCorner corner) {
    FCorner = corner;
    FPreview->move(corner == pcTopLeft ? QPoint(FrameWidth, FrameWidth)
                                       : QPoint(Width - FrameWidth - PreviewSize, FrameWidth));
}

void TQLMEmotions::ClearPreview() {
    FPreview->setMovie(nullptr);
    FPreview->clear();
    delete FMovie;
    FMovie = nullptr;
}

void TQLMEmotions::Pick() {
    // An empty cell is no pick: the owner gets nothing to insert.
    if (HasImage(FSelected)) FPicked = FSelected;
    close();
}

void TQLMEmotions::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Midlight));
    for (int column = 1; column < Columns; ++column) {
        const int x = FrameWidth + column * kPitch - 1;
        painter.drawLine(x, FrameWidth, x, FrameWidth + GridHeight - 1);
    }
    for (int row = 1; row < Rows; ++row) {
        const int y = FrameWidth + row * kPitch - 1;
        painter.drawLine(FrameWidth, y, FrameWidth + GridWidth - 1, y);
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(0, 0, Width - 1, Height - 1);

    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int i = 0; i < Count; ++i) {
        if (HasImage(i)) painter.drawImage(CellRect(i).adjusted(2, 2, -2, -2), FFiles[size_t(i)].Image);
    }
    if (FSelected >= 0) {
        painter.setPen(QColor(0, 0, 255));
        painter.setBrush(Qt::NoBrush);
        // A 1-pixel pen draws the rectangle one pixel wider and higher than given.
        painter.drawRect(CellRect(FSelected).adjusted(1, 1, -2, -2));
    }
}

void TQLMEmotions::mouseMoveEvent(QMouseEvent* event) {
    const int cell = CellAt(event->position().toPoint());
    if (cell >= 0) SelectCell(cell);
}

void TQLMEmotions::mousePressEvent(QMouseEvent* event) {
    const int cell = CellAt(event->position().toPoint());
    if (cell < 0) {
        // Pressed outside: the pop-up loses the mouse, as it loses activation.
        close();
        return;
    }
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton &&
        event->button() != Qt::MiddleButton)
        return;
    SelectCell(cell);
    Pick();
}

void TQLMEmotions::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape: close(); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (FSelected >= 0) Pick();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: break;
    default: QWidget::keyPressEvent(event); return;
    }
    if (FSelected < 0) {
        SelectCell(2); // row 0, column 2
        return;
    }
    int row = FSelected / Columns;
    int column = FSelected % Columns;
    // The selection stays inside the grid: no wrapping at the edges.
    switch (event->key()) {
    case Qt::Key_Left: column = std::max(0, column - 1); break;
    case Qt::Key_Right: column = std::min(Columns - 1, column + 1); break;
    case Qt::Key_Up: row = std::max(0, row - 1); break;
    default: row = std::min(Rows - 1, row + 1); break;
    }
    SelectCell(row * Columns + column);
}

void TQLMEmotions::closeEvent(QCloseEvent* event) {
    if (!FAnswered) {
        FAnswered = true;
        ClearPreview();
        emit Answered(FPicked, FPicked >= 0 ? FileName(FFolder, FPicked) : QString());
    }
    QWidget::closeEvent(event);
}
