#pragma once

#include "core/OnlineStateValueUnit.h"
#include "platform/NetInterfacesUnit.h"

#include <QList>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>
#include <atomic>

class TApplicationParams;
class TUserInterfaceLang;

// The local state the protocol consults when it answers other nodes, and the
// decisions that depend on it: online state, automatic replies, which of a
// peer's addresses to use, where to broadcast, which update files to offer.
class TCommLocal {
public:
    // At most this many IPv4 entries of the system's list are looked at.
    static constexpr int MaxInterfaceEntries = 10;

    // programFolder holds Update.ini; versionText is this node's "%d.%d.%d.%d";
    // lang translates the auto-reply label (null: the process-wide table).
    TCommLocal(TApplicationParams& params, QString programFolder, QString versionText,
               const TUserInterfaceLang* lang = nullptr);
    TCommLocal(const TCommLocal&) = delete;
    TCommLocal& operator=(const TCommLocal&) = delete;


    // Written on the main thread, read by the receiver and sender threads.
    TOnlineState OnlineState() const { return FOnlineState.load(std::memory_order_relaxed); }
    void SetOnlineState(TOnlineState state) { FOnlineState.store(state, std::memory_order_relaxed); }

    // Whether an automatic reply is due in the current state; text gets the
    // reply ("[Auto-reply Message]: content") in Busy and Away even when the
    // result is false, and is empty when Online.
    bool GetAutoReply(QString* text) const;

    // senderInterfaces: the peer's "address=mask" lines (CR LF or LF). Gives
    // the first peer address that shares a non-zero network with one of the
    // local interfaces.
    bool PickSameSubnetAddress(const QString& senderInterfaces, QString* address) const;

    // The ticked ("+") addresses of the UDPBroadcastIPList setting, in order.
    bool GetBroadcastList(QStringList* list) const;

    // The files offered to a peer running peerVersion: the values of the
    // section "<own version>_<peer version>" of Update.ini, then "Update.ini",
    // each line followed by CR LF. Empty when nothing is offered.
    QString GetUpdateFileList(const QString& peerVersion) const;

    // This computer's "address=mask" lines. Set once before listening starts.
    QStringList LocalInterfaces() const;
    void SetLocalInterfaces(QStringList lines);
    // Every line followed by CR LF, as announced to peers; empty when none.
    QString LocalInterfacesText() const;

    // The system's usable interfaces as "address=mask" lines.
    static QStringList EnumerateInterfaces();
    // The rule behind EnumerateInterfaces: of the first MaxInterfaceEntries
    // entries, those that are up, not loopback and carry dotted quads.
    static QStringList InterfaceLines(const QList<TNetInterfaceEntry>& entries);

    const QString& ProgramFolder() const { return FProgramFolder; }
    const QString& VersionText() const { return FVersionText; }

private:

    TApplicationParams& FParams;
    QString FProgramFolder;
    QString FVersionText;
    const TUserInterfaceLang* FLang;
    std::atomic<TOnlineState> FOnlineState{TOnlineState::Online};
    mutable QReadWriteLock FInterfacesLock;
    QStringList FLocalInterfaces;
};
