#pragma once

#include "protocol/EnvelopeUnit.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

class TCommClient;
class TCommLocal;
class TEventRouter;
class TMessageLang;

// What the receiver knows about this node while it listens (a snapshot taken
// when listening starts: the receiver threads never read live settings).
struct TListenerIdentity {
    QString UserId;
    QString ComputerName;
};

// Everything a datagram handler may use.
struct TDatagramContext {
    const TEnvelope& Envelope;
    QString SourceAddress;
};

// Turns datagrams into events posted through the router (or automatic
// replies), one after another on the receiver's thread. Unknown types and
// malformed datagrams are dropped without a word.
class TDatagramDispatcher {
public:
    using THandler = std::function<void(const TDatagramContext&)>;

    TDatagramDispatcher(TEventRouter& router, TListenerIdentity self, const TCommLocal& local, const TMessageLang& lang,
                        const TCommClient& client);

    // Handles one datagram; false when it was dropped (too long, no tab, bad
    // field 1, unknown type, or its handler refused it).
    bool Dispatch(const QByteArray& datagram, const QString& sourceAddress) const;
    // Other message families register their handlers beside the presence ones.
    void Register(const char* type, THandler handler);

private:
    void RegisterPresenceHandlers();

    TEventRouter& FRouter;
    TListenerIdentity FSelf;
    const TCommLocal& FLocal;
    const TMessageLang& FLang;
    const TCommClient& FClient;
    QHash<QByteArray, THandler> FHandlers; // upper-case type -> handler
};
