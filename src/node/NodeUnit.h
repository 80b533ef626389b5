#pragma once

#include "core/IntakeNoticeUnit.h"
#include "core/SoundKindUnit.h"
#include "presence/OnlineStateUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "protocol/ChatHandlersUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommConstsUnit.h"

#include <QObject>
#include <QTimer>
#include <memory>

class TChatService;
class TConsoleService;
class TNeighbourhoodService;
class TChatLog;
class TCommServer;
class TCommLocal;
class TEventRouter;
class TLogRecorder;
class TSourceRate;
class TPresenceService;
class TTransferService;
class TUpdateService;

// What the node dropped of what peers sent, by reason (the CLI's counters line).
struct TIntakeCounts {
    quint64 SourceShare = 0;   // events of a source that already had its share waiting
    quint64 QueueFull = 0;     // events beyond all that may wait at once
    quint64 BroadcastRate = 0; // broadcasts of a source beyond the rate anybody types
    quint64 Unrouted = 0;      // events nobody owns
    quint64 Mistyped = 0;      // records no handler takes
    quint64 ByteBudget = 0;    // beyond the bytes a source or all may hold: datagrams dropped, requests reset
    quint64 ByteWaits = 0;
    quint64 OfferCap = 0;      // file offers declined: their sender already had its accepted offers open     // requests left unread until their source's earlier bytes were stored
    bool operator==(const TIntakeCounts&) const = default;
};

// The intervals of the start sequence and the presence check, in one place
// so that tests and lab runs can shorten them.
struct TNodeTimings {
    int LoadMs = 100;           // creation -> listener started, first self-check
    int RepeatMs = 10 * 1000;   // self-check repeated until it comes back
    int SignalMs = 60 * 1000;   // presence check of listed users
    qint64 MinuteMs = 60 * 1000; // the unit of the silence rule
    int SilenceMinutes = 5;     // whole minutes without a sign -> not responding
    int CountsMs = 10 * 1000;   // the CLI's listener counters line, when they changed

    // Defaults, overridden by QUILLMATE_TIMINGS="load=50,repeat=500,signal=1000,minute=200,counts=1000".
    static TNodeTimings FromEnvironment();
};

// The engine's top object: the start and stop sequence, the timers, the
// listener and sender with their settings, the event router and the subsystem
// services that register with it. The desktop window shows and drives it;
// quillmate-cli runs it headless.
class TNode : public QObject {
    Q_OBJECT
public:
    explicit TNode(TNodeTimings timings = TNodeTimings::FromEnvironment(), QObject* parent = nullptr);
    ~TNode() override;

    // Checks the chat log's database (created when missing), builds the group
    // rows and arms TimerLoad.
    void Start();
    // Logoff to every listed user, listener stopped, list emptied. Safe to call twice.
    void Stop();

    TOnlineUserModel& Model() { return *FModel; }
    TCommServer& Server() { return *FServer; }
    TCommLocal& Local() { return *FLocal; }
    const TCommClient& Client() const { return *FClient; }
    TEventRouter& Router() { return *FRouter; }
    TPresenceService& Presence() { return *FPresence; }
    TChatService& Chat() { return *FChat; }
    TTransferService& Transfer() { return *FTransfer; }
    TConsoleService& Console() { return *FConsole; }
    // The network neighbourhood with this machine's sources, made on first use.
    TNeighbourhoodService& Neighbourhood();
    TUpdateService& Update() { return *FUpdate; }
    TChatLog& ChatLog() { return *FChatLog; }
    // A peer's traffic dropped for its rate or share, once per source and reason in a while.
    TIntakeNotices& IntakeNotices() { return *FNotices; }
    bool NetworkConfirmed() const { return FNetworkConfirmed; }
    TIntakeCounts IntakeCounts() const;
    bool IsListening() const;

    // "QLM_ONLINESTATE", "QLM_NICKNAME" or "QLM_LOGOFF" to every user row, last row first.
    void SendPresenceToListed(const char* type);
    // Rebuilds the list and announces this node again (from a worker: the
    // broadcast list may name hosts the resolver has to look up).
    void RefreshOnlineList();
    // Stores and announces a new nickname; false when nothing changed.
    bool ChangeNickname(const QString& text);
    // Sets this user's state and tells every listed user; false when it was
    // the state already.
    bool SwitchOnlineState(TOnlineState state);

    // The own state once listening starts (Online unless a headless node is
    // asked to start Busy or Away).
    void SetStartState(TOnlineState state) { FStartState = state; }

    // Tests look host names up here instead of the system resolver.
    void SetResolver(TTransportConfig::TResolver resolver) { FResolver = std::move(resolver); }

signals:
    // Every event handled, before it is handled (the CLI prints them).
    void EventArrived(int id, qintptr wParam, const TOnlineNotify& record);
    void NetworkReady();
    // Listening could not start: the text for the error box (once; the node
    // keeps trying on every TimerRepeat tick).
    void ListenFailed(const QString& text);
    void SelfRowAdded();
    // A round of the presence check began (TimerSignal).
    void PresenceCheckStarted();

private:
    void TimerLoadTimer();
    void TimerRepeatTimer();
    void TimerSignalTimer();
    bool TryStartListening();
    void NetworkConfirmedEvent(qintptr wParam);
    TTransportConfig ConfigFromSettings() const;
    TLocalIdentity IdentityFromSettings() const;

    TNodeTimings FTimings;
    std::unique_ptr<TEventRouter> FRouter;
    std::unique_ptr<TIntakeNotices> FNotices;
    std::unique_ptr<TCommLocal> FLocal;
    std::unique_ptr<TCommClient> FClient;
    std::unique_ptr<TOnlineUserModel> FModel;
    std::unique_ptr<TPresenceService> FPresence;
    std::unique_ptr<TChatService> FChat;
    std::unique_ptr<TTransferService> FTransfer;
    std::unique_ptr<TConsoleService> FConsole;
    std::unique_ptr<TNeighbourhoodService> FNeighbourhood;
    std::unique_ptr<TUpdateService> FUpdate;
    std::unique_ptr<TChatLog> FChatLog;
    std::unique_ptr<TLogRecorder> FRecorder;
    // What the listener threads send with (check-signal replies): a copy taken
    // while they are stopped, so they never read settings the main thread writes.
    TTransportConfig FListenerConfig;
    std::unique_ptr<TCommClient> FListenerClient;
    std::unique_ptr<TCommServer> FServer;
    TChatIntake FIntake;
    TTransportConfig::TResolver FResolver;
    QTimer FTimerLoad;
    QTimer FTimerRepeat;
    QTimer FTimerSignal;
    TOnlineState FStartState = TOnlineState::Online;
    bool FNetworkConfirmed = false;
    bool FListenFailedShown = false;
    bool FStopped = false;
};

// The announcer over the running node (TCommLocal's state, the online list).
class TNodeStateAnnouncer final : public TOnlineStateAnnouncer {
public:
    explicit TNodeStateAnnouncer(TNode& node) : FNode(node) {}
    TOnlineState CurrentState() const override;
    bool SwitchOnlineState(TOnlineState state) override;

private:
    TNode& FNode;
};
