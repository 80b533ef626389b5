#include "node/NodeUnit.h"

#include "chatlog/ChatLogUnit.h"
#include "console/ConsoleServiceUnit.h"
#include "neighbourhood/NeighbourhoodServiceUnit.h"
#include "core/EventRouterUnit.h"
#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "node/LogRecorderUnit.h"
#include "platform/NetworkPolicyUnit.h"
#include "presence/PresenceServiceUnit.h"
#include "presence/UserGroupUnit.h"
#include "protocol/ChatHandlersUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "protocol/SourceRateUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"
#include "transfer/TransferServiceUnit.h"
#include "update/UpdateServiceUnit.h"

TNodeTimings TNodeTimings::FromEnvironment() {
    TNodeTimings t;
    const QString spec = qEnvironmentVariable("QUILLMATE_TIMINGS");
    for (const QString& part : spec.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0).trimmed();
        bool ok = false;
        const int value = part.section(QLatin1Char('='), 1).trimmed().toInt(&ok);
        if (!ok || value <= 0) continue;
        if (key == QLatin1String("load")) t.LoadMs = value;
        else if (key == QLatin1String("repeat")) t.RepeatMs = value;
        else if (key == QLatin1String("signal")) t.SignalMs = value;
        else if (key == QLatin1String("minute")) t.MinuteMs = value;
        else if (key == QLatin1String("counts")) t.CountsMs = value;
    }
    return t;
}

TNode::TNode(TNodeTimings timings, QObject* parent) : QObject(parent), FTimings(timings) {
    TApplicationParams& p = Params();
    FRouter = std::make_unique<TEventRouter>();
    FNotices = std::make_unique<TIntakeNotices>();
    FRouter->SetOnThrottled([notices = FNotices.get()](const QString& source) {
        notices->Note(source, QStringLiteral("source-share"));
    });
    connect(FNotices.get(), &TIntakeNotices::Noticed, this, [](const QString& source, const QString& reason) {
        qWarning("intake: dropping what %s sends (%s); counted, told again in ten minutes at the most",
                 qPrintable(source), qPrintable(reason));
    });
    // Peers' GB2312/Big5 text is shown converted as the settings say when the node starts.
    TMessageLang::Instance().SetAutoCodeConvert(p[bpAutoCodeConvert]);
    // Lab runs announce another version to try updates between nodes of one build.
    const QString testVersion = qEnvironmentVariable("QUILLMATE_TEST_VERSION");
    FLocal = std::make_unique<TCommLocal>(p, Utils::ProgramFolder(), testVersion.isEmpty() ? Utils::VersionText() : testVersion);
    FLocal->SetLocalInterfaces(TCommLocal::EnumerateInterfaces());
    FClient = std::make_unique<TCommClient>([this] { return ConfigFromSettings(); },
                                            [this] { return IdentityFromSettings(); }, TMessageLang::Instance());

    FModel = std::make_unique<TOnlineUserModel>(TUserGroup::Instance(), TSelfIdentity{p[spQLMId], Utils::LocalComputerName()});
    connect(FModel.get(), &TOnlineUserModel::SelfRowAdded, this, &TNode::SelfRowAdded);
    FPresence = std::make_unique<TPresenceService>(*FModel, *FClient, p);
    FPresence->RegisterEvents(*FRouter);
    connect(FPresence.get(), &TPresenceService::PresenceEvent, this, &TNode::EventArrived);
    FChat = std::make_unique<TChatService>(*FClient, *FLocal);
    FChat->RegisterEvents(*FRouter);
    FChatLog = std::make_unique<TChatLog>();
    FRouter->RegisterPlain(WM_NETWORK_CONFIRMED, [this](qintptr wParam) { NetworkConfirmedEvent(wParam); });

    FListenerClient = std::make_unique<TCommClient>([this] { return FListenerConfig; },
                                                    [id = p[spQLMId]] {
                                                        TLocalIdentity self;
                                                        self.UserId = id;
                                                        return self;
                                                    },
                                                    TMessageLang::Instance());
    auto dispatcher = std::make_unique<TDatagramDispatcher>(
        *FRouter, TListenerIdentity{p[spQLMId], Utils::LocalComputerName()}, *FLocal, TMessageLang::Instance(),
        *FListenerClient);
    FServer = std::make_unique<TCommServer>(std::move(dispatcher));
    TChatListenLimits chatLimits;
    chatLimits.SpoolFolder = Utils::GetTempFolder();
    chatLimits.OnBroadcastThrottled = [notices = FNotices.get()](const QString& source) {
        notices->Note(source, QStringLiteral("broadcast-rate"));
    };
    FIntake = RegisterChatHandlers(*FServer, *FRouter, TMessageLang::Instance(), chatLimits);
    FTransfer = std::make_unique<TTransferService>(*FClient, *FLocal, p, TMessageLang::Instance());
    FTransfer->RegisterEvents(*FRouter);
    FConsole = std::make_unique<TConsoleService>(TMessageLang::Instance().LanguageId(), Utils::LocalComputerName());
    FTransfer->RegisterListener(FServer->Dispatcher(), *FServer, *FListenerClient, *FRouter);
    FUpdate = std::make_unique<TUpdateService>(*FClient, *FLocal, TMessageLang::Instance());
    FUpdate->RegisterEvents(*FRouter);
    FUpdate->RegisterListener(FServer->Dispatcher(), *FServer, *FListenerClient, *FRouter, p[spQLMId],
                              Utils::LocalComputerName());
    // Connected first: a record is queued before any window or front end sees the item.
    FRecorder = std::make_unique<TLogRecorder>(
        [log = FChatLog.get()](TLogRecord record) { log->AddLogRecord(std::move(record)); }, TMessageLang::Instance());
    FRecorder->Connect(*FChat);
    FRecorder->Connect(*FTransfer);

    FTimerLoad.setSingleShot(true);
    FTimerLoad.setInterval(FTimings.LoadMs);
    FTimerRepeat.setInterval(FTimings.RepeatMs);
    FTimerSignal.setInterval(FTimings.SignalMs);
    connect(&FTimerLoad, &QTimer::timeout, this, &TNode::TimerLoadTimer);
    connect(&FTimerRepeat, &QTimer::timeout, this, &TNode::TimerRepeatTimer);
    connect(&FTimerSignal, &QTimer::timeout, this, &TNode::TimerSignalTimer);
}

