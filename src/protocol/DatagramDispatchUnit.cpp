#include "protocol/DatagramDispatchUnit.h"

#include "core/EventRouterUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/PresenceCodecUnit.h"
#include "text/MsgLangUnit.h"

TDatagramDispatcher::TDatagramDispatcher(TEventRouter& router, TListenerIdentity self, const TCommLocal& local,
                                         const TMessageLang& lang, const TCommClient& client)
    : FRouter(router), FSelf(std::move(self)), FLocal(local), FLang(lang), FClient(client) {
    RegisterPresenceHandlers();
}

void TDatagramDispatcher::Register(const char* type, THandler handler) {
    FHandlers.insert(QByteArray(type).toUpper(), std::move(handler));
}

bool TDatagramDispatcher::Dispatch(const QByteArray& datagram, const QString& sourceAddress) const {
    if (datagram.size() > MaxDatagramSize) return false;
    const std::optional<TEnvelope> envelope = TEnvelope::Parse(datagram);
    if (!envelope) return false;
    const auto handler = FHandlers.constFind(envelope->Type().toUpper());
    if (handler == FHandlers.cend()) return false;
    (*handler)(TDatagramContext{*envelope, sourceAddress});
    return true;
}

void TDatagramDispatcher::RegisterPresenceHandlers() {
    Register(MessageType::CheckNetworkState, [this](const TDatagramContext& c) {
        if (DecodeCheckNetworkState(c.Envelope).compare(FSelf.UserId, Qt::CaseInsensitive) == 0)
            FRouter.Post(WM_NETWORK_CONFIRMED);
    });

    Register(MessageType::Logon, [this](const TDatagramContext& c) {
        std::optional<TDecodedLogon> logon = DecodeLogon(c.Envelope, FLang);
        if (!logon) return;
        QString address;
        if (!FLocal.PickSameSubnetAddress(logon->SenderInterfaces, &address)) address = c.SourceAddress;
        logon->Notify.IPAddress = address;
        FRouter.PostFrom(c.SourceAddress, WM_PEER_LOGON, 0, 0, std::move(logon->Notify));
    });

    const auto presence = [this](int eventId, bool dropOwn) {
        return [this, eventId, dropOwn](const TDatagramContext& c) {
            std::optional<TOnlineNotify> notify = DecodePresence(c.Envelope, FLang);
            if (!notify) return;
            notify->IPAddress = c.SourceAddress;
            if (dropOwn) {
                const bool own = c.Envelope.ProtocolVersion() == 1
                                     ? notify->ComputerName.compare(FSelf.ComputerName, Qt::CaseInsensitive) == 0
                                     : notify->UserId.compare(FSelf.UserId, Qt::CaseInsensitive) == 0;
                if (own) return;
            }
            FRouter.PostFrom(c.SourceAddress, eventId, 0, 0, std::move(*notify));
        };
    };
    Register(MessageType::LogonReply, presence(WM_PEER_LOGONREPLY, false));
    Register(MessageType::OnlineState, presence(WM_PEER_STATE, false));
    Register(MessageType::Nickname, presence(WM_PEER_NICKNAME, false));
    Register(MessageType::Logoff, presence(WM_PEER_LOGOFF, true));

    // Answered at once from this thread, whoever asks.
    Register(MessageType::CheckSignal,
             [this](const TDatagramContext& c) { FClient.SendCheckSignalReply(c.SourceAddress); });

    Register(MessageType::CheckSignalReply, [this](const TDatagramContext& c) {
        FRouter.PostFrom(c.SourceAddress, WM_PEER_SIGNALREPLY, 0, 0, DecodeCheckSignalReply(c.Envelope));
    });
}
