// The group side of the online list: tree order, group commands and
// dragging rows. Row bookkeeping of users coming and going is in
// OnlineUserModelUnit.cpp.
#include "presence/OnlineUserModelUnit.h"

#include "presence/UserGroupUnit.h"

namespace {
bool Same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }
} // namespace

Qt::ItemFlags TOnlineUserModel::flags(const QModelIndex& index) const {
    const TUserNodeData* node = NodeData(index);
    if (!node) return Qt::ItemIsDropEnabled;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    if (!node->IsGroup || !node->IsFavorite) result |= Qt::ItemIsDragEnabled;
    return result;
}

int TOnlineUserModel::TreeIndex(const QModelIndex& row) const {
    const TGroupRow* group = GroupOf(row);
    if (!group || !NodeData(row)) return -1;
    const int groupRow = GroupRowOf(group);
    int result = 0;
    for (int g = 0; g < groupRow; ++g) result += 1 + int(FGroups[g]->Users.size());
    return row.internalId() == 0 ? result : result + 1 + row.row();
}

QModelIndex TOnlineUserModel::TreeRow(int treeIndex) const {
    if (treeIndex < 0) return {};
    for (size_t g = 0; g < FGroups.size(); ++g) {
        if (treeIndex == 0) return GroupIndex(int(g));
        const int users = int(FGroups[g]->Users.size());
        if (treeIndex <= users) return index(treeIndex - 1, 0, GroupIndex(int(g)));
        treeIndex -= 1 + users;
    }
    return {};
}

QModelIndex TOnlineUserModel::RowBefore(const QModelIndex& row) const {
    const TUserNodeData* node = NodeData(row);
    if (!node) return {};
    if (!node->IsGroup) return row.row() > 0 ? index(row.row() - 1, 0, row.parent()) : row.parent();
    if (row.row() == 0) return {};
    const QModelIndex previous = GroupIndex(row.row() - 1);
    const int users = rowCount(previous);
    return users > 0 ? index(users - 1, 0, previous) : previous;
}

void TOnlineUserModel::SaveUserPositions(int groupRow) {
    if (groupRow < 0 || groupRow >= int(FGroups.size())) return;
    QStringList keys;
    for (const auto& user : FGroups[groupRow]->Users) keys << UserKey(user->ComputerName, user->UserId);
    FStore.SaveUserPositions(keys);
}

void TOnlineUserModel::SaveGroupPositions() {
    // Every named group, not only the ones just touched: positions that
    // were left alone would restore another order at the next start.
    for (size_t g = 0; g < FGroups.size(); ++g)
        if (!FGroups[g]->Data.IsFavorite) FStore.SetGroupPosition(int(g), FGroups[g]->Data.GroupName);
}

QModelIndex TOnlineUserModel::AddGroup(const QString& name) {
    if (FGroups.empty()) LoadGroupNodes(false);
    if (!TUserGroup::IsValidGroupName(name) || FindGroup(name).isValid() || !FStore.AddGroup(name)) return {};
    AddGroupRow(name, false);
    // Deleted groups leave gaps in the stored positions; the new row's
    // index alone could sort it above groups shown before it.
    SaveGroupPositions();
    const int row = int(FGroups.size()) - 1;
    UpdateGroupCaption(row);
    return GroupIndex(row);
}

bool TOnlineUserModel::RenameGroup(const QModelIndex& group, const QString& newName) {
    TUserNodeData* node = NodeData(group);
    if (!node || !node->IsGroup || node->IsFavorite || !TUserGroup::IsValidGroupName(newName)) return false;
    // Another row of that name (Favorite Contacts in the current language included).
    const QModelIndex other = FindGroup(newName);
    if (other.isValid() && other != group) return false;
    if (!FStore.RenameGroup(node->GroupName, newName)) return false;
    TGroupRow& row = *FGroups[group.row()];
    row.Data.GroupName = newName;
    for (auto& user : row.Users) user->GroupName = newName;
    UpdateGroupCaption(group.row());
    if (!row.Users.empty()) emit dataChanged(index(0, 0, group), index(int(row.Users.size()) - 1, 0, group));
    return true;
}

TDeleteGroupResult TOnlineUserModel::DeleteGroup(const QModelIndex& group) {
    const TUserNodeData* node = NodeData(group);
    if (!node || !node->IsGroup || node->IsFavorite) return dgRefused;
    if (!FGroups[group.row()]->Users.empty()) return dgNotEmpty;
    FStore.DeleteGroup(node->GroupName);
    const int row = group.row();
    beginRemoveRows({}, row, row);
    FGroups.erase(FGroups.begin() + row);
    endRemoveRows();
    return dgDeleted;
}

