#pragma once

#include "ui/UtilsGuiUnit.h"

#include <QHash>
#include <QModelIndex>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <functional>

class QAction;
class QMenu;
class QWidget;
class TApplicationParams;
class TOnlineUserModel;
class TOnlineUserView;

// Which items of the online list's context menu are enabled for a selection.
struct TOnlineMenuState {
    bool SendSelected = false;   // Send Message / File to Selected: a user row
    bool SendChecked = false;    // Send Message to Checked: a ticked user row
    bool RenameGroup = false;    // Rename / Delete: a named group row
    bool DeleteGroup = false;
    bool MoveToGroup = false;    // a user row and at least two group rows
    bool FloatingWindow = false; // a user row
    bool FloatingChecked = false; // ... that has a floating window
};
// floatingWindow: the selected user's floating window, if any.
TOnlineMenuState OnlineMenuState(const TOnlineUserModel& model, const QModelIndex& selected,
                                 const QObject* floatingWindow = nullptr);

// The online list's window commands and its context menu pmOnline: groups
// (add, rename, delete, move a user), check marks and display options. The
// items that open other windows are handed on as signals.
class TOnlineUserCommands : public QObject {
    Q_OBJECT
public:
    // Menu item Tags of the items handed on.
    enum {
        TagSendMessageSelected = 1202,
        TagSendMessageChecked = 1204,
        TagSendFileSelected = 1301,
    };

    // Stand-ins for the modal dialogs (tests answer them directly).
    using TInputText = std::function<bool(QWidget* owner, const QString& caption, const QString& prompt, QString* value)>;
    using TMessageBox =
        std::function<Utils::TMessageBoxResult(QWidget* owner, Utils::TMessageBoxKind kind, const QString& text)>;

    TOnlineUserCommands(TOnlineUserView& view, TApplicationParams& params, QObject* parent = nullptr);

    void SetInputText(TInputText inputText) { FInputText = std::move(inputText); }
    void SetMessageBox(TMessageBox messageBox) { FMessageBox = std::move(messageBox); }

    // Fills menu with pmOnline's items (object names as the window's
    // components) and updates them whenever it opens; the view's context
    // menu request shows it. The menu stays the caller's.
    void BuildMenu(QMenu* menu);
    QMenu* Menu() const { return FMenu; }
    QAction* MenuAction(const QString& objectName) const;
    void TranslateCaptions();
    // Enabling, checks and a fresh Move to Group submenu.
    void UpdateMenu();

    // The floating window shown for a user (by UserKey, without case); it
    // leaves the list when it is destroyed.
    void SetFloatingWindow(const QString& userKey, QObject* window);
    QObject* FloatingWindow(const QString& userKey) const;

    void miOnlineAddGroupClick();
    void miOnlineRenameGroupClick();
    void miOnlineDeleteGroupClick();
    // One item per group the selected user can go to (lowest group first);
    // choosing one moves the user there.
    void BuildMoveToGroupMenu(QMenu* submenu);
    // Tag 1 ticks all users, 2 inverts, 3 clears.
    void CheckOnlineUserExecute(int tag);
    // Tag 0 flips showing the computer name, 1 the IP address.
    void miOnlineComputerNameClick(int tag);

signals:
    void LoadMessageFormRequested(int tag);
    void LoadFileFormRequested(int tag);
    void RefreshOnlineListRequested();
    // "Show Floating Window": close is the item's check before the click.
    void FloatingWindowToggleRequested(bool close);

private:
    TOnlineUserModel* Model() const;
    QWidget* Owner() const;
    bool AskGroupName(const QString& caption, const QString& prompt, QString* name);
    QAction* AddItem(QMenu* menu, const char* objectName);
    void MoveSelectedUserTo(const QString& groupName);

    TOnlineUserView& FView;
    TApplicationParams& FParams;
    TInputText FInputText;
    TMessageBox FMessageBox;
    QPointer<QMenu> FMenu;
    QPointer<QMenu> FMoveMenu;
    QPointer<QMenu> FShowMenu;
    // The user the Move to Group items were built for.
    QPersistentModelIndex FMoveUser;
    QHash<QString, QPointer<QObject>> FFloatingWindows; // by case-folded UserKey
};
