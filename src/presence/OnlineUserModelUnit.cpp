#include "presence/OnlineUserModelUnit.h"

#include "core/TextFormatUnit.h"
#include "presence/UserGroupUnit.h"


namespace {
bool Same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }
constexpr quintptr kGroupLevel = 0;
} // namespace

TOnlineUserModel::TOnlineUserModel(TUserGroup& groups, TSelfIdentity self, QObject* parent)
    : QAbstractItemModel(parent), FStore(groups), FSelf(std::move(self)) {}

TOnlineUserModel::~TOnlineUserModel() = default;

QString TOnlineUserModel::UserKey(const QString& computerName, const QString& userId) { return computerName + userId; }

bool TOnlineUserModel::IsSelf(const QString& userId, const QString& computerName) const {
    return userId.isEmpty() ? Same(computerName, FSelf.ComputerName) : Same(userId, FSelf.UserId);
}

// Group rows carry no pointer; user rows point at their group.
QModelIndex TOnlineUserModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) return row < int(FGroups.size()) ? createIndex(row, 0, kGroupLevel) : QModelIndex();
    if (parent.internalId() != kGroupLevel || parent.row() >= int(FGroups.size())) return {};
    TGroupRow* group = FGroups[parent.row()].get();
    return row < int(group->Users.size()) ? createIndex(row, 0, group) : QModelIndex();
}

QModelIndex TOnlineUserModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kGroupLevel) return {};
    const int row = GroupRowOf(static_cast<const TGroupRow*>(child.internalPointer()));
    return row < 0 ? QModelIndex() : createIndex(row, 0, kGroupLevel);
}

int TOnlineUserModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return int(FGroups.size());
    if (parent.internalId() != kGroupLevel || parent.row() >= int(FGroups.size())) return 0;
    return int(FGroups[parent.row()]->Users.size());
}

int TOnlineUserModel::columnCount(const QModelIndex&) const { return 1; }

bool TOnlineUserModel::hasChildren(const QModelIndex& parent) const {
    // A group can be shown as expandable even while it is empty.
    return !parent.isValid() || parent.internalId() == kGroupLevel;
}

QVariant TOnlineUserModel::data(const QModelIndex& index, int role) const {
    const TUserNodeData* node = NodeData(index);
    if (!node) return {};
    if (role == Qt::DisplayRole) return node->IsGroup ? GroupCaption(index.row()) : node->NickName;
    if (role == Qt::ToolTipRole && !node->IsGroup) return node->ComputerName + QLatin1Char(' ') + node->IPAddress;
    return {};
}

int TOnlineUserModel::GroupRowOf(const TGroupRow* group) const {
    for (size_t i = 0; i < FGroups.size(); ++i)
        if (FGroups[i].get() == group) return int(i);
    return -1;
}

TOnlineUserModel::TGroupRow* TOnlineUserModel::GroupOf(const QModelIndex& index) const {
    if (!index.isValid()) return nullptr;
    if (index.internalId() == kGroupLevel)
        return index.row() < int(FGroups.size()) ? FGroups[index.row()].get() : nullptr;
    return static_cast<TGroupRow*>(index.internalPointer());
}

const TUserNodeData* TOnlineUserModel::NodeData(const QModelIndex& index) const {
    return const_cast<TOnlineUserModel*>(this)->NodeData(index);
}

TUserNodeData* TOnlineUserModel::NodeData(const QModelIndex& index) {
    if (!index.isValid() || index.model() != this) return nullptr;
    TGroupRow* group = GroupOf(index);
    if (!group) return nullptr;
    if (index.internalId() == kGroupLevel) return &group->Data;
    return index.row() < int(group->Users.size()) ? group->Users[index.row()].get() : nullptr;
}

QModelIndex TOnlineUserModel::FindGroup(const QString& name) const {
    for (size_t i = 0; i < FGroups.size(); ++i)
        if (Same(FGroups[i]->Data.GroupName, name)) return GroupIndex(int(i));
    return {};
}