void TOnlineUserModel::MoveGroupRow(int from, int before) {
    if (before == from || before == from + 1) return;
    beginMoveRows({}, from, from, {}, before);
    auto moved = std::move(FGroups[from]);
    FGroups.erase(FGroups.begin() + from);
    FGroups.insert(FGroups.begin() + (before > from ? before - 1 : before), std::move(moved));
    endMoveRows();
}

void TOnlineUserModel::MoveUserRow(TGroupRow* from, int fromRow, TGroupRow* to, int before) {
    if (from == to && (before == fromRow || before == fromRow + 1)) return;
    const QModelIndex fromParent = GroupIndex(GroupRowOf(from));
    const QModelIndex toParent = GroupIndex(GroupRowOf(to));
    if (!beginMoveRows(fromParent, fromRow, fromRow, toParent, before)) return;
    auto moved = std::move(from->Users[fromRow]);
    from->Users.erase(from->Users.begin() + fromRow);
    if (from == to && before > fromRow) --before;
    to->Users.insert(to->Users.begin() + before, std::move(moved));
    endMoveRows();
}

void TOnlineUserModel::MoveUserToOtherGroup(TUserNodeData& user, TGroupRow* from, int fromRow, TGroupRow* to,
                                            int before) {
    MoveUserRow(from, fromRow, to, before);
    const int oldGroupRow = GroupRowOf(from);
    const int newGroupRow = GroupRowOf(to);
    const TUserNodeData& target = FGroups[newGroupRow]->Data;
    user.GroupName = target.GroupName;
    user.IsFavorite = target.IsFavorite;
    UpdateGroupCaption(oldGroupRow);
    UpdateGroupCaption(newGroupRow);
    // Favorite Contacts is stored under its name in the store's language,
    // the name GetUserGroup falls back to.
    FStore.SetUserGroup(UserKey(user.ComputerName, user.UserId), target.IsFavorite ? FStore.FavoriteName() : target.GroupName);
    SaveUserPositions(oldGroupRow);
    SaveUserPositions(newGroupRow);
}

bool TOnlineUserModel::MoveUserToGroup(const QModelIndex& user, const QModelIndex& group) {
    TUserNodeData* node = NodeData(user);
    const TUserNodeData* target = NodeData(group);
    if (!node || node->IsGroup || !target || !target->IsGroup) return false;
    TGroupRow* from = GroupOf(user);
    TGroupRow* to = GroupOf(group);
    if (from == to) return false;
    MoveUserToOtherGroup(*node, from, user.row(), to, 0);
    return true;
}

QList<TMoveTarget> TOnlineUserModel::MoveToGroupTargets(const QModelIndex& user) const {
    QList<TMoveTarget> targets;
    const TUserNodeData* node = NodeData(user);
    if (!node || node->IsGroup) return targets;
    for (int g = int(FGroups.size()) - 1; g >= 0; --g) {
        const TUserNodeData& group = FGroups[g]->Data;
        if (Same(group.GroupName, node->GroupName)) continue;
        if (node->IsFavorite && g == 0) continue;
        targets.append({group.GroupName, TreeIndex(GroupIndex(g))});
    }
    return targets;
}

bool TOnlineUserModel::CanDrop(const QModelIndex& dragged, const QModelIndex& target) const {
    const TUserNodeData* from = NodeData(dragged);
    const TUserNodeData* onto = NodeData(target);
    if (!from || !onto || dragged == target) return false;
    if (from->IsGroup) return !from->IsFavorite && onto->IsGroup && !onto->IsFavorite;
    if (onto->IsGroup) return GroupOf(target) != GroupOf(dragged);
    return true;
}

void TOnlineUserModel::Reorder(const QModelIndex& dragged, const QModelIndex& target) {
    // P, the row just above the target, being the dragged row means the
    // dragged row already stands right above it: the two swap.
    const bool swap = RowBefore(target) == dragged;
    const QModelIndex moving = swap ? target : dragged;
    const int before = swap ? dragged.row() : target.row();
    if (NodeData(dragged)->IsGroup)
        MoveGroupRow(moving.row(), before);
    else
        MoveUserRow(GroupOf(moving), moving.row(), GroupOf(moving), before);
}

bool TOnlineUserModel::Drop(const QModelIndex& dragged, const QModelIndex& target) {
    if (!CanDrop(dragged, target)) return false;
    TUserNodeData* from = NodeData(dragged);
    const TUserNodeData* onto = NodeData(target);
    if (!from->IsGroup && onto->IsGroup) return MoveUserToGroup(dragged, target);
    if (from->IsGroup) {
        Reorder(dragged, target);
        SaveGroupPositions();
        return true;
    }
    TGroupRow* oldGroup = GroupOf(dragged);
    TGroupRow* newGroup = GroupOf(target);
    if (oldGroup == newGroup) {
        Reorder(dragged, target);
        SaveUserPositions(GroupRowOf(oldGroup));
        return true;
    }
    MoveUserToOtherGroup(*from, oldGroup, dragged.row(), newGroup, target.row());
    return true;
}
