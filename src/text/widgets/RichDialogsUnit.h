#pragma once

#include "ui/UtilsGuiUnit.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QObject;
class QWidget;
class TApplicationParams;

// The modal dialogs of the rich-text controls. Each control holds them as
// functions, so widget tests answer them directly.

// A file chooser: which file to open or to save as.
struct TFileDialogRequest {
    bool Save = false;
    QString Folder;        // where it opens
    QString Filter;        // "Image File(*.gif *.jpg *.jpeg *.bmp)"
    QString ProposedName;  // file name offered when saving
    QString DefaultSuffix; // added to a saved name typed without one
};
// The chosen path; empty on Cancel.
using TFileDialog = std::function<QString(QWidget* owner, const TFileDialogRequest& request)>;
QString ShowFileDialog(QWidget* owner, const TFileDialogRequest& request);

using TMessageBox = std::function<Utils::TMessageBoxResult(QWidget* owner, Utils::TMessageBoxKind kind, const QString& text)>;
Utils::TMessageBoxResult ShowRichMessageBox(QWidget* owner, Utils::TMessageBoxKind kind, const QString& text);

// One format of Paste Special: its name and description (translated).
struct TPasteChoice {
    enum TKind { pkText, pkBitmap, pkDib, pkRtf, pkRtfWithoutObjects };
    TKind Kind = pkText;
    QString Name;
    QString Description;
};
// The index of the chosen format; -1 on Cancel.
using TPasteSpecialDialog = std::function<int(QWidget* owner, const QList<TPasteChoice>& choices)>;
int ShowPasteSpecialDialog(QWidget* owner, const QList<TPasteChoice>& choices);

// The colour chosen; none on Cancel.
using TColourDialog = std::function<std::optional<QColor>(QWidget* owner, const QColor& initial)>;
std::optional<QColor> ShowColourDialog(QWidget* owner, const QColor& initial);

// "Image File(*.gif *.jpg *.jpeg *.bmp)": the pictures that can be inserted and saved.
QString ImageFileFilter();
// "Rich Text Format(*.rtf)".
QString RtfFileFilter();
// The folder of the picture dialogs: MessageImageFolder when it exists,
// otherwise the user's pictures folder.
QString PictureFolder(const TApplicationParams& params);
// MessageImageFolder := the folder of path, with a trailing slash.
void RememberPictureFolder(TApplicationParams& params, const QString& path);

// Writes bytes to path (replacing it) on a worker thread and then calls done
// on the main thread, unless context is gone by then (error: the system's text).
void WriteFileInBackground(QObject* context, const QString& path, const QByteArray& bytes,
                           std::function<void(bool ok, const QString& error)> done);
