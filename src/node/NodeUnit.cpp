#include "node/NodeUnit.h"

#include "core/ParamsUnit.h"
#include "core/PostedEventUnit.h"
#include "core/TextFormatUnit.h"
#include "core/UtilsUnit.h"
#include "platform/NetworkPolicyUnit.h"
#include "presence/UserGroupUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

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
    const TApplicationParams& p = Params();
    FModel = std::make_unique<TOnlineUserModel>(TUserGroup::Instance(), TSelfIdentity{p[spQLMId], Utils::LocalComputerName()});
    connect(FModel.get(), &TOnlineUserModel::SelfRowAdded, this, &TNode::SelfRowAdded);
    connect(FModel.get(), &TOnlineUserModel::UserAnnounced, this, [this](const TUserNodeData& user) {
        if (Params()[bpUseNotificationWindow])
            emit NotificationRequested(
                TranslateFormat(QStringLiteral("%s Online"), {Utils::DisplayName(true, user.NickName, user.ComputerName)}));
        if (Params()[bpPlaySound]) emit SoundRequested(0);
    });

    TCommLocal& local = TCommLocal::Instance();
    local.SetLocalInterfaces(TCommLocal::EnumerateInterfaces());
    FListenerClient = std::make_unique<TCommClient>([this] { return FListenerConfig; },
                                                    [id = p[spQLMId]] {
                                                        TLocalIdentity self;
                                                        self.UserId = id;
                                                        return self;
                                                    },
                                                    TMessageLang::Instance());
    auto dispatcher = std::make_unique<TDatagramDispatcher>(
        this, TListenerIdentity{p[spQLMId], Utils::LocalComputerName()}, local, TMessageLang::Instance(),
        *FListenerClient);
    FServer = std::make_unique<TCommServer>(this, std::move(dispatcher));

    FTimerLoad.setSingleShot(true);
    FTimerLoad.setInterval(FTimings.LoadMs);
    FTimerRepeat.setInterval(FTimings.RepeatMs);
    FTimerSignal.setInterval(FTimings.SignalMs);
    connect(&FTimerLoad, &QTimer::timeout, this, &TNode::TimerLoadTimer);
    connect(&FTimerRepeat, &QTimer::timeout, this, &TNode::TimerRepeatTimer);
    connect(&FTimerSignal, &QTimer::timeout, this, &TNode::TimerSignalTimer);
}

TNode::~TNode() { Stop(); }

bool TNode::IsListening() const { return FServer->IsListening(); }

void TNode::Start() {
    FNetworkConfirmed = false;
    FModel->LoadGroupNodes(true);
    FTimerLoad.start();
}

void TNode::TimerLoadTimer() {
    FTimerLoad.stop();
    TCommLocal::Instance().SetOnlineState(0);
    const TApplicationParams& p = Params();
    const Platform::TNetworkPolicy policy = Platform::NetworkPolicy();
    if (policy == Platform::TNetworkPolicy::Off) return;
    FListenerConfig = TTransportConfig::FromSettings();
    TCommServer::TOptions options;
    options.Port = quint16(p[ipListeningPort]);
    options.MulticastGroup = p[spMulticastGroup];
    options.MembershipRequired = p[bpUseUDPIPMulticast];
    if (policy == Platform::TNetworkPolicy::Loopback) {
        options.BindAddress = QHostAddress(QHostAddress::LocalHost);
        options.MulticastGroup.clear();
    }
    if (!FServer->StartListening(options))
        emit ListenFailed(Translate(QStringLiteral("Error occured when starting UDP/TCP listening service.")) +
                          QStringLiteral("\r\n") + FServer->ErrorText());
    TCommClient::Instance().SendCheckNetworkState();
    FTimerRepeat.start();
}

void TNode::TimerRepeatTimer() {
    if (FNetworkConfirmed) {
        FTimerRepeat.stop();
        return;
    }
    TCommClient::Instance().SendCheckNetworkState();
}

