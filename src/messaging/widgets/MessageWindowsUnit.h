#pragma once

#include "messaging/widgets/ChatFormListUnit.h"
#include "messaging/widgets/NewMsgUnit.h"

#include <QHash>
#include <QObject>
#include <QPointer>

// The message windows of one desktop: opens them with the services they use,
// keeps the chat window of each peer and the windows of which only one may
// be open (the broadcast, a user's message window), and finds them by type.
class TMessageWindows : public QObject {
    Q_OBJECT
public:
    explicit TMessageWindows(TMsgFormContext context, QObject* parent = nullptr);
    ~TMessageWindows() override;

    // Opens a message window, or brings forward the one that already serves
    // the same target when several are not allowed. timeText and content are
    // used by read windows only: the received time as text and the received
    // body (RTF, or plain text for a broadcast, decoded by languageId; 0: this
    // node's language). Returns the window, or nullptr when none was opened.
    TNewMsgForm* Open(bool sendMode, bool broadcastMode, bool useNickname, const TRecipients& recipients,
                      const QString& timeText = {}, const QByteArray& content = {}, qint16 languageId = 0);

    // Appends an incoming message to the open chat window of its sender (by
    // SameSender, as the queue hands messages over); false when there is none.
    bool ShowInChatWindow(const TBroadcastData& record);
    // The chat window of a peer (UserKey, no case), or nullptr.
    TNewMsgForm* ChatWindow(const QString& userKey) const;
    const TChatFormList& ChatList() const { return FChats; }
    const TMsgFormContext& Context() const { return FContext; }

    // Closes every window (tests; the desktop at exit).
    void CloseAll();

private:
    void Track(TNewMsgForm* form, quint32 handle, const QString& singleKey);
    void ChatEntryChanged(TNewMsgForm* form, quint32 handle);

    TMsgFormContext FContext;
    TChatFormList FChats;                             // peer -> handle of its chat window
    QHash<quint32, QPointer<TNewMsgForm>> FWindows;   // every open window by handle
    QHash<QString, QPointer<TNewMsgForm>> FSingles;   // the one window of a target, by its class name
};
