#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <functional>

class QPainter;

class QWidget;

// Shared helpers that need a screen. Main thread only.
namespace Utils {

// The integer property by which a dialog's control names its pop-up help text.
constexpr const char* HelpContextProperty = "HelpContext";

// Kinds of ShowMessageBox.
enum TMessageBoxKind { mbQuestion = 0, mbError = 1, mbInformation = 2 };
// Buttons it returns (the values Windows uses).
enum TMessageBoxResult { mrOk = 1, mrYes = 6, mrNo = 7 };

// Modal box captioned "Quillmate": question (Yes/No), error (OK) or information
// (OK). With quietTray the tray icon ignores clicks while the box is open.
int ShowMessageBox(QWidget* owner, bool quietTray, int kind, const QString& text);
// True while a box opened with quietTray is showing.
bool TrayIsQuiet();

// Modal one-line input of at most 20 characters; true and the new value on OK.
bool InputText(QWidget* owner, const QString& caption, const QString& prompt, QString* value);

// Brings a window to the front and gives it the focus.
bool ForceForeground(QWidget* window);
// Kinds: 0 message window "WM_<NAME>", 1 "QLM_BROADCAST_CLASS", 2 file window
// "WF_<NAME>", 3 "QLM_FILEMANAGE_CLASS". True when such a window was open and
// is now in front.
bool ShowExistingWindow(int kind, const QString& name);
QString WindowClassName(int kind, const QString& name);

// A property setter's body: stores value and repaints only when it changed.
template <typename TWidget, typename TValue>
void SetAndRepaint(TWidget& widget, TValue& field, const TValue& value) {
    if (field == value) return;
    field = value;
    widget.update();
}

// Fills rect with a top-to-bottom gradient (the look of headers and strips).
void FillVerticalGradient(QPainter& painter, const QRect& rect, const QColor& top, const QColor& bottom);

// Where the tray icon is (empty when the desktop has no tray); set by the tray.
void SetTrayGeometryProvider(std::function<QRect()> provider);
// Told true when the first quiet box opens and false when the last one closes
// (the tray takes its menu away meanwhile); set by the tray.
void SetTrayQuietObserver(std::function<void(bool)> observer);
// A short rectangle animation between the window and the tray; does not block.
void AnimateToTray(QWidget* window, bool towardsTray);

// 0: "online.wav", 1: "message.wav" from the Sounds folder, played without
// waiting; silent when the file or the sound system is missing.
void PlaySoundFile(int which);
// Opens the shipped help page (optionally at a topic) with the desktop's viewer.
void ShowHelp(const QString& topic = {});

} // namespace Utils
