#include "protocol/ChatHandlersUnit.h"

#include "core/EventRouterUnit.h"
#include "protocol/CommServerUnit.h"
#include "protocol/DatagramDispatchUnit.h"
#include "protocol/SourceRateUnit.h"
#include "text/MsgLangUnit.h"

#include <atomic>
#include <memory>

namespace {

// Bytes that requests being served may hold at once, shared by the workers.
class TBodyBudget {
public:
    explicit TBodyBudget(qint64 limit) : FLimit(limit) {}
    bool Reserve(qint64 bytes) {
        qint64 used = FUsed.load();
        do {
            if (used + bytes > FLimit) return false;
        } while (!FUsed.compare_exchange_weak(used, used + bytes));
        return true;
    }
    void Release(qint64 bytes) { FUsed -= bytes; }

private:
    const qint64 FLimit;
    std::atomic<qint64> FUsed{0};
};

// Gives its reservation back however the request ends.
class TBudgetHold {
public:
    TBudgetHold(TBodyBudget& budget, qint64 bytes) : FBudget(budget), FBytes(budget.Reserve(bytes) ? bytes : -1) {}
    ~TBudgetHold() {
        if (FBytes >= 0) FBudget.Release(FBytes);
    }
    TBudgetHold(const TBudgetHold&) = delete;
    TBudgetHold& operator=(const TBudgetHold&) = delete;
    explicit operator bool() const { return FBytes >= 0; }

private:
    TBodyBudget& FBudget;
    const qint64 FBytes;
};

double Now() { return DaysSince1899(QDateTime::currentDateTime()); }

using TDecoder = std::optional<TBroadcastData> (*)(const TEnvelope&, const TMessageLang&);

// Broadcasts and refusals: decoded, stamped with their source and time, posted
// as their kind's record.
template <typename TRecord>
TDatagramDispatcher::THandler PostDatagram(TEventRouter& router, const TMessageLang& lang, TDecoder decode, int id,
                                           qintptr wParam, std::shared_ptr<TSourceRate> rate = {}) {
    return [&router, &lang, decode, id, wParam, rate](const TDatagramContext& c) {
        if (rate && !rate->Allow(c.SourceAddress)) return;
        std::optional<TBroadcastData> record = decode(c.Envelope, lang);
        if (!record) return;
        record->IPAddress = c.SourceAddress;
        record->ReceivedTime = Now();
        router.PostFrom(c.SourceAddress, id, wParam, 0, TRecord{std::move(*record)});
    };
}

} // namespace

std::shared_ptr<const TSourceRate> RegisterChatHandlers(TCommServer& server, TEventRouter& router,
                                                        const TMessageLang& lang, const TChatListenLimits& limits) {
    auto budget = std::make_shared<TBodyBudget>(limits.MaxBodiesInFlight);
    const qint64 maxBody = limits.MaxBody;
    server.RegisterRequest(MessageType::Message, [&router, &lang, budget, maxBody](TRequestContext& c) {
        std::optional<TBroadcastData> record = DecodeMessageHeader(c.Header, lang);
        if (!record) return;
        qint32 length = 0;
        if (c.Reader.ReadLength(&length, c.StallMs) != TRequestReader::rrOk) return;
        if (length < 0 || length > maxBody) return;
        const TBudgetHold hold(*budget, length);
        if (!hold) return;
        QByteArray body;
        const auto append = [&body](const char* data, qint64 size) {
            body.append(data, size);
            return true;
        };
        // A connection closed before the whole body came posts nothing.
        if (c.Reader.ReadInto(length, append, c.StallMs) != TRequestReader::rrOk) return;
        record->Body = std::move(body);
        record->IPAddress = c.PeerAddress;
        record->ReceivedTime = Now();
        // Not taken: the sender is told by a reset, not an orderly close.
        if (!router.PostFrom(c.PeerAddress, WM_PEER_MESSAGE, 0, 0, TPeerMessage{std::move(*record)})) c.Refused = true;
    });

    auto broadcasts = std::make_shared<TSourceRate>(limits.BroadcastsPerSecond, limits.BroadcastBurst);
    server.Dispatcher().Register(MessageType::Broadcast, PostDatagram<TPeerBroadcast>(router, lang, DecodeBroadcast,
                                                                                      WM_PEER_BROADCAST, 0, broadcasts));
    server.Dispatcher().Register(MessageType::Refuse,
                                 PostDatagram<TPeerRefusal>(router, lang, DecodeRefuse, WM_PEER_MESSAGE, 1));
    return broadcasts;
}
