#pragma once

#include "messaging/ServerQueueUnit.h"
#include "messaging/widgets/TrayNotificationUnit.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStringList>
#include <optional>

// A link of the queue notification: underlined, a hand cursor, blue while
// the pointer is over it.
class TNotificationLink : public QLabel {
    Q_OBJECT
public:
    TNotificationLink(const QString& text, QWidget* parent);
    bool IsHot() const { return FHot; }

signals:
    void Clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Repaint();
    bool FHot = false;
};

// The notification of the head of the incoming queue: its title names the
// item, as wide as the title needs; it stays until it is opened, ignored or
// closed, and tells which of the three through its signals.
class TQueueNotificationWindow : public TNotificationWindow {
    Q_OBJECT
public:
    static constexpr int QueueHeight = 90;
    static constexpr int TitleExtraWidth = 53;
    static constexpr int LineHeight = 20;

    TQueueNotificationWindow(const TQueueItem& item, TTaskbarEdge edge, TNotificationTimings timings);

    // The window's size for a title: title width + 53, height 90.
    static QSize SizeForTitle(const QString& title, const QFont& font);

    // The head changed in place (a request withdrawn): new body, same title.
    void SetItem(const TQueueItem& item);
    TNotificationLink* IgnoreLink() const { return FIgnore; }
    // "<Saved In Folder>" on a line of its own and the folder below it, cut in
    // the middle so that both its start and its own name stay readable.
    static QStringList FolderLines(const QString& text, const QFontMetrics& metrics, int width);
    TNotificationLink* ViewLink() const { return FView; }
    // The offer's line within width: the first name is cut in the middle so
    // that "+N more" and the size stay whole.
    static QString OfferLine(const TOfferedFiles& offered, const QFontMetrics& metrics, int width);

signals:
    void CloseClicked();
    void IgnoreClicked();
    void ViewClicked();

protected:
    void PaintBody(QPainter& painter, const QRect& body) override;
    void CloseButtonClicked() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceLinks();

    TNotificationLink* FIgnore = nullptr;
    bool FFolderBody = false; // files stored: the body names a folder
    std::optional<TOfferedFiles> FOffered; // a request that names its files
    TNotificationLink* FView = nullptr;
};
