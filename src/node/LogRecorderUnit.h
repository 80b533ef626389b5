#pragma once

#include "chatlog/ChatLogTypesUnit.h"

#include <QObject>
#include <functional>

class TChatService;
class TMessageLang;
class TTransferService;

// The one writer of chat-log records: what the chat and transfer services
// sent or received becomes a record, whichever front end started it. The node
// connects it before anybody else, so a record is queued before any window
// shows the item.
class TLogRecorder : public QObject {
    Q_OBJECT
public:
    using TSink = std::function<void(TLogRecord)>;
    // sink: where records go (TChatLog::AddLogRecord); lang: this node's language.
    TLogRecorder(TSink sink, const TMessageLang& lang, QObject* parent = nullptr);

    void Connect(TChatService& chat);
    void Connect(TTransferService& transfer);

private:
    void Add(TLogRecord record);

    TSink FSink;
    const TMessageLang& FLang;
};