QList<QModelIndex> TOnlineUserModel::UserIndexes() const {
    QList<QModelIndex> out;
    for (size_t g = 0; g < FGroups.size(); ++g)
        for (size_t u = 0; u < FGroups[g]->Users.size(); ++u) out << index(int(u), 0, GroupIndex(int(g)));
    return out;
}

void TOnlineUserModel::IndexUser(TUserNodeData* node) {
    if (node->UserId.isEmpty())
        ++FWithoutId;
    else
        FById.insert(node->UserId.toCaseFolded(), node);
}

void TOnlineUserModel::UnindexUser(TUserNodeData* node) {
    if (node->UserId.isEmpty())
        --FWithoutId;
    else
        FById.remove(node->UserId.toCaseFolded(), node);
}

QModelIndex TOnlineUserModel::RowOf(const QList<TUserNodeData*>& nodes, bool topDown) const {
    const int groups = int(FGroups.size());
    for (int i = 0; i < groups; ++i) {
        const int g = topDown ? i : groups - 1 - i;
        const auto& users = FGroups[g]->Users;
        const int count = int(users.size());
        for (int k = 0; k < count; ++k) {
            const int u = topDown ? k : count - 1 - k;
            if (nodes.contains(users[u].get())) return index(u, 0, GroupIndex(g));
        }
    }
    return {};
}

QModelIndex TOnlineUserModel::FindUserNode(const QString& userId, const QString& computerName, const QString& ipAddress) const {
    if (FWithoutId == 0) {
        // Only id rows: the index names the candidates, the lowest row wins.
        if (userId.isEmpty()) return {};
        const QList<TUserNodeData*> candidates = FById.values(userId.toCaseFolded());
        return candidates.isEmpty() ? QModelIndex() : RowOf(candidates, false);
    }
    // Bottom-up in display order: the lowest matching row wins.
    for (int g = int(FGroups.size()) - 1; g >= 0; --g) {
        const auto& users = FGroups[g]->Users;
        for (int u = int(users.size()) - 1; u >= 0; --u) {
            const TUserNodeData* node = users[u].get();
            const bool match = node->UserId.isEmpty()
                                   ? Same(node->ComputerName, computerName) && Same(node->IPAddress, ipAddress)
                                   : Same(node->UserId, userId);
            if (match) return index(u, 0, GroupIndex(g));
        }
    }
    return {};
}

void TOnlineUserModel::RowChanged(const QModelIndex& index) { emit dataChanged(index, index); }

void TOnlineUserModel::UpdateOrAddUser(bool announce, TUpdateKind kind, const TOnlineNotify& record) {
    const QModelIndex row = FindUserNode(record.UserId, record.ComputerName, record.IPAddress);
    if (!row.isValid()) {
        AddUserNode(announce, record);
        return;
    }
    TUserNodeData* node = NodeData(row);
    if (kind == ukNickname || kind == ukFull) node->NickName = record.NickName;
    if (kind == ukState || kind == ukFull) node->OnlineState = record.OnlineState;
    if (!Same(node->IPAddress, record.IPAddress)) node->IPAddress = record.IPAddress;
    node->Responding = true;
    node->LastSignalTime = Now();
    RowChanged(row);
}

