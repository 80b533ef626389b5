#pragma once

#include "ui/UtilsGuiUnit.h"
#include "presence/OnlineStateUnit.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// "Setup Online State": the auto-reply text and the two switches of Busy and
// Away. The switches are stored as they are clicked; the text of the entry
// selected at the end is stored however the dialog closes. Accepted means
// "Switch Now".
class TStateSetupForm : public QDialog {
    Q_OBJECT
public:
    // The pop-up help of the main window reads this property of a control.
    static constexpr const char* HelpContextProperty = Utils::HelpContextProperty;

    // The entries of the state list.
    static constexpr int EntryBusy = 0;
    static constexpr int EntryAway = 1;
    // Away selects Away; any other state Busy.
    static int EntryOf(TOnlineState state);
    static TOnlineState StateOf(int entry);

    // state: the entry preselected.
    TStateSetupForm(TApplicationParams& params, TOnlineState state, QWidget* parent = nullptr);

    // Busy or Away.
    TOnlineState SelectedState() const;

    QComboBox* StateList() const { return FState; }
    QPlainTextEdit* DescriptionEdit() const { return FDescription; }
    QCheckBox* AutoReplyCheck() const { return FAutoReply; }
    QCheckBox* DialogCheck() const { return FDialog; }
    QPushButton* SwitchButton() const { return FSwitch; }
    QPushButton* CloseButton() const { return FClose; }

    void done(int result) override;

private:
    void TranslateCaptions();
    void LoadEntry(int entry);
    void LimitDescription();

    TApplicationParams& FParams;
    QLabel* FStateLabel = nullptr;
    QComboBox* FState = nullptr;
    QLabel* FDescriptionLabel = nullptr;
    QPlainTextEdit* FDescription = nullptr;
    QGroupBox* FProperty = nullptr;
    QCheckBox* FAutoReply = nullptr;
    QCheckBox* FDialog = nullptr;
    QPushButton* FSwitch = nullptr;
    QPushButton* FClose = nullptr;
    bool FStored = false;
    bool FLimiting = false;
};

// The main window's side of choosing a state: menu items hand over their Tag
// (OnlineStateMenu), the controller switches at once or runs the setup dialog. StateSwitched
// tells the window to update the header icon and RefreshStateTexts.
class TOnlineStateController : public QObject {
    Q_OBJECT
public:
    // dialogParent: the window the dialog is centred on (may be null).
    TOnlineStateController(TApplicationParams& params, TOnlineStateAnnouncer& announcer, QWidget* dialogParent,
                           QObject* parent = nullptr);

    TOnlineState State() const { return FSwitch.State(); }
    TOnlineStateSwitch& Switcher() { return FSwitch; }

    // Tag 1001..1003 of the invoking menu item; any other tag does nothing.
    void ChangeOnlineStateExecute(int tag);
    // "Online State Setup...": the dialog with Busy preselected.
    void LoadOnlineStateFormExecute();
    // Modal; true when it closed with "Switch Now" (and the state was set).
    // While a dialog is open another request only brings it to the front.
    bool ShowStateSetupDialog(TOnlineState state);
    // The open dialog, if any (tests drive it).
    TStateSetupForm* OpenDialog() const { return FDialogForm; }

signals:
    void StateSwitched(TOnlineState state);

private:
    TOnlineStateSwitch FSwitch;
    QPointer<QWidget> FDialogParent;
    QPointer<TStateSetupForm> FDialogForm;
};
