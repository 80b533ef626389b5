#pragma once
// Small builders shared by the presence tests (engine and widget).

#include "presence/OnlineStateUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "protocol/CommLocalUnit.h"

#include <QList>
#include <QModelIndex>
#include <QStringList>

// A peer whose other fields follow from the nickname: "PC-nick", "{nick}".
inline TOnlineNotify NamedPeer(const QString& nick) {
    TOnlineNotify n;
    n.NickName = nick;
    n.ComputerName = QStringLiteral("PC-") + nick;
    n.IPAddress = QStringLiteral("10.0.0.1");
    n.UserId = QStringLiteral("{") + nick + QLatin1Char('}');
    n.Version = QStringLiteral("1.0.0.1");
    return n;
}

// The groups file's key of NamedPeer(nick).
inline QString NamedPeerKey(const QString& nick) {
    return TOnlineUserModel::UserKey(QStringLiteral("PC-") + nick, QStringLiteral("{") + nick + QLatin1Char('}'));
}

inline QModelIndex UserByNick(const TOnlineUserModel& model, const char* nick) {
    for (const QModelIndex& user : model.UserIndexes())
        if (model.NodeData(user)->NickName == QLatin1String(nick)) return user;
    return {};
}

// The nicknames of one group's user rows, top to bottom.
inline QStringList NicksInGroup(const TOnlineUserModel& model, int groupRow) {
    QStringList nicks;
    const QModelIndex group = model.index(groupRow, 0);
    for (int row = 0; row < model.rowCount(group); ++row) nicks << model.NodeData(model.index(row, 0, group))->NickName;
    return nicks;
}

// Records what would have gone to the listed users; the state itself lives in
// a real TCommLocal over the test's own settings.
class TSpyAnnouncer : public TOnlineStateAnnouncer {
public:
    explicit TSpyAnnouncer(TCommLocal& local) : FLocal(local) {}
    TOnlineState CurrentState() const override { return FLocal.OnlineState(); }
    bool SwitchOnlineState(TOnlineState state) override {
        if (state == FLocal.OnlineState()) return false;
        FLocal.SetOnlineState(state);
        Sent << state;
        return true;
    }
    QList<TOnlineState> Sent;

private:
    TCommLocal& FLocal;
};
