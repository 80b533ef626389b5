#pragma once

#include "protocol/ChatCodecUnit.h"

#include <QtGlobal>

class TCommServer;
class TEventRouter;
class TMessageLang;

// What the listener lets chat traffic cost.
struct TChatListenLimits {
    qint64 MaxBody = MaxChatBody;
    // Bodies of all "QLM_MESSAGE" requests being read at once; a request
    // whose announced length does not fit any more is dropped, so many
    // large messages at the same moment cannot exhaust memory.
    qint64 MaxBodiesInFlight = 256ll * 1024 * 1024;
};

// The listener's side of the chat messages: "QLM_MESSAGE" requests and the
// "QLM_BROADCAST" and "QLM_REFUSE" datagrams become WM_PEER_MESSAGE (wParam 0
// for a message, 1 for a refusal) and WM_PEER_BROADCAST, posted through the
// router with a TBroadcastData. Malformed ones are dropped without a word.
// Before listening starts; router and lang outlive the server.
void RegisterChatHandlers(TCommServer& server, TEventRouter& router, const TMessageLang& lang,
                          const TChatListenLimits& limits = {});
