#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QUrl>
#include <functional>

class QTextEdit;

// Web and mail addresses in message text, opened from the message window's
// panes. The text itself is left as it is: an address is found where the
// user clicks, so nothing changes in what is sent or logged.
namespace PaneLinks {

// The address in text that covers position (an index into text), or an
// empty string: from "http://", "https://", "ftp://", "file://", "mailto:",
// "news:" or "www." up to the next blank, without trailing punctuation.
QString AddressAt(const QString& text, int position);
// The address as a URL; "www." addresses are web pages.
QUrl UrlOf(const QString& address);

} // namespace PaneLinks

// Watches one pane: the pointer becomes a hand over an address, and a click
// on it opens it with the desktop's handler. In a pane the user is writing
// in, only Ctrl+click opens, so that a click can still place the caret.
class TPaneLinks : public QObject {
    Q_OBJECT
public:
    using TOpener = std::function<void(const QUrl&)>;

    explicit TPaneLinks(QTextEdit* pane);
    // Tests see the URLs instead of the desktop opening them; empty: the desktop.
    static void SetOpener(TOpener opener);
    // Off: addresses are plain text (the broadcast input has no links).
    void SetActive(bool active) { FActive = active; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString AddressUnder(const QPoint& viewportPos) const;

    QTextEdit* FPane;
    QPoint FPressPos;
    bool FPressed = false;
    bool FActive = true;
};
