#pragma once

#include "core/SoundKindUnit.h"

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
enum class TMessageBoxKind { Question, Error, Information };
// Buttons it returns (the values Windows uses).
enum class TMessageBoxResult { Ok = 1, Yes = 6, No = 7 };

// Modal box captioned "Quillmate": question (Yes/No), error (OK) or information
// (OK). With quietTray the tray icon ignores clicks while the box is open.
TMessageBoxResult ShowMessageBox(QWidget* owner, bool quietTray, TMessageBoxKind kind, const QString& text);
// True while a box opened with quietTray is showing.
bool TrayIsQuiet();

// Modal one-line input of at most 20 characters; true and the new value on OK.
bool InputText(QWidget* owner, const QString& caption, const QString& prompt, QString* value);

// Brings a window to the front and gives it the focus.
bool ForceForeground(QWidget* window);
// An open window asked for again: restored when minimised, then in front.
bool BringForward(QWidget* window);
// The windows found by class name: a message window "WM_<NAME>", the
// broadcast window "QLM_BROADCAST_CLASS", a file window "WF_<NAME>", the file
// manager "QLM_FILEMANAGE_CLASS".
enum class TWindowKind { Message, Broadcast, File, FileManage };
QString WindowClassName(TWindowKind kind, const QString& name);

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

// "online.wav" or "message.wav" from the Sounds folder, played without
// waiting; silent when the file or the sound system is missing.
void PlaySoundFile(TSound sound);
// Opens the shipped help page (optionally at a topic) with the desktop's viewer.
void ShowHelp(const QString& topic = {});

} // namespace Utils
