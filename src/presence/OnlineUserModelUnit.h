#pragma once

#include "protocol/CommConstsUnit.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QDateTime>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TUserGroup;

// One row of the online list: a group row or a user row.
struct TUserNodeData {
    bool IsGroup = false;
    bool IsFavorite = false;
    bool IsSelf = false;
    bool Checked = false;
    QString GroupName;
    QString NickName;
    QString ComputerName;
    QString IPAddress;
    qint32 OnlineState = 0; // as the peer sent it; OnlineStateFromWire reads it
    QDateTime LastSignalTime;
    bool Responding = true;
    QString Version;
    QString UserId;
};

// How UpdateOrAddUser changes a known user.
enum TUpdateKind { ukNickname = 0, ukState = 1, ukFull = 2 };

// A group the selected user can be moved to: its name and its row's index
// in the whole tree, user rows counted (TreeIndex).
struct TMoveTarget {
    QString Name;
    int TreeIndex = -1;
};

// What CheckOnlineUsers does to every user row's tick.
enum class TCheckAction { CheckAll, Invert, CheckNone };

// Outcome of deleting a group row.
enum TDeleteGroupResult { dgDeleted, dgNotEmpty, dgRefused };

// Who this node is, for the IsSelf rule.
struct TSelfIdentity {
    QString UserId;
    QString ComputerName;
};

// The online user list: group rows at the top level (row 0 Favorite
// Contacts), user rows below them. The only store of who is online; main
// thread only. Groups and positions come from the groups store.
class TOnlineUserModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum TRole { NodeDataRole = Qt::UserRole + 1 };
    using TClock = std::function<QDateTime()>;

    TOnlineUserModel(TUserGroup& groups, TSelfIdentity self, QObject* parent = nullptr);
    ~TOnlineUserModel() override;

    void SetClock(TClock clock) { FClock = std::move(clock); }
    void SetSelf(TSelfIdentity self) { FSelf = std::move(self); }
    const TSelfIdentity& Self() const { return FSelf; }

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    // Users and named groups can be dragged; Favorite Contacts cannot.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const TUserNodeData* NodeData(const QModelIndex& index) const;
    TUserNodeData* NodeData(const QModelIndex& index);
    int GroupCount() const { return int(FGroups.size()); }
    QModelIndex GroupIndex(int groupRow) const { return index(groupRow, 0); }
    QModelIndex FindGroup(const QString& name) const;
    // Every user row from the first to the last.
    QList<QModelIndex> UserIndexes() const;

    QModelIndex FindUserNode(const QString& userId, const QString& computerName, const QString& ipAddress) const;
    void UpdateOrAddUser(bool announce, TUpdateKind kind, const TOnlineNotify& record);
    QModelIndex AddUserNode(bool announce, const TOnlineNotify& record);
    void DeleteUserNode(const QModelIndex& index);
    void ClearUserList();
    // Favorite Contacts and the stored groups in their stored order.
    void LoadGroupNodes(bool firstTime);
    void UpdateGroupCaption(int groupRow);
    QString GroupCaption(int groupRow) const;
    // Row 0's name follows the interface language.
    void SetFavoriteName(const QString& name);

    static QString UserKey(const QString& computerName, const QString& userId);
    bool IsSelf(const QString& userId, const QString& computerName) const;

    std::optional<TRecipient> SelectedRecipient(const QModelIndex& selected) const;
    // Ticked users from the last row to the first.
    TRecipients CheckedRecipients() const;
    void CheckOnlineUsers(TCheckAction action);
    void SetChecked(const QModelIndex& index, bool checked);

    // Rows in full tree order: each group followed by its users, expanded or not.
    int TreeIndex(const QModelIndex& index) const;
    QModelIndex TreeRow(int treeIndex) const;
    // The row immediately before index in full tree order (invalid for row 0).
    QModelIndex RowBefore(const QModelIndex& index) const;
    // Stores every user row of the group with its index within the group.
    void SaveUserPositions(int groupRow);

    // Group commands. Names are stored as given: the caller trims them; a
    // name the groups store refuses (blank, padded, taken) changes nothing.
    // AddGroup appends the row after the last group and returns it.
    QModelIndex AddGroup(const QString& name);
    bool RenameGroup(const QModelIndex& group, const QString& newName);
    // Only an empty named group goes.
    TDeleteGroupResult DeleteGroup(const QModelIndex& group);
    // The user becomes the first user row of the group; stored at once.
    bool MoveUserToGroup(const QModelIndex& user, const QModelIndex& group);
    // The "Move to Group" items for a user row: lowest group first, without
    // the user's own group and, for a user in Favorite Contacts, without it.
    QList<TMoveTarget> MoveToGroupTargets(const QModelIndex& user) const;

    // Dragging inside the list: whether dragged may be dropped onto target,
    // and the drop itself (false when refused).
    bool CanDrop(const QModelIndex& dragged, const QModelIndex& target) const;
    bool Drop(const QModelIndex& dragged, const QModelIndex& target);

    // The periodic check: updates Responding by whole minutes of silence
    // (minuteMs long, silenceMinutes or more: not responding; peers without
    // version never marked) and returns the addresses to ask, last row first,
    // own row left out.
    QStringList CheckSignalTick(qint64 minuteMs = 60000, int silenceMinutes = 5);
    // A check reply: the row with that id was seen now.
    void MarkSignal(const QString& userId);
    // Logoff: removes the user; returns its display data when it was listed.
    std::optional<TUserNodeData> RemoveUser(const TOnlineNotify& record);

signals:
    // A user came online and should be announced ("%s Online", sound).
    void UserAnnounced(const TUserNodeData& user);
    // The own row was added: the header shows the own state now.
    void SelfRowAdded();
    // A user row is about to go (the windows about it close).
    void UserRemoving(const TUserNodeData& user);

private:
    struct TGroupRow {
        TUserNodeData Data;
        std::vector<std::unique_ptr<TUserNodeData>> Users;
    };
    int GroupRowOf(const TGroupRow* group) const;
    TGroupRow* GroupOf(const QModelIndex& index) const;
    void AddGroupRow(const QString& name, bool favorite);
    QDateTime Now() const { return FClock ? FClock() : QDateTime::currentDateTime(); }
    void RowChanged(const QModelIndex& index);
    // Same-parent moves; no-ops when the row already stands there.
    void MoveGroupRow(int from, int before);
    void MoveUserRow(TGroupRow* from, int fromRow, TGroupRow* to, int before);
    // The row-order rule of drops onto a row of the same kind and parent.
    void Reorder(const QModelIndex& dragged, const QModelIndex& target);
    // Moves a user row into another group: its data, both captions, the store
    // and the stored positions of both groups follow.
    void MoveUserToOtherGroup(TUserNodeData& user, TGroupRow* from, int fromRow, TGroupRow* to, int before);
    void SaveGroupPositions();

    // Rows by case-folded user id, so a peer's datagram finds its row without
    // comparing every row's id (thousands of peers, a datagram each).
    void IndexUser(TUserNodeData* node);
    void UnindexUser(TUserNodeData* node);
    // The row of the first of nodes met, scanning bottom-up (topDown: from the top).
    QModelIndex RowOf(const QList<TUserNodeData*>& nodes, bool topDown) const;

    TUserGroup& FStore;
    TSelfIdentity FSelf;
    TClock FClock;
    std::vector<std::unique_ptr<TGroupRow>> FGroups;
    QMultiHash<QString, TUserNodeData*> FById;
    int FWithoutId = 0; // rows matched by computer name and address instead
};