QModelIndex TOnlineUserModel::AddUserNode(bool announce, const TOnlineNotify& record) {
    if (FGroups.empty()) LoadGroupNodes(false);
    const QString key = UserKey(record.ComputerName, record.UserId);
    const QString groupName = FStore.GetUserGroup(key);
    int parentRow = 0; // Favorite Contacts unless the stored group exists
    for (size_t i = 0; i < FGroups.size(); ++i)
        if (Same(FGroups[i]->Data.GroupName, groupName)) {
            parentRow = int(i);
            break;
        }
    TGroupRow& group = *FGroups[parentRow];

    int position = -1;
    int insertAt = int(group.Users.size());
    {
        // Released before the position is queued: the store's table then
        // changes in place instead of being copied for every new user.
        const QHash<QString, int> positions = FStore.ReadUserPositions();
        // One buffer for every row's key: placing compares with each row.
        QString rowKey;
        const auto positionOf = [&positions, &rowKey](const QString& computerName, const QString& userId) {
            rowKey.resize(0);
            rowKey.append(computerName).append(userId);
            rowKey = std::move(rowKey).toLower();
            return TUserGroup::IsValidUserKey(rowKey) ? positions.value(rowKey, -1) : -1;
        };
        position = positionOf(record.ComputerName, record.UserId);
        if (position != -1) {
            for (size_t i = 0; i < group.Users.size(); ++i) {
                const TUserNodeData& other = *group.Users[i];
                if (positionOf(other.ComputerName, other.UserId) > position) {
                    insertAt = int(i);
                    break;
                }
            }
        }
    }
    // Written with the other first-time users, not one file write each.
    if (position == -1) FStore.QueueUserPosition(insertAt, key);

    auto node = std::make_unique<TUserNodeData>();
    node->IsFavorite = group.Data.IsFavorite;
    node->GroupName = group.Data.GroupName;
    node->NickName = record.NickName;
    node->ComputerName = record.ComputerName;
    node->IPAddress = record.IPAddress;
    node->OnlineState = record.OnlineState;
    node->LastSignalTime = Now();
    node->Version = record.Version;
    node->UserId = record.UserId;
    node->IsSelf = IsSelf(record.UserId, record.ComputerName);

    const QModelIndex parentIndex = GroupIndex(parentRow);
    beginInsertRows(parentIndex, insertAt, insertAt);
    IndexUser(node.get());
    group.Users.insert(group.Users.begin() + insertAt, std::move(node));
    endInsertRows();
    UpdateGroupCaption(parentRow);

    const QModelIndex added = index(insertAt, 0, parentIndex);
    const TUserNodeData& data = *NodeData(added);
    if (data.IsSelf)
        emit SelfRowAdded();
    else if (announce)
        emit UserAnnounced(data);
    return added;
}

void TOnlineUserModel::DeleteUserNode(const QModelIndex& index) {
    TUserNodeData* node = NodeData(index);
    if (!node || node->IsGroup) return;
    emit UserRemoving(*node);
    TGroupRow* group = GroupOf(index);
    const int groupRow = GroupRowOf(group);
    beginRemoveRows(index.parent(), index.row(), index.row());
    UnindexUser(node);
    group->Users.erase(group->Users.begin() + index.row());
    endRemoveRows();
    UpdateGroupCaption(groupRow);
}

void TOnlineUserModel::ClearUserList() {
    // Last row first, as rows are taken off the bottom of the tree.
    for (int g = int(FGroups.size()) - 1; g >= 0; --g)
        for (int u = int(FGroups[g]->Users.size()) - 1; u >= 0; --u) DeleteUserNode(index(u, 0, GroupIndex(g)));
    beginResetModel();
    FGroups.clear();
    FById.clear();
    FWithoutId = 0;
    endResetModel();
}

void TOnlineUserModel::AddGroupRow(const QString& name, bool favorite) {
    auto group = std::make_unique<TGroupRow>();
    group->Data.IsGroup = true;
    group->Data.IsFavorite = favorite;
    group->Data.GroupName = name;
    group->Data.LastSignalTime = Now();
    const int row = int(FGroups.size());
    beginInsertRows({}, row, row);
    FGroups.push_back(std::move(group));
    endInsertRows();
}

void TOnlineUserModel::LoadGroupNodes(bool) {
    if (!FGroups.empty()) ClearUserList();
    AddGroupRow(FStore.FavoriteName(), true);
    for (const TStoredGroup& group : FStore.ReadGroupsInOrder()) AddGroupRow(group.Name, false);
}

QString TOnlineUserModel::GroupCaption(int groupRow) const {
    if (groupRow < 0 || groupRow >= int(FGroups.size())) return {};
    const TGroupRow& group = *FGroups[groupRow];
    return FormatText(QStringLiteral("%s [%d]"), {group.Data.GroupName, qint64(group.Users.size())});
}

