#pragma once

#include "ui/UtilsGuiUnit.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QWidget;

// What the file windows ask of the desktop: boxes, choosers and the file
// manager. One set for the process; tests replace members to answer directly.
struct TFileFormHooks {
    std::function<Utils::TMessageBoxResult(QWidget* owner, Utils::TMessageBoxKind kind, const QString& text)> MessageBox;
    // "Select Files": existing files, several at once; empty when cancelled.
    std::function<QStringList(QWidget* owner)> ChooseFiles;
    // A folder chooser with a title, starting at start; empty when cancelled.
    std::function<QString(QWidget* owner, const QString& title, const QString& start)> ChooseFolder;
    // A computer of the network, by name; empty when cancelled.
    std::function<QString(QWidget* owner)> ChooseComputer;
    // Opens a file or folder with the desktop's handler (file manager for folders).
    std::function<bool(const QUrl& url)> OpenUrl;
    // Brings up the log manager (when the log manager's window exists it is raised instead).
    std::function<void(QWidget* owner)> OpenLogManager;
};

// The hooks in use; defaults are the real dialogs and QDesktopServices.
TFileFormHooks& FileFormHooks();
// Back to the defaults.
void ResetFileFormHooks();
