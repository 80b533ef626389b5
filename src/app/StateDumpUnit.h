#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;
class TAppTray;
class TServerQueue;

// Test hook (QUILLMATE_STATE_DUMP=FILE): keeps FILE as a plain-text picture of
// what the program shows, so that lab scripts can wait for a state and find
// the controls to click without reading pixels. The text is rendered a few
// times a second and the file replaced whole only when it changed.
//
// Format: UTF-8, one record per line, fields separated by a tab (tabs and
// line breaks inside a field become spaces), windows sorted by their lines:
//   tray<TAB>available<TAB>animating<TAB>animation<TAB>frame<TAB>interval<TAB>hint
//   queue<TAB>index<TAB>kind<TAB>nickname<TAB>hint
//   window<TAB>id<TAB>class<TAB>object name<TAB>caption<TAB>x,y,w,h
// and after each visible window its visible parts (id is the window's; x,y
// the part's centre inside the window, "-" for a row scrolled out of sight):
//   notification<TAB>id<TAB>title<TAB>text
//   text<TAB>id<TAB>object name<TAB>pictures<TAB>x,y<TAB>plain text
//   button<TAB>id<TAB>object name<TAB>enabled<TAB>x,y<TAB>caption
//     (a tool bar's button: its action's object name)
//   label<TAB>id<TAB>object name<TAB>x,y<TAB>text
//   progress<TAB>id<TAB>object name<TAB>value<TAB>maximum
//   row<TAB>id<TAB>object name<TAB>path<TAB>x,y<TAB>cells joined by " | "
// animation is none, message or file; frame is -1 while idle; kind is the
// queue item's number (0 broadcast, 1 message, 2 files, 3 request, 4 withdrawn
// request); id is the native window id in hex, the one xdotool takes; path
// is the row numbers from the top ("0.2": a child of an expanded tree row).
class TStateDump : public QObject {
    Q_OBJECT
public:
    static constexpr int PollMs = 100;

    // The tray and the queue must outlive the dump.
    TStateDump(const TAppTray& tray, const TServerQueue& queue, QString fileName, QObject* parent = nullptr);

    QByteArray Render() const;
    // Writes when the text differs from the last one written; false when the
    // file could not be replaced.
    bool Refresh();

    static QByteArray RenderWindow(const QWidget& window);

private:
    const TAppTray& FTray;
    const TServerQueue& FQueue;
    QString FFileName;
    QByteArray FWritten;
    bool FEverWritten = false;
    QTimer FTimer;
};