void TOnlineUserModel::UpdateGroupCaption(int groupRow) {
    if (groupRow < 0 || groupRow >= int(FGroups.size())) return;
    RowChanged(GroupIndex(groupRow));
}

void TOnlineUserModel::SetFavoriteName(const QString& name) {
    if (FGroups.empty()) return;
    TGroupRow& favorite = *FGroups.front();
    favorite.Data.GroupName = name;
    for (auto& user : favorite.Users) user->GroupName = name;
    UpdateGroupCaption(0);
    if (!favorite.Users.empty())
        emit dataChanged(index(0, 0, GroupIndex(0)), index(int(favorite.Users.size()) - 1, 0, GroupIndex(0)));
}

std::optional<TRecipient> TOnlineUserModel::SelectedRecipient(const QModelIndex& selected) const {
    const TUserNodeData* node = NodeData(selected);
    if (!node || node->IsGroup) return std::nullopt;
    return TRecipient{node->NickName, node->ComputerName, node->IPAddress, QString(), node->UserId};
}

TRecipients TOnlineUserModel::CheckedRecipients() const {
    TRecipients out;
    const QList<QModelIndex> users = UserIndexes();
    for (auto it = users.crbegin(); it != users.crend(); ++it) {
        const TUserNodeData* node = NodeData(*it);
        if (node->Checked) out << TRecipient{node->NickName, node->ComputerName, node->IPAddress, QString(), node->UserId};
    }
    return out;
}

void TOnlineUserModel::SetChecked(const QModelIndex& index, bool checked) {
    TUserNodeData* node = NodeData(index);
    if (!node || node->IsGroup || node->Checked == checked) return;
    node->Checked = checked;
    RowChanged(index);
}

void TOnlineUserModel::CheckOnlineUsers(TCheckAction action) {
    for (const QModelIndex& row : UserIndexes()) {
        const TUserNodeData* node = NodeData(row);
        switch (action) {
        case TCheckAction::CheckAll: SetChecked(row, true); break;
        case TCheckAction::Invert: SetChecked(row, !node->Checked); break;
        case TCheckAction::CheckNone: SetChecked(row, false); break;
        }
    }
}

QStringList TOnlineUserModel::CheckSignalTick(qint64 minuteMs, int silenceMinutes) {
    QStringList addresses;
    const QDateTime now = Now();
    const QList<QModelIndex> users = UserIndexes();
    for (auto it = users.crbegin(); it != users.crend(); ++it) {
        TUserNodeData* node = NodeData(*it);
        if (IsSelf(node->UserId, node->ComputerName)) continue;
        addresses << node->IPAddress;
        const qint64 minutes = node->LastSignalTime.msecsTo(now) / qMax<qint64>(1, minuteMs);
        if (minutes >= silenceMinutes && node->Responding && !node->Version.isEmpty()) {
            node->Responding = false;
            RowChanged(*it);
        } else if (minutes < silenceMinutes && !node->Responding) {
            node->Responding = true;
            RowChanged(*it);
        }
    }
    return addresses;
}

void TOnlineUserModel::MarkSignal(const QString& userId) {
    if (userId.isEmpty()) return;
    const QList<TUserNodeData*> candidates = FById.values(userId.toCaseFolded());
    if (candidates.isEmpty()) return;
    // The first row in display order carrying the id.
    TUserNodeData* node = candidates.size() == 1 ? candidates.first() : NodeData(RowOf(candidates, true));
    if (node) node->LastSignalTime = Now();
}

std::optional<TUserNodeData> TOnlineUserModel::RemoveUser(const TOnlineNotify& record) {
    const QModelIndex row = FindUserNode(record.UserId, record.ComputerName, record.IPAddress);
    if (!row.isValid()) return std::nullopt;
    TUserNodeData removed = *NodeData(row);
    DeleteUserNode(row);
    return removed;
}
