#pragma once

#include "core/ParamsUnit.h"

#include <QObject>
#include <QString>
#include <optional>

class TUserInterfaceLang;

// The own online state and the texts and decisions around it. Everything here
// runs on the main thread; the texts take a language table (null: the
// process-wide one) so that they can be checked without the shipped files.
namespace OnlineStates {

constexpr int Online = 0;
constexpr int Busy = 1;
constexpr int Away = 2;

// Tags of the menu items that select a state (header, tray and main menus).
constexpr int TagOnline = 1001;
constexpr int TagBusy = 1002;
constexpr int TagAway = 1003;

// Entries of the setup dialog's list.
constexpr int EntryBusy = 0;
constexpr int EntryAway = 1;

// The reply travels inside a tab-separated datagram: this long, no tabs.
constexpr int MaxAutoReplyLength = 255;

// "Online", "Busy", "Away"; empty for any other value.
QString StateText(int state, const TUserInterfaceLang* lang = nullptr);
// Short: "<nickname> --- <state>". Long: the short form, then the "Sound:" and
// "Notification Window:" lines, CR LF between them.
QString StateCaption(const TApplicationParams& params, int state, bool longForm,
                     const TUserInterfaceLang* lang = nullptr);
// The header's title, and its content before this node's own logon came back.
QString HeaderTitle(const TUserInterfaceLang* lang = nullptr);
QString LoadingText(const TUserInterfaceLang* lang = nullptr);

// What the main window shows after a change of state, nickname or language:
// the header content always; the tray hint only while the icon is idle (an
// animating icon names the first waiting item instead).
struct TStateTexts {
    QString HeaderContent;
    std::optional<QString> TrayHint;
};
TStateTexts RefreshStateTexts(const TApplicationParams& params, int state, bool trayAnimating,
                              const TUserInterfaceLang* lang = nullptr);

// Image names: menus ("ONLINESTATE_PRESENT" ...) and the header ("U_ONLINESTATE_PRESENT" ...).
// Empty for an unknown state.
QString MenuImageName(int state);
QString HeaderImageName(int state);

// The dialog's entries map to Busy and Away and to their own settings.
// An entry outside 0..1 counts as Busy.
int EntryState(int entry);
TBooleanParams AutoReplyParam(int entry);
TBooleanParams AutoSwitchParam(int entry);
TStringParams AutoReplyContentParam(int entry);

// Tabs removed, then cut to MaxAutoReplyLength characters.
QString CleanAutoReplyText(const QString& text);
// Stores the cleaned text as the entry's auto-reply (in memory; the main
// window saves it with the window state).
void StoreAutoReplyText(TApplicationParams& params, int entry, const QString& text);

// What choosing a state item does.
struct TStateChoice {
    enum TKind { ckNothing, ckSwitch, ckDialog };
    TKind Kind = ckNothing;
    int State = Online;       // ckSwitch: the new state
    int Entry = EntryBusy;    // ckDialog: the entry to preselect
};
// tag: 1001..1003. The current state again, or an unknown tag, does nothing;
// Online switches at once; Busy and Away open the dialog unless their
// AutoSwitch setting is on.
TStateChoice ChooseOnlineState(int tag, int currentState, const TApplicationParams& params);

} // namespace OnlineStates

// Sets the own state and tells the others about it. The program's is
// TNodeStateAnnouncer; tests put a spy here so nothing reaches the network.
class TOnlineStateAnnouncer {
public:
    virtual ~TOnlineStateAnnouncer() = default;
    virtual int CurrentState() const = 0;
    // Sets the state and sends "QLM_ONLINESTATE" to every listed user; false
    // (and nothing sent) when it was the state already or is no state.
    virtual bool SwitchOnlineState(int state) = 0;
};

// Carries out a choice of state: direct switches here, the dialog is the
// caller's (TOnlineStateController in the GUI).
class TOnlineStateSwitch : public QObject {
    Q_OBJECT
public:
    TOnlineStateSwitch(TApplicationParams& params, TOnlineStateAnnouncer& announcer, QObject* parent = nullptr);

    int State() const { return FAnnouncer.CurrentState(); }
    TApplicationParams& Settings() const { return FParams; }

    // Decides on a menu item's tag and switches when that is the answer;
    // ckDialog is left to the caller.
    OnlineStates::TStateChoice Choose(int tag);
    // Sets and announces the state; StateSwitched follows a real change only.
    bool Switch(int state);

signals:
    // The header icon and the texts (RefreshStateTexts) follow this.
    void StateSwitched(int state);

private:
    TApplicationParams& FParams;
    TOnlineStateAnnouncer& FAnnouncer;
};
