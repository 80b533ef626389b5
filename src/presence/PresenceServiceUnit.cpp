#include "presence/PresenceServiceUnit.h"

#include "core/EventRouterUnit.h"
#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "protocol/CommClientUnit.h"
#include "text/UILangUnit.h"

TPresenceService::TPresenceService(TOnlineUserModel& model, const TCommClient& client, const TApplicationParams& params,
                                   QObject* parent)
    : QObject(parent), FModel(model), FClient(client), FParams(params) {
    connect(&FModel, &TOnlineUserModel::UserAnnounced, this, &TPresenceService::UserAnnounced);
    // The sound follows the notices: a burst plays it once per notice shown.
    const auto announce = [this](const QString& text) {
        if (FParams[bpUseNotificationWindow]) emit NotificationRequested(text);
        if (FParams[bpPlaySound]) emit SoundRequested(TSound::Online);
    };
    connect(&FThrottle, &TNotificationThrottle::Show, this, announce);
    connect(&FThrottle, &TNotificationThrottle::Summary, this, [announce](int count) {
        announce(TranslateFormat(QStringLiteral("%d users online"), {qint64(count)}));
    });
}

const QList<int>& TPresenceService::EventIds() {
    static const QList<int> ids{WM_PEER_LOGON,   WM_PEER_LOGONREPLY, WM_PEER_STATE,
                                WM_PEER_NICKNAME, WM_PEER_LOGOFF,     WM_PEER_SIGNALREPLY};
    return ids;
}

void TPresenceService::RegisterEvents(TEventRouter& router) {
    for (const int id : EventIds())
        router.Register<TOnlineNotify>(id, [this, id](qintptr wParam, TOnlineNotify record) { Handle(id, wParam, record); });
}

void TPresenceService::UserAnnounced(const TUserNodeData& user) {
    FThrottle.Offer(TranslateFormat(QStringLiteral("%s Online"), {Utils::DisplayName(true, user.NickName, user.ComputerName)}));
}

void TPresenceService::Handle(int id, qintptr wParam, const TOnlineNotify& record) {
    emit PresenceEvent(id, wParam, record);
    switch (id) {
    case WM_PEER_LOGON:
        FModel.UpdateOrAddUser(true, ukFull, record);
        if (!FModel.IsSelf(record.UserId, record.ComputerName))
            FClient.SendPresence(MessageType::LogonReply, record.IPAddress);
        break;
    case WM_PEER_LOGONREPLY:
        FModel.UpdateOrAddUser(false, ukFull, record);
        break;
    case WM_PEER_STATE:
        FModel.UpdateOrAddUser(true, ukState, record);
        break;
    case WM_PEER_NICKNAME:
        FModel.UpdateOrAddUser(true, ukNickname, record);
        break;
    case WM_PEER_LOGOFF:
        if (FModel.RemoveUser(record) && FParams[bpUseNotificationWindow])
            emit NotificationRequested(TranslateFormat(
                QStringLiteral("%s Offline"),
                {Utils::DisplayName(!record.NickName.isEmpty(), record.NickName, record.ComputerName)}));
        break;
    case WM_PEER_SIGNALREPLY:
        FModel.MarkSignal(record.UserId);
        break;
    default:
        break;
    }
}

void TPresenceService::CheckSignalTick(qint64 minuteMs, int silenceMinutes) {
    const QStringList addresses = FModel.CheckSignalTick(minuteMs, silenceMinutes);
    if (!addresses.isEmpty()) FClient.StartCheckSignal(addresses);
}

void TPresenceService::SendPresenceToListed(const char* type) {
    const QList<QModelIndex> users = FModel.UserIndexes();
    for (auto it = users.crbegin(); it != users.crend(); ++it) FClient.SendPresence(type, FModel.NodeData(*it)->IPAddress);
}
