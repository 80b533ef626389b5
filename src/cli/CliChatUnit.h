#pragma once

#include "core/OnlineStateValueUnit.h"

#include <QJsonObject>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <optional>

class TNode;

// "send" and "broadcast"; nullopt when command is neither, else the exit
// status (0 sent, 1 nobody reached or refused, 2 bad usage).
std::optional<int> RunChatCommand(const QString& command, const QStringList& arguments, QTextStream& out,
                                  QTextStream& err);

// What "listen" takes for chat: --state online|busy|away.
struct TChatListenOptions {
    std::optional<TOnlineState> State;
    // Bodies and texts printed whole; else cut at PrintedBodyChars, so that a
    // peer's huge message does not hold the node's thread for seconds.
    bool FullBodies = false;
    static constexpr qsizetype PrintedBodyChars = 256 * 1024;
};
// Removes the chat options from args; returns an error text or empty.
QString TakeChatListenOptions(QStringList& args, TChatListenOptions* options);

// Prints every message, refusal and broadcast the node handles (and the
// messages it answered automatically) through print(json object, plain line),
// and starts the node in the asked state.
using TCliPrint = std::function<void(const QJsonObject& object, const QString& plain)>;
void AttachChatListen(TNode& node, const TChatListenOptions& options, TCliPrint print);
