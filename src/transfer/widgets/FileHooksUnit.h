#pragma once

#include "ui/UtilsGuiUnit.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QWidget;

// What the file windows ask of the desktop: boxes, choosers, the file
// manager and the log manager. Each window gets them with its context; tests
// replace members to answer directly.
struct TFileFormHooks {
    using TMessageBox = std::function<Utils::TMessageBoxResult(QWidget* owner, Utils::TMessageBoxKind kind, const QString& text)>;
    TMessageBox MessageBox;
    // "Select Files": existing files, several at once; empty when cancelled.
    std::function<QStringList(QWidget* owner)> ChooseFiles;
    // A folder chooser with a title, starting at start; empty when cancelled.
    std::function<QString(QWidget* owner, const QString& title, const QString& start)> ChooseFolder;
    // A computer of the network: its name (empty when cancelled) and its
    // IPv4 address when the chooser knows it (else the window looks it up).
    struct TChosenComputer {
        QString Name;
        QString Address;
    };
    std::function<TChosenComputer(QWidget* owner)> ChooseComputer;
    // Opens a file or folder with the desktop's handler (file manager for folders).
    std::function<bool(const QUrl& url)> OpenUrl;
    // Brings up the log manager, or raises its window when it is open; none by default.
    std::function<void()> OpenLogManager;
};

// The real dialogs and QDesktopServices.
TFileFormHooks DefaultFileFormHooks();
