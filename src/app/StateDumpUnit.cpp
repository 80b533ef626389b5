#include "app/StateDumpUnit.h"

#include "messaging/ServerQueueUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"
#include "ui/TrayIconUnit.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QSaveFile>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>
#include <algorithm>

namespace {

// Rows of a list beyond this are left out: a script never needs more.
constexpr int kMaxRows = 200;

QString Field(QString text) {
    text.remove(QChar::ObjectReplacementCharacter);
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n') ||
            c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char(' ');
    return text;
}

QString Line(const QStringList& fields) {
    QStringList cleaned;
    cleaned.reserve(fields.size());
    for (const QString& field : fields) cleaned << Field(field);
    return cleaned.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

QString WindowId(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    return QStringLiteral("0x") + QString::number(handle ? handle->winId() : 0, 16);
}

QString CentreIn(const QWidget& widget, const QWidget& window) {
    const QPoint centre = widget.mapTo(&window, widget.rect().center());
    return QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y());
}

int PictureCount(const QTextDocument& document) {
    int pictures = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat()) pictures += it.fragment().length();
    return pictures;
}

QString AnimationName(TTrayAnimation animation) {
    switch (animation) {
    case TTrayAnimation::Message: return QStringLiteral("message");
    case TTrayAnimation::File: return QStringLiteral("file");
    case TTrayAnimation::None: break;
    }
    return QStringLiteral("none");
}

QString WindowLine(const QWidget& window) {
    const QRect frame = window.geometry();
    return Line({QStringLiteral("window"), WindowId(window), QString::fromLatin1(window.metaObject()->className()),
                 window.objectName(), window.windowTitle(),
                 QStringLiteral("%1,%2,%3,%4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())});
}

// Rows of a view, children of expanded tree rows after their parent; path
// is the row numbers from the top ("0.2"), centre the row's middle.
void AddRows(QString& text, const QString& id, const QAbstractItemView& view, const QWidget& window,
             const QModelIndex& parent, const QString& path) {
    const QAbstractItemModel& model = *view.model();
    const auto* tree = qobject_cast<const QTreeView*>(&view);
    const int rows = std::min(model.rowCount(parent), kMaxRows);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex first = model.index(row, 0, parent);
        QStringList cells;
        for (int column = 0; column < model.columnCount(parent); ++column)
            cells << model.index(row, column, parent).data().toString();
        const QRect place = view.visualRect(first);
        const QPoint centre = view.viewport()->mapTo(&window, place.center());
        const QString rowPath = path.isEmpty() ? QString::number(row) : path + QLatin1Char('.') + QString::number(row);
        text += Line({QStringLiteral("row"), id, view.objectName(), rowPath,
                      view.viewport()->rect().contains(place.center()) ? QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y()) : QStringLiteral("-"),
                      cells.join(QStringLiteral(" | "))});
        if (tree && tree->isExpanded(first)) AddRows(text, id, view, window, first, rowPath);
    }
}

// Only what a user could see in this window: hidden parts (a collapsed
// panel) and the parts of windows it owns are left out.
bool Shown(const QWidget* widget, const QWidget& window) {
    return widget->window() == &window && widget->isVisibleTo(&window);
}

} // namespace

TStateDump::TStateDump(const TAppTray& tray, const TServerQueue& queue, QString fileName,
                       QObject* parent)
    : QObject(parent), FTray(tray), FQueue(queue), FFileName(std::move(fileName)) {
    // Polled, not wired to every window's signals: windows come and go, and
    // rendering a handful of them is cheap next to the interval.
    FTimer.setInterval(PollMs);
    connect(&FTimer, &QTimer::timeout, this, &TStateDump::Refresh);
    FTimer.start();
    Refresh();
}

QByteArray TStateDump::RenderWindow(const QWidget& window) {
    const QString id = WindowId(window);
    QString text = WindowLine(window);
    if (const auto* notification = qobject_cast<const TNotificationWindow*>(&window))
        text += Line({QStringLiteral("notification"), id, notification->Title(), notification->Text()});
    for (const QTextEdit* edit : window.findChildren<QTextEdit*>()) {
        if (!Shown(edit, window)) continue;
        text += Line({QStringLiteral("text"), id, edit->objectName(), QString::number(PictureCount(*edit->document())),
                      CentreIn(*edit, window), edit->toPlainText()});
    }
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (!Shown(button, window)) continue;
        // A tool bar's button is known by its action's name.
        QString name = button->objectName();
        if (const auto* tool = qobject_cast<const QToolButton*>(button); name.isEmpty() && tool && tool->defaultAction())
            name = tool->defaultAction()->objectName();
        text += Line({QStringLiteral("button"), id, name, button->isEnabled() ? QStringLiteral("1") : QStringLiteral("0"),
                      CentreIn(*button, window), button->text()});
    }
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (!Shown(label, window) || label->text().isEmpty()) continue;
        text += Line({QStringLiteral("label"), id, label->objectName(), CentreIn(*label, window), label->text()});
    }
    for (const QProgressBar* bar : window.findChildren<QProgressBar*>()) {
        if (!Shown(bar, window)) continue;
        text += Line({QStringLiteral("progress"), id, bar->objectName(), QString::number(bar->value()),
                      QString::number(bar->maximum())});
    }
    for (const QAbstractItemView* view : window.findChildren<QAbstractItemView*>()) {
        // A header is a view too, of the column captions.
        if (view->model() && Shown(view, window) && !qobject_cast<const QHeaderView*>(view)) AddRows(text, id, *view, window, view->rootIndex(), QString());
    }
    return text.toUtf8();
}

QByteArray TStateDump::Render() const {
    QByteArray text = Line({QStringLiteral("tray"), FTray.Available() ? QStringLiteral("1") : QStringLiteral("0"),
                            FTray.IsAnimating() ? QStringLiteral("1") : QStringLiteral("0"),
                            AnimationName(FTray.IsAnimating() ? FTray.LoadedAnimation() : TTrayAnimation::None),
                            QString::number(FTray.CurrentFrame()), QString::number(FTray.FrameInterval()), FTray.Hint()})
                          .toUtf8();
    for (int index = 0; index < FQueue.Count(); ++index) {
        const TQueueItem& item = FQueue.Item(index);
        text += Line({QStringLiteral("queue"), QString::number(index), QString::number(KindOf(item)), SenderNickName(item),
                      QueueItemHint(item)})
                    .toUtf8();
    }
    QList<QByteArray> windows;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        // Windows with a parent (Qt::Window) are top-level too and listed here.
        if (!window->isVisible()) continue;
        windows << RenderWindow(*window);
    }
    std::sort(windows.begin(), windows.end());
    for (const QByteArray& window : windows) text += window;
    return text;
}

bool TStateDump::Refresh() {
    const QByteArray text = Render();
    if (FEverWritten && text == FWritten) return true;
    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(text);
    if (!file.commit()) return false;
    FWritten = text;
    FEverWritten = true;
    return true;
}
