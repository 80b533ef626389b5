#pragma once

#include "chatlog/ChatLogTypesUnit.h"
#include "messaging/ChatContentUnit.h"
#include "protocol/CommConstsUnit.h"

struct TBroadcastResult;
struct TSendMessageResult;
class TMessageLang;
class TUserInterfaceLang;

// The chat-log records of the chat service's traffic, built from the records
// its signals carry so that every front end logs the same.
namespace ChatLogRecords {

// A received message, refusal or broadcast; logged in the sender's code page.
TLogRecord Received(const TBroadcastData& record, TChatKind kind, const TMessageLang& lang);
// A message job that reached at least one recipient: one single record for one
// recipient, one group record naming those reached for several. nullopt when
// nobody was reached.
std::optional<TLogRecord> SentMessage(const TSendMessageResult& result, qint16 languageId);
// A broadcast that went out, in this node's code page; nullopt when it did not.
// Its addressee is "All(Broadcast)" in the interface language (ui, or the
// process-wide table when null), as the log shows it.
std::optional<TLogRecord> SentBroadcast(const TBroadcastResult& result, const TMessageLang& lang,
                                        const TUserInterfaceLang* ui = nullptr);

} // namespace ChatLogRecords