TNode::~TNode() { Stop(); }

TIntakeCounts TNode::IntakeCounts() const {
    const TRouterCounts router = FRouter->Counts();
    TIntakeCounts counts{router.Throttled, router.Overflowed, 0, router.Unrouted, router.Mistyped};
    if (FIntake.BroadcastRate) counts.BroadcastRate = FIntake.BroadcastRate->Dropped();
    if (FIntake.Bytes) {
        counts.ByteBudget = FIntake.Bytes->Refused() + (FIntake.Spooled ? FIntake.Spooled->Refused() : 0);
        counts.ByteWaits = FIntake.Bytes->Waited();
    }
    counts.OfferCap = quint64(FTransfer->DeclinedAtCap());
    return counts;
}

bool TNode::IsListening() const { return FServer->IsListening(); }

TTransportConfig TNode::ConfigFromSettings() const {
    const TApplicationParams& p = Params();
    TTransportConfig config;
    config.Port = quint16(p[ipListeningPort]);
    config.MulticastGroup = p[spMulticastGroup];
    config.TimeToLive = p[ipTimeToLive];
    config.UseMulticast = p[bpUseUDPIPMulticast];
    FLocal->GetBroadcastList(&config.BroadcastList);
    config.Resolver = FResolver;
    return config;
}

TLocalIdentity TNode::IdentityFromSettings() const {
    const TApplicationParams& p = Params();
    TLocalIdentity self;
    self.LanguageId = TMessageLang::Instance().LanguageId();
    self.Interfaces = FLocal->LocalInterfaces();
    self.OnlineState = FLocal->OnlineState();
    self.NickName = p[spNickname];
    self.ComputerName = Utils::LocalComputerName();
    self.Version = Utils::VersionText();
    self.UserId = p[spQLMId];
    return self;
}

void TNode::Start() {
    FNetworkConfirmed = false;
    FChatLog->Start();
    FModel->LoadGroupNodes(true);
    FTimerLoad.start();
}

