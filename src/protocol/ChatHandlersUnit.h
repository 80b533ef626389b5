#pragma once

#include "protocol/ChatCodecUnit.h"

#include <QtGlobal>
#include <memory>

class TCommServer;
class TSourceRate;
class TEventRouter;
class TMessageLang;

// What the listener lets chat traffic cost.
struct TChatListenLimits {
    qint64 MaxBody = MaxChatBody;
    // Bodies of all "QLM_MESSAGE" requests being read at once; a request
    // whose announced length does not fit any more is dropped, so many
    // large messages at the same moment cannot exhaust memory.
    qint64 MaxBodiesInFlight = 256ll * 1024 * 1024;
    // Broadcasts one source address may send: faster than anybody types,
    // sustained, they are dropped (and counted) before they cost anything more.
    double BroadcastsPerSecond = 5;
    int BroadcastBurst = 20;
};

// The listener's side of the chat messages: "QLM_MESSAGE" requests and the
// "QLM_BROADCAST" and "QLM_REFUSE" datagrams become WM_PEER_MESSAGE (wParam 0
// for a message, 1 for a refusal) and WM_PEER_BROADCAST, posted through the
// router as TPeerMessage, TPeerRefusal and TPeerBroadcast from their source
// address. Malformed ones are dropped without a word; a message the router
// does not admit ends with a reset. Before listening starts; router and lang
// outlive the server. Returns the broadcasts' rate per source (its counters).
std::shared_ptr<const TSourceRate> RegisterChatHandlers(TCommServer& server, TEventRouter& router,
                                                        const TMessageLang& lang, const TChatListenLimits& limits = {});