void TNode::TimerSignalTimer() {
    const QStringList addresses = FModel->CheckSignalTick(FTimings.MinuteMs, FTimings.SilenceMinutes);
    if (!addresses.isEmpty()) TCommClient::Instance().StartCheckSignal(addresses);
}

bool TNode::event(QEvent* e) {
    if (!TPostedEvent::IsPosted(e)) return QObject::event(e);
    auto& posted = static_cast<TPostedEvent&>(*e);
    if (FStopped) return true;
    if (posted.Id() == WM_NETWORK_CONFIRMED) {
        emit EventArrived(posted.Id(), posted.WParam(), TOnlineNotify());
        FNetworkConfirmed = true;
        FTimerRepeat.stop();
        TCommClient::Instance().StartLogonThread();
        FTimerSignal.start();
        emit NetworkReady();
        return true;
    }
    HandlePresence(posted);
    return true;
}

void TNode::HandlePresence(TPostedEvent& e) {
    const std::unique_ptr<TOnlineNotify> record = e.TakeRecord<TOnlineNotify>();
    if (!record) return;
    emit EventArrived(e.Id(), e.WParam(), *record);
    switch (e.Id()) {
    case WM_PEER_LOGON:
        FModel->UpdateOrAddUser(true, ukFull, *record);
        if (!FModel->IsSelf(record->UserId, record->ComputerName))
            TCommClient::Instance().SendPresence(MessageType::LogonReply, record->IPAddress);
        break;
    case WM_PEER_LOGONREPLY:
        FModel->UpdateOrAddUser(false, ukFull, *record);
        break;
    case WM_PEER_STATE:
        FModel->UpdateOrAddUser(true, ukState, *record);
        break;
    case WM_PEER_NICKNAME:
        FModel->UpdateOrAddUser(true, ukNickname, *record);
        break;
    case WM_PEER_LOGOFF:
        if (FModel->RemoveUser(*record) && Params()[bpUseNotificationWindow])
            emit NotificationRequested(TranslateFormat(
                QStringLiteral("%s Offline"),
                {Utils::DisplayName(!record->NickName.isEmpty(), record->NickName, record->ComputerName)}));
        break;
    case WM_PEER_SIGNALREPLY:
        FModel->MarkSignal(record->UserId);
        break;
    default:
        break;
    }
}

void TNode::SendPresenceToListed(const char* type) {
    const QList<QModelIndex> users = FModel->UserIndexes();
    for (auto it = users.crbegin(); it != users.crend(); ++it)
        TCommClient::Instance().SendPresence(type, FModel->NodeData(*it)->IPAddress);
}

void TNode::RefreshOnlineList() {
    FTimerSignal.stop();
    FModel->ClearUserList();
    FModel->LoadGroupNodes(false);
    TCommClient::Instance().SendLogon();
    FTimerSignal.start();
}

bool TNode::ChangeNickname(const QString& text) {
    const QString nickname = TApplicationParams::CleanNickname(text);
    TApplicationParams& p = Params();
    if (nickname.isEmpty() || nickname.compare(p[spNickname], Qt::CaseInsensitive) == 0) return false;
    p[spNickname] = nickname;
    p.SaveSetting(spNickname);
    SendPresenceToListed(MessageType::Nickname);
    return true;
}

bool TNode::SwitchOnlineState(int state) {
    TCommLocal& local = TCommLocal::Instance();
    if (state < 0 || state > 2 || state == local.OnlineState()) return false;
    local.SetOnlineState(state);
    SendPresenceToListed(MessageType::OnlineState);
    return true;
}

void TNode::Stop() {
    if (FStopped) return;
    FStopped = true;
    FTimerLoad.stop();
    FTimerRepeat.stop();
    FTimerSignal.stop();
    if (FServer->IsListening()) {
        SendPresenceToListed(MessageType::Logoff);
        FServer->StopListening();
    }
    FModel->ClearUserList();
}

int TNodeStateAnnouncer::CurrentState() const { return TCommLocal::Instance().OnlineState(); }

bool TNodeStateAnnouncer::SwitchOnlineState(int state) { return FNode.SwitchOnlineState(state); }
