// Group commands and dragging in the online list: row order, captions, and
// what UserGroup.ini keeps (checked by building the list again from it).
#include "presence/OnlineUserModelUnit.h"
#include "presence/UserGroupUnit.h"
#include "support/TestSupport.h"
#include "support/PresenceFixtures.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <ostream>

namespace {

// "Favorite Contacts [2]: f1 f2 | Sales [4]: s1 s2 s3 s4 | ..." in full tree order.
QString Layout(const TOnlineUserModel& model) {
    QStringList groups;
    for (int g = 0; g < model.rowCount(); ++g) {
        const QModelIndex group = model.index(g, 0);
        QString text = model.data(group).toString();
        if (model.rowCount(group) > 0) text += QLatin1Char(':');
        for (int u = 0; u < model.rowCount(group); ++u) text += QLatin1Char(' ') + model.NodeData(model.index(u, 0, group))->NickName;
        groups << text;
    }
    return groups.join(QStringLiteral(" | "));
}

// Favorite Contacts: f1 f2; Sales: s1..s4; Support: p1; Empty; Tail.
class OnlineUserGroups : public ::testing::Test {
protected:
    OnlineUserGroups() {
        int position = 1;
        for (const char* name : {"Sales", "Support", "Empty", "Tail"}) {
            Groups.AddGroup(QString::fromLatin1(name));
            Groups.SetGroupPosition(position++, QString::fromLatin1(name));
        }
        for (const char* nick : {"s1", "s2", "s3", "s4"}) Groups.SetUserGroup(NamedPeerKey(QString::fromLatin1(nick)), QStringLiteral("Sales"));
        Groups.SetUserGroup(NamedPeerKey(QStringLiteral("p1")), QStringLiteral("Support"));
        Model.LoadGroupNodes(true);
        for (const QString& nick : Nicks) Model.AddUserNode(false, NamedPeer(nick));
    }

    QModelIndex Row(const QString& name) const {
        if (name.isEmpty()) return {};
        if (name.startsWith(QLatin1String("G:"))) return Model.FindGroup(name.mid(2));
        for (const QModelIndex& user : Model.UserIndexes())
            if (Model.NodeData(user)->NickName == name) return user;
        return {};
    }

    // The list as the next start builds it from the file, users arriving in another order.
    QString Reloaded() {
        TOnlineUserModel fresh{Groups, TSelfIdentity{}};
        fresh.LoadGroupNodes(true);
        QStringList order = Nicks;
        std::reverse(order.begin(), order.end());
        for (const QString& nick : order) fresh.AddUserNode(false, NamedPeer(nick));
        return Layout(fresh);
    }

    // Every user row carries its group's name and flag, and the file agrees.
    void ExpectMembershipConsistent() {
        for (const QModelIndex& user : Model.UserIndexes()) {
            const TUserNodeData& node = *Model.NodeData(user);
            const TUserNodeData& group = *Model.NodeData(user.parent());
            EXPECT_EQ(node.GroupName, group.GroupName) << node.NickName.toStdString();
            EXPECT_EQ(node.IsFavorite, group.IsFavorite) << node.NickName.toStdString();
            EXPECT_EQ(Groups.GetUserGroup(NamedPeerKey(node.NickName)), group.GroupName) << node.NickName.toStdString();
        }
    }

