#pragma once

#include "core/OnlineStateValueUnit.h"
#include "ui/UtilsGuiUnit.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QToolButton;
class TConsoleForm;
class TAppTray;
class TDesktop;
class TNavBar;
class TNetworkTree;
class TNode;
class TNodeStateAnnouncer;
class TOnlineFloatWindow;
class TOnlineStateController;
class TOnlineUserCommands;
class TOnlineUserView;
class TQLMHeader;
class TTrayMenu;
class TTrayNotification;
struct TOptionContext;
struct TRecipient;

// The program's only permanent window: the online list, its menus and the
// tray's menu. Closing it for real ends the program. It shows and drives the
// desktop's node and opens other windows through the desktop's openers.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* WindowClassName = "Quillmate Window Class";
    static constexpr int OnlinePanel = 0;
    static constexpr int NetworkPanel = 1;

    TMainForm(TDesktop& desktop, bool startMinimized);
    ~TMainForm() override;

    // Hidden: show and bring to front. Visible: keepVisible brings it to the
    // front; otherwise a minimised window is restored and a normal one goes to the tray.
    void ToggleMainWindow(bool keepVisible);
    // Exit command: really close, even with ClickCloseToMinimize on.
    void ExitApplicationExecute();
    // The desktop session is ending: log off and save as at close.
    void SessionEnding();
    // The window's own settings (bounds, panels, maximised) into the settings file.
    void SaveWindowSettings();
    // Every caption of the window and its menus from the interface language table.
    void TranslateCaptions();

    // Commands of the menus (also called by tests).
    void ChangeOnlineStateExecute(int tag);
    void LoadOnlineStateFormExecute();
    void ChangeUserNameExecute();
    void RefreshOnlineListExecute();
    void ChangeActiveGroupExecute(int index);
    // sender: the item that was clicked; both menus show the new value.
    void SetOnTopExecute();
    void SetPlaySoundExecute();
    // Nothing happens for the scheme in use (or an unknown name).
    void miBlueClick(const QString& scheme);
    void miInvertClick();
    bool ChangeInterfaceLanguageExecute(const QString& languageName);
    void LoadAboutFormExecute();
    void LoadHelpSystemExecute();
    void miMainHomePageClick();
    void miMainIssuesClick();
    void miMainCallExplorerClick();
    // File windows by Tag (1301-1306, MainUnitFiles.cpp); target for the tray's items.
    void LoadFileFormExecute(int tag, const TRecipient* target = nullptr);
    // "&Log Management..." of the Tools and tray menus (MainUnitLog.cpp).
    void miLogManageClick();
    // Opens a message window (tags 1201-1207); nothing when no recipient comes out.
    void LoadMessageFormExecute(int tag);
    // "&Options..." of the Tools and tray menus (MainUnitOptions.cpp): the
    // options dialog; after OK what can change at once does.
    void LoadOptionsFormExecute();
    // A console window (Tags 1101, 1104, 1105, MainUnitConsole.cpp) with tab-separated
    // names (1104/1105: the network panel's computers); nothing when 1104/1105 find none.
    TConsoleForm* LoadConsoleFormExecute(int tag, const QString& names = {});

    // Started with "-min" or MinimizeAfterStart: the window is never shown at start.
    bool StartsHidden() const;
    bool ExitRequested() const { return FExitRequested; }
    TTrayMenu* TrayMenu() const { return FTrayMenu; }
    TNode& Node() { return *FNode; }
    TDesktop& Desktop() { return FDesktop; }
    TQLMHeader* Header() const { return FHeader; }
    TOnlineUserView* UserView() const { return FUserView; }
    TNavBar* NavBar() const { return FNavBar; }
    // The "Network Neighborhood" panel (MainUnitNetwork.cpp).
    TNetworkTree* NetworkTree() const { return FNetworkTree; }
    // "Refresh Windows &Network", "Refresh Entire Tree".
    void ReloadNetworkTreeExecute();
    TTrayNotification& Notifications() { return *FNotifications; }
    TAppTray& Tray() { return *FTray; }
    TOnlineStateController& StateController() { return *FStateController; }
    TOnlineUserCommands& OnlineCommands() { return *FOnlineCommands; }
    // The floating tags of listed users (MainUnitFloat.cpp).
    TOnlineFloatWindow& FloatWindows() { return *FFloatWindows; }
    // "Show Floating Window" on the selected user: close is the item's check.
    void ShowFloatingWindowExecute(bool close);
    // Any menu item of the window by its object name ("miMainAOT" ...).
    QAction* Action(const QString& objectName) const;
    // Where the gradient and the tool panel's colour come from now.
    QColor GradientStart() const { return FGradientStart; }
    QColor GradientEnd() const { return FGradientEnd; }
    QColor ToolPanelColor() const;

    // "&Broadcast Message..." and the targets of "Send &Message..." (MainUnitQueue.cpp).
    void BroadcastMessageExecute();
    void SendMessageToTargetExecute(const QString& targetHint, bool computer);

    // Tests answer the nickname dialog here instead of a modal box.
    using TInputText = std::function<bool(QWidget*, const QString&, const QString&, QString*)>;
    void SetInputText(TInputText inputText);
    // Tests answer the window's own questions (the code-page warning) here.
    using TMessageBox = std::function<Utils::TMessageBoxResult(QWidget*, Utils::TMessageBoxKind, const QString&)>;
    void SetMessageBox(TMessageBox messageBox) { FMessageBox = std::move(messageBox); }
    // Tests give the options dialog their boxes, folder chooser and port check here.
    void SetOptionContextHook(std::function<void(TOptionContext&)> hook) { FOptionHook = std::move(hook); }

    // Addresses of the Help menu: the repository's README and issue tracker.
    static QString HomePageUrl();
    static QString IssuesUrl();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildCentralArea();
    void BuildToolBar(QWidget* owner);
    void BuildMenus();
    void BuildMainMenu();
    void BuildHeaderMenu();
    void BuildTrayMenu();
    void BuildColorMenu();
    void BuildLanguageMenu();
    void BuildFileCommands();
    void BuildSendFileMenu(QMenu* menu);
    void BuildLogItems();
    // "&Options..." and the items whose windows come with later work, shown disabled.
    void BuildOptionItems();
    void ApplyOptions();
    // The window items of the tray menu in their documented order, in one block.
    void ArrangeTrayMenu();
    void ConnectNode();
    void BuildSendMessageMenu();
    void UpdateSendMessageMenu();
    // The commands that open message windows (MainUnitChat.cpp).
    void ConnectChatCommands();
    void BuildFloatWindows();
    void SetFloatWindowColors(const QString& scheme, const QColor& start, const QColor& end);
    // "Send &Console Message..." in Tools and the tray menu (MainUnitConsole.cpp).
    void BuildConsoleItems();
    // The network panel's commands and "Refresh Windows &Network" (MainUnitNetwork.cpp).
    void BuildNetworkCommands();
    // The tray submenus' computer items, in tree order, before the users; the separator when any.
    void AddComputerItems(QMenu* menu, int tag);
    // Creates an item whose caption follows the language; tag goes to data().
    QAction* AddItem(QMenu* menu, const char* objectName, const QString& english, int tag = 0);
    QMenu* AddSubmenu(QMenu* menu, const char* objectName, const QString& english);
    void AddStateItems(QMenu* menu, const char* prefix, bool withAccelerators);
    void UpdateTrayMenu();
    // The radio items of AddStateItems(prefix) show the own state.
    void CheckStateItems(const char* prefix);
    void UpdatePanelItems();
    void FitToolButtons();
    void ApplyColorScheme(const QString& scheme);
    void ApplyAlwaysOnTop(bool on);
    void RefreshStateTexts();
    void ResetAutoReplied();
    void RestoreWindowState();
    void FormClose();
    void HideToTray();
    void UpdateCaption();

    bool FStartMinimized;
    bool FExitRequested = false;
    bool FClosed = false;
    bool FSelfSeen = false;
    // Messages answered automatically since the state began, and the last
    // senders (name and time) for the header's tooltip.
    static constexpr int kAutoRepliedListed = 20;
    TOnlineState FRepliedState = TOnlineState::Online;
    int FAutoReplied = 0;
    QStringList FAutoRepliedFrom;
    QRect FRestoreBounds;
    QColor FGradientStart;
    QColor FGradientEnd;
    TInputText FInputText;
    TMessageBox FMessageBox;
    std::function<void(TOptionContext&)> FOptionHook;

    // Captions that follow the interface language: the object and its English text.
    struct TCaption {
        QPointer<QObject> Target;
        QString English;
    };
    std::vector<TCaption> FCaptions;

    TDesktop& FDesktop;
    TNode* FNode;
    TAppTray* FTray;
    TTrayNotification* FNotifications;
    std::unique_ptr<TNodeStateAnnouncer> FAnnouncer;
    TOnlineStateController* FStateController = nullptr;
    TOnlineUserCommands* FOnlineCommands = nullptr;
    TOnlineFloatWindow* FFloatWindows = nullptr;
    TQLMHeader* FHeader = nullptr;
    TNavBar* FNavBar = nullptr;
    TOnlineUserView* FUserView = nullptr;
    TNetworkTree* FNetworkTree = nullptr;
    QWidget* FToolPanel = nullptr;
    QWidget* FOnlineToolBar = nullptr; // tbOnline
    QList<QToolButton*> FToolButtons;

    QMenu* FHeaderMenu = nullptr;
    QMenu* FOnlineMenu = nullptr;
    QMenu* FColorMenu = nullptr;
    QMenu* FLanguageMenu = nullptr;
    TTrayMenu* FTrayMenu = nullptr;
    QActionGroup* FLanguageGroup = nullptr;
    QActionGroup* FColorGroup = nullptr;
    QAction* FInvertAction = nullptr;
    QMenu* FSendMessageMenu = nullptr;
};
