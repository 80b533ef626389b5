#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QAction;
class QActionGroup;
class QMenu;
class TAppTray;
class TNode;

// The program's only permanent window. It owns the process: closing it for
// real ends the program.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* WindowClassName = "Quillmate Window Class";

    explicit TMainForm(bool startMinimized, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Hidden: show and bring to front. Visible: keepVisible brings it to the
    // front; otherwise a minimised window is restored and a normal one goes to the tray.
    void ToggleMainWindow(bool keepVisible);
    // Exit command: really close, even with ClickCloseToMinimize on.
    void ExitApplicationExecute();
    // The desktop session is ending: save as at close and let the session go on.
    void SessionEnding();
    // Captions from the interface language table.
    void TranslateCaptions();

    // Started with "-min" or MinimizeAfterStart: the window is never shown at start.
    bool StartsHidden() const;
    bool ExitRequested() const { return FExitRequested; }
    QMenu* TrayMenu() const { return FTrayMenu; }
    TNode& Node() { return *FNode; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildMenus();
    void BuildLanguageMenu();
    void RestoreWindowState();
    void FormClose();
    void HideToTray();
    void UpdateCaption();

    bool FStartMinimized;
    bool FExitRequested = false;
    bool FClosed = false;
    QRect FRestoreBounds;

    QMenu* FFileMenu = nullptr;
    QMenu* FViewMenu = nullptr;
    QMenu* FHelpMenu = nullptr;
    QMenu* FLanguageMenu = nullptr;
    QAction* FExitAction = nullptr;
    QAction* FContentAction = nullptr;
    QAction* FAboutAction = nullptr;
    QMenu* FTrayMenu = nullptr;
    QAction* FTrayExitAction = nullptr;
    QActionGroup* FLanguageGroup = nullptr;
    std::unique_ptr<TAppTray> FTray;
    std::unique_ptr<TNode> FNode;
};
