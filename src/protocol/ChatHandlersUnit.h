#pragma once

#include "protocol/ChatCodecUnit.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

class TCommServer;
class TIntakeBudget;
class TSourceRate;
class TEventRouter;
class TMessageLang;

// What the listener lets chat traffic cost.
struct TChatListenLimits {
    // A longer body is refused with a reset, so that its sender is told.
    qint64 MaxBody = MaxReceivedChatBody;
    // Bytes of received messages, broadcasts and refusals held in memory at
    // once, until the chat log has stored them, in total and for one source
    // address (TIntakeBudget). A message that does not fit waits unread up to
    // ByteWaitMs, then ends with a reset. The total takes the largest body.
    qint64 MaxBodiesInFlight = MaxReceivedChatBody;
    qint64 SourceShareInFlight = 64ll * 1024 * 1024;
    // A body longer than SpoolAbove arrives into a temporary file in
    // SpoolFolder (empty: the system's), holding disk rather than memory for
    // as long as its sender takes; memory is taken once it is whole. Spooled
    // bytes have a budget of their own (MaxSpooled, a source's share
    // SourceShareSpooled), and a spool never leaves less than SpoolReserve
    // free on its disk.
    qint64 SpoolAbove = 4ll * 1024 * 1024;
    QString SpoolFolder;
    qint64 MaxSpooled = 1024ll * 1024 * 1024;
    qint64 SourceShareSpooled = MaxReceivedChatBody;
    qint64 SpoolReserve = 256ll * 1024 * 1024;
    int ByteWaitMs = 60 * 1000;
    // Broadcasts one source address may send: faster than anybody types,
    // sustained, they are dropped (and counted) before they cost anything more.
    double BroadcastsPerSecond = 5;
    int BroadcastBurst = 20;
    // Told the first time a source is over the broadcast rate (listener thread).
    std::function<void(const QString& source)> OnBroadcastThrottled;
};

// The listener's side of the chat messages: "QLM_MESSAGE" requests and the
// "QLM_BROADCAST" and "QLM_REFUSE" datagrams become WM_PEER_MESSAGE (wParam 0
// for a message, 1 for a refusal) and WM_PEER_BROADCAST, posted through the
// router as TPeerMessage, TPeerRefusal and TPeerBroadcast from their source
// address. Malformed ones are dropped without a word; a message too long, or
// that the budgets or the router do not admit, ends with a reset. Before listening starts; router and lang
// outlive the server. Returns what keeps the intake bounded, for its counters.
struct TChatIntake {
    std::shared_ptr<const TSourceRate> BroadcastRate;
    std::shared_ptr<const TIntakeBudget> Bytes;
    std::shared_ptr<const TIntakeBudget> Spooled;
};
TChatIntake RegisterChatHandlers(TCommServer& server, TEventRouter& router, const TMessageLang& lang,
                                 const TChatListenLimits& limits = {});
