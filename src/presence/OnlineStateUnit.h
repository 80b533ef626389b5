#pragma once

#include "core/OnlineStateValueUnit.h"
#include "core/ParamsUnit.h"

#include <QObject>
#include <QString>
#include <optional>

class TUserInterfaceLang;

// The own online state and the texts and decisions around it. Everything here
// runs on the main thread; the texts take a language table (null: the
// process-wide one) so that they can be checked without the shipped files.
namespace OnlineStates {

// The reply travels inside a tab-separated datagram: this long, no tabs.
constexpr int MaxAutoReplyLength = 255;

// "Online", "Busy", "Away".
QString StateText(TOnlineState state, const TUserInterfaceLang* lang = nullptr);
// Short: "<nickname> --- <state>". Long: the short form, then the "Sound:" and
// "Notification Window:" lines, CR LF between them.
QString StateCaption(const TApplicationParams& params, TOnlineState state, bool longForm,
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
TStateTexts RefreshStateTexts(const TApplicationParams& params, TOnlineState state, bool trayAnimating,
                              const TUserInterfaceLang* lang = nullptr);

// Busy and Away have settings of their own; Online counts as Busy.
TBooleanParams AutoReplyParam(TOnlineState state);
TBooleanParams AutoSwitchParam(TOnlineState state);
TStringParams AutoReplyContentParam(TOnlineState state);

// Tabs removed, then cut to MaxAutoReplyLength characters.
QString CleanAutoReplyText(const QString& text);
// Stores the cleaned text as the state's auto-reply (in memory; the main
// window saves it with the window state).
void StoreAutoReplyText(TApplicationParams& params, TOnlineState state, const QString& text);

// What choosing a state item does.
struct TStateChoice {
    enum TKind { ckNothing, ckSwitch, ckDialog };
    TKind Kind = ckNothing;
    // ckSwitch: the new state; ckDialog: the state the dialog preselects.
    TOnlineState State = TOnlineState::Online;
};
// The current state again does nothing; Online switches at once; Busy and
// Away open the dialog unless their AutoSwitch setting is on.
TStateChoice ChooseOnlineState(TOnlineState wanted, TOnlineState current, const TApplicationParams& params);

} // namespace OnlineStates

// Sets the own state and tells the others about it. The program's is
// TNodeStateAnnouncer; tests put a spy here so nothing reaches the network.
class TOnlineStateAnnouncer {
public:
    virtual ~TOnlineStateAnnouncer() = default;
    virtual TOnlineState CurrentState() const = 0;
    // Sets the state and sends "QLM_ONLINESTATE" to every listed user; false
    // (and nothing sent) when it was the state already.
    virtual bool SwitchOnlineState(TOnlineState state) = 0;
};

// Carries out a choice of state: direct switches here, the dialog is the
// caller's (TOnlineStateController in the GUI).
class TOnlineStateSwitch : public QObject {
    Q_OBJECT
public:
    TOnlineStateSwitch(TApplicationParams& params, TOnlineStateAnnouncer& announcer, QObject* parent = nullptr);

    TOnlineState State() const { return FAnnouncer.CurrentState(); }
    TApplicationParams& Settings() const { return FParams; }

    // Decides on a chosen state and switches when that is the answer;
    // ckDialog is left to the caller.
    OnlineStates::TStateChoice Choose(TOnlineState wanted);
    // Sets and announces the state; StateSwitched follows a real change only.
    bool Switch(TOnlineState state);

signals:
    // The header icon and the texts (RefreshStateTexts) follow this.
    void StateSwitched(TOnlineState state);

private:
    TApplicationParams& FParams;
    TOnlineStateAnnouncer& FAnnouncer;
};