bool TNode::TryStartListening() {
    const TApplicationParams& p = Params();
    const Platform::TNetworkPolicy policy = Platform::NetworkPolicy();
    // An address that came up since the last try is announced from now on.
    FLocal->SetLocalInterfaces(TCommLocal::EnumerateInterfaces());
    FListenerConfig = ConfigFromSettings();
    FTransfer->RefreshListenerSettings();
    FUpdate->SetAnswerIdentity(p[spNickname], Utils::LocalComputerName());
    TCommServer::TOptions options;
    options.Port = quint16(p[ipListeningPort]);
    options.MulticastGroup = p[spMulticastGroup];
    options.MembershipRequired = p[bpUseUDPIPMulticast];
    if (policy == Platform::TNetworkPolicy::Loopback) {
        options.BindAddress = QHostAddress(QHostAddress::LocalHost);
        options.MulticastGroup.clear();
    }
    return FServer->StartListening(options);
}

void TNode::TimerLoadTimer() {
    FTimerLoad.stop();
    FLocal->SetOnlineState(FStartState);
    if (Platform::NetworkPolicy() == Platform::TNetworkPolicy::Off) return;
    if (TryStartListening()) {
        FClient->SendCheckNetworkState();
    } else if (!FListenFailedShown) {
        FListenFailedShown = true;
        emit ListenFailed(Translate(QStringLiteral("Error occured when starting UDP/TCP listening service.")) +
                          QStringLiteral("\r\n") + FServer->ErrorText());
    }
    FTimerRepeat.start();
}

void TNode::TimerRepeatTimer() {
    if (FNetworkConfirmed) {
        FTimerRepeat.stop();
        return;
    }
    // A machine that started before its network came up keeps trying.
    if (!FServer->IsListening() && !TryStartListening()) return;
    FClient->SendCheckNetworkState();
}

void TNode::TimerSignalTimer() {
    emit PresenceCheckStarted();
    FPresence->CheckSignalTick(FTimings.MinuteMs, FTimings.SilenceMinutes);
}

void TNode::NetworkConfirmedEvent(qintptr wParam) {
    emit EventArrived(WM_NETWORK_CONFIRMED, wParam, TOnlineNotify());
    // Only the first echo counts: repeated (or spoofed) self-checks must not
    // postpone the presence check or trigger another logon.
    if (FNetworkConfirmed) return;
    FNetworkConfirmed = true;
    FTimerRepeat.stop();
    FClient->StartLogonThread();
    if (!FTimerSignal.isActive()) FTimerSignal.start();
    emit NetworkReady();
}

void TNode::SendPresenceToListed(const char* type) { FPresence->SendPresenceToListed(type); }

void TNode::RefreshOnlineList() {
    FTimerSignal.stop();
    FModel->ClearUserList();
    FModel->LoadGroupNodes(false);
    FClient->StartLogonThread();
    FTimerSignal.start();
}

bool TNode::ChangeNickname(const QString& text) {
    const QString nickname = TApplicationParams::CleanNickname(text);
    TApplicationParams& p = Params();
    if (nickname.isEmpty() || nickname.compare(p[spNickname], Qt::CaseInsensitive) == 0) return false;
    p[spNickname] = nickname;
    p.SaveSetting(spNickname);
    FUpdate->SetAnswerIdentity(nickname, Utils::LocalComputerName());
    SendPresenceToListed(MessageType::Nickname);
    return true;
}

bool TNode::SwitchOnlineState(TOnlineState state) {
    if (state == FLocal->OnlineState()) return false;
    FLocal->SetOnlineState(state);
    SendPresenceToListed(MessageType::OnlineState);
    return true;
}

void TNode::Stop() {
    if (FStopped) return;
    FStopped = true;
    FRouter->SetEnabled(false);
    FTimerLoad.stop();
    FTimerRepeat.stop();
    FTimerSignal.stop();
    if (FServer->IsListening()) {
        SendPresenceToListed(MessageType::Logoff);
        FServer->StopListening();
    }
    FModel->ClearUserList();
    // Positions of users first seen in the last second are not lost at exit.
    TUserGroup::Instance().FlushPendingPositions();
}

TOnlineState TNodeStateAnnouncer::CurrentState() const { return FNode.Local().OnlineState(); }

bool TNodeStateAnnouncer::SwitchOnlineState(TOnlineState state) { return FNode.SwitchOnlineState(state); }

TNeighbourhoodService& TNode::Neighbourhood()
{
    if (!FNeighbourhood) {
        FNeighbourhood = std::make_unique<TNeighbourhoodService>();
        FNeighbourhood->SetSources(TNeighbourhoodService::DefaultSources());
        FNeighbourhood->SetResolver(TNeighbourhoodService::DefaultResolver());
    }
    return *FNeighbourhood;
}