    QByteArray FileBytes() const {
        QFile file(Groups.FileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    const QStringList Nicks{QStringLiteral("f1"), QStringLiteral("f2"), QStringLiteral("s1"), QStringLiteral("s2"),
                            QStringLiteral("s3"), QStringLiteral("s4"), QStringLiteral("p1")};
    TTempHome Home;
    TUserGroup Groups{Home.File(QStringLiteral("UserGroup.ini"))};
    TOnlineUserModel Model{Groups, TSelfIdentity{}};
};

const char* const kStart =
    "Favorite Contacts [2]: f1 f2 | Sales [4]: s1 s2 s3 s4 | Support [1]: p1 | Empty [0] | Tail [0]";

TEST_F(OnlineUserGroups, StartLayoutRestoresFromTheFile) {
    EXPECT_EQ(Layout(Model).toStdString(), kStart);
    EXPECT_EQ(Reloaded().toStdString(), kStart);
}

struct TDropCase {
    const char* Name;
    const char* Dragged; // nickname, "G:" + group name, "" for nothing
    const char* Target;
    const char* Layout;  // nullptr: refused, nothing changes
};
void PrintTo(const TDropCase& c, std::ostream* os) { *os << c.Name; }

class DropCases : public OnlineUserGroups, public ::testing::WithParamInterface<TDropCase> {};

TEST_P(DropCases, OrderCaptionsAndStore) {
    const TDropCase& c = GetParam();
    const QModelIndex dragged = Row(QString::fromLatin1(c.Dragged));
    const QModelIndex target = Row(QString::fromLatin1(c.Target));
    const QByteArray before = FileBytes();

    EXPECT_EQ(Model.CanDrop(dragged, target), c.Layout != nullptr);
    EXPECT_EQ(Model.Drop(dragged, target), c.Layout != nullptr);
    if (!c.Layout) {
        EXPECT_EQ(Layout(Model).toStdString(), kStart);
        EXPECT_EQ(FileBytes(), before);
        return;
    }
    EXPECT_EQ(Layout(Model).toStdString(), c.Layout);
    ExpectMembershipConsistent();
    EXPECT_EQ(Reloaded().toStdString(), c.Layout);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DropCases,
    ::testing::Values(
        TDropCase{"UserOntoUserDirectlyBelowSwaps", "s1", "s2",
                  "Favorite Contacts [2]: f1 f2 | Sales [4]: s2 s1 s3 s4 | Support [1]: p1 | Empty [0] | Tail [0]"},
        TDropCase{"UserOntoUserFurtherBelowLandsAboveIt", "s1", "s4",
                  "Favorite Contacts [2]: f1 f2 | Sales [4]: s2 s3 s1 s4 | Support [1]: p1 | Empty [0] | Tail [0]"},
        TDropCase{"UserOntoUserAboveLandsAboveIt", "s4", "s2",
                  "Favorite Contacts [2]: f1 f2 | Sales [4]: s1 s4 s2 s3 | Support [1]: p1 | Empty [0] | Tail [0]"},
        TDropCase{"UserOntoFirstUserOfItsGroup", "s2", "s1",
                  "Favorite Contacts [2]: f1 f2 | Sales [4]: s2 s1 s3 s4 | Support [1]: p1 | Empty [0] | Tail [0]"},
        TDropCase{"GroupWithUsersOntoGroupBelowKeepsOrder", "G:Sales", "G:Support", kStart},
        TDropCase{"EmptyGroupOntoGroupBelowSwaps", "G:Empty", "G:Tail",
                  "Favorite Contacts [2]: f1 f2 | Sales [4]: s1 s2 s3 s4 | Support [1]: p1 | Tail [0] | Empty [0]"},
        TDropCase{"GroupOntoGroupAboveLandsAboveIt", "G:Tail", "G:Sales",
                  "Favorite Contacts [2]: f1 f2 | Tail [0] | Sales [4]: s1 s2 s3 s4 | Support [1]: p1 | Empty [0]"},
        // Only storing every group's place brings this order back.
        TDropCase{"GroupOntoGroupFurtherBelow", "G:Sales", "G:Tail",
                  "Favorite Contacts [2]: f1 f2 | Support [1]: p1 | Empty [0] | Sales [4]: s1 s2 s3 s4 | Tail [0]"},
        TDropCase{"UserOntoOtherGroupBecomesItsFirstUser", "s3", "G:Support",
                  "Favorite Contacts [2]: f1 f2 | Sales [3]: s1 s2 s4 | Support [2]: s3 p1 | Empty [0] | Tail [0]"},
        TDropCase{"UserOntoEmptyGroup", "f1", "G:Empty",
                  "Favorite Contacts [1]: f2 | Sales [4]: s1 s2 s3 s4 | Support [1]: p1 | Empty [1]: f1 | Tail [0]"},
        TDropCase{"UserOntoFavoriteContacts", "s1", "G:Favorite Contacts",
                  "Favorite Contacts [3]: s1 f1 f2 | Sales [3]: s2 s3 s4 | Support [1]: p1 | Empty [0] | Tail [0]"},
        TDropCase{"UserOntoUserOfAnotherGroup", "s2", "p1",
                  "Favorite Contacts [2]: f1 f2 | Sales [3]: s1 s3 s4 | Support [2]: s2 p1 | Empty [0] | Tail [0]"},
        TDropCase{"FavoriteUserOntoUserOfAGroupBelow", "f1", "s3",
                  "Favorite Contacts [1]: f2 | Sales [5]: s1 s2 f1 s3 s4 | Support [1]: p1 | Empty [0] | Tail [0]"},
        TDropCase{"UserOntoItsOwnGroupRefused", "s2", "G:Sales", nullptr},
        TDropCase{"FavoriteContactsNeverDragged", "G:Favorite Contacts", "G:Sales", nullptr},
        TDropCase{"NoGroupOntoFavoriteContacts", "G:Sales", "G:Favorite Contacts", nullptr},
        TDropCase{"GroupNeverOntoAUser", "G:Tail", "p1", nullptr},
        TDropCase{"NothingOnTheEmptyArea", "s1", "", nullptr},
        TDropCase{"NotOntoItself", "s1", "s1", nullptr},
        TDropCase{"NothingDragged", "", "s1", nullptr}),
    TCaseName());

TEST_F(OnlineUserGroups, MoveToGroupTargetsLowestFirstWithoutOwnGroup) {
    const auto names = [](const QList<TMoveTarget>& targets) {
        QStringList out;
        for (const TMoveTarget& t : targets) out << t.Name;
        return out.join(QLatin1Char(','));
    };
    const QList<TMoveTarget> sales = Model.MoveToGroupTargets(Row(QStringLiteral("s2")));
    EXPECT_EQ(names(sales), QStringLiteral("Tail,Empty,Support,Favorite Contacts"));
    // TreeIndex is the group row's index in the whole tree, users counted.
    for (const TMoveTarget& t : sales) EXPECT_EQ(Model.TreeRow(t.TreeIndex), Model.FindGroup(t.Name)) << t.Name.toStdString();
    EXPECT_EQ(sales.first().TreeIndex, 11);
    EXPECT_EQ(sales.last().TreeIndex, 0);

    EXPECT_EQ(names(Model.MoveToGroupTargets(Row(QStringLiteral("f1")))), QStringLiteral("Tail,Empty,Support,Sales"));
    EXPECT_TRUE(Model.MoveToGroupTargets(Row(QStringLiteral("G:Sales"))).isEmpty());
}

TEST_F(OnlineUserGroups, MoveUserToGroupStoresBothGroups) {
    ASSERT_TRUE(Model.MoveUserToGroup(Row(QStringLiteral("s4")), Row(QStringLiteral("G:Support"))));
    EXPECT_EQ(Layout(Model), QStringLiteral("Favorite Contacts [2]: f1 f2 | Sales [3]: s1 s2 s3 | Support [2]: s4 p1 | Empty [0] | Tail [0]"));
    EXPECT_EQ(Groups.GetUserPosition(NamedPeerKey(QStringLiteral("s4"))), 0);
    EXPECT_EQ(Groups.GetUserPosition(NamedPeerKey(QStringLiteral("p1"))), 1);
    ExpectMembershipConsistent();
    EXPECT_EQ(Reloaded(), Layout(Model));

    // Into Favorite Contacts: stored under its name, flag taken over.
    ASSERT_TRUE(Model.MoveUserToGroup(Row(QStringLiteral("p1")), Row(QStringLiteral("G:Favorite Contacts"))));
    EXPECT_TRUE(Model.NodeData(Row(QStringLiteral("p1")))->IsFavorite);
    EXPECT_EQ(Groups.GetUserGroup(NamedPeerKey(QStringLiteral("p1"))), QStringLiteral("Favorite Contacts"));
    EXPECT_EQ(Reloaded(), Layout(Model));

    EXPECT_FALSE(Model.MoveUserToGroup(Row(QStringLiteral("p1")), Row(QStringLiteral("G:Favorite Contacts"))));
    EXPECT_FALSE(Model.MoveUserToGroup(Row(QStringLiteral("G:Tail")), Row(QStringLiteral("G:Sales"))));
}

TEST_F(OnlineUserGroups, AddGroupAppendsAndRefusesTakenNames) {
    const QModelIndex added = Model.AddGroup(QStringLiteral("Field"));
    ASSERT_TRUE(added.isValid());
    EXPECT_EQ(added.row(), 5);
    EXPECT_EQ(Model.data(added).toString(), QStringLiteral("Field [0]"));
    EXPECT_FALSE(Model.NodeData(added)->IsFavorite);
    EXPECT_TRUE(Model.flags(added).testFlag(Qt::ItemIsDragEnabled));

    const QByteArray before = FileBytes();
    EXPECT_FALSE(Model.AddGroup(QStringLiteral("field")).isValid());
    EXPECT_FALSE(Model.AddGroup(QStringLiteral("Favorite Contacts")).isValid());
    EXPECT_FALSE(Model.AddGroup(QStringLiteral(" Padded")).isValid());
    EXPECT_FALSE(Model.AddGroup(QString()).isValid());
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(Model.GroupCount(), 6);
    EXPECT_EQ(Reloaded(), Layout(Model));
}

TEST_F(OnlineUserGroups, GroupAddedAfterDeletionsKeepsItsPlace) {
    ASSERT_TRUE(Model.MoveUserToGroup(Row(QStringLiteral("p1")), Row(QStringLiteral("G:Sales"))));
    ASSERT_EQ(Model.DeleteGroup(Row(QStringLiteral("G:Support"))), dgDeleted);
    ASSERT_EQ(Model.DeleteGroup(Row(QStringLiteral("G:Empty"))), dgDeleted);
    ASSERT_TRUE(Model.AddGroup(QStringLiteral("New")).isValid());
    EXPECT_EQ(Layout(Model), QStringLiteral("Favorite Contacts [2]: f1 f2 | Sales [5]: p1 s1 s2 s3 s4 | Tail [0] | New [0]"));
    EXPECT_EQ(Reloaded(), Layout(Model));
}

TEST_F(OnlineUserGroups, RenameGroupUpdatesRowsAndStore) {
    ASSERT_TRUE(Model.RenameGroup(Row(QStringLiteral("G:Sales")), QStringLiteral("Field Sales")));
    EXPECT_EQ(Model.data(Model.GroupIndex(1)).toString(), QStringLiteral("Field Sales [4]"));
    ExpectMembershipConsistent();
    EXPECT_EQ(Reloaded(), Layout(Model));

    const QByteArray before = FileBytes();
    EXPECT_FALSE(Model.RenameGroup(Row(QStringLiteral("G:Field Sales")), QStringLiteral("support")));
    EXPECT_FALSE(Model.RenameGroup(Row(QStringLiteral("G:Field Sales")), QStringLiteral("Favorite Contacts")));
    EXPECT_FALSE(Model.RenameGroup(Row(QStringLiteral("G:Favorite Contacts")), QStringLiteral("Friends")));
    EXPECT_FALSE(Model.RenameGroup(Row(QStringLiteral("s1")), QStringLiteral("Friends")));
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(Model.data(Model.GroupIndex(1)).toString(), QStringLiteral("Field Sales [4]"));
}

TEST_F(OnlineUserGroups, DeleteOnlyEmptyNamedGroups) {
    const QByteArray before = FileBytes();
    EXPECT_EQ(Model.DeleteGroup(Row(QStringLiteral("G:Support"))), dgNotEmpty);
    EXPECT_EQ(Model.DeleteGroup(Row(QStringLiteral("G:Favorite Contacts"))), dgRefused);
    EXPECT_EQ(Model.DeleteGroup(Row(QStringLiteral("p1"))), dgRefused);
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(Layout(Model).toStdString(), kStart);

    EXPECT_EQ(Model.DeleteGroup(Row(QStringLiteral("G:Empty"))), dgDeleted);
    EXPECT_FALSE(Row(QStringLiteral("G:Empty")).isValid());
    QStringList stored;
    Groups.ReadGroups(&stored);
    EXPECT_EQ(stored.filter(QStringLiteral("Empty=")).size(), 0);
    EXPECT_EQ(Reloaded(), Layout(Model));
}

TEST_F(OnlineUserGroups, TreeOrderHelpers) {
    for (int i = 0; i < 12; ++i) EXPECT_EQ(Model.TreeIndex(Model.TreeRow(i)), i);
    EXPECT_FALSE(Model.TreeRow(12).isValid());
    EXPECT_EQ(Model.RowBefore(Row(QStringLiteral("G:Sales"))), Row(QStringLiteral("f2")));
    EXPECT_EQ(Model.RowBefore(Row(QStringLiteral("G:Tail"))), Row(QStringLiteral("G:Empty")));
    EXPECT_EQ(Model.RowBefore(Row(QStringLiteral("s1"))), Row(QStringLiteral("G:Sales")));
    EXPECT_FALSE(Model.RowBefore(Model.GroupIndex(0)).isValid());
    EXPECT_FALSE(Model.flags(Model.GroupIndex(0)).testFlag(Qt::ItemIsDragEnabled));
}

} // namespace
