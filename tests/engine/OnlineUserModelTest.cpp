#include "presence/OnlineUserModelUnit.h"
#include "presence/UserGroupUnit.h"
#include "support/PresenceFixtures.h"
#include "support/TestSupport.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace {

TOnlineNotify Peer(const QString& nick, const QString& computer, const QString& ip, const QString& id,
                   const QString& version = QStringLiteral("1.0.0.1"), int state = 0) {
    TOnlineNotify n;
    n.NickName = nick;
    n.ComputerName = computer;
    n.IPAddress = ip;
    n.UserId = id;
    n.Version = version;
    n.OnlineState = state;
    return n;
}

// A model over a groups file in a temporary folder, with a clock the test moves.
class OnlineUserModel : public ::testing::Test {
protected:
    OnlineUserModel() {
        Model.SetClock([this] { return Now; });
        Model.LoadGroupNodes(true);
    }
    const TUserNodeData& Node(const QModelIndex& index) { return *Model.NodeData(index); }
    QStringList NicksIn(int groupRow) {
        QStringList out;
        const QModelIndex group = Model.GroupIndex(groupRow);
        for (int i = 0; i < Model.rowCount(group); ++i) out << Node(Model.index(i, 0, group)).NickName;
        return out;
    }

    TTempHome Home;
    TUserGroup Groups{Home.File(QStringLiteral("UserGroup.ini"))};
    QDateTime Now = QDateTime(QDate(2026, 1, 1), QTime(12, 0));
    TOnlineUserModel Model{Groups, TSelfIdentity{QStringLiteral("{SELF}"), QStringLiteral("MYPC")}};
};

TEST_F(OnlineUserModel, MatchesByIdWhenTheRowHasOneElseByComputerAndAddress) {
    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}")));
    Model.AddUserNode(false, Peer(QStringLiteral("Old"), QStringLiteral("PC2"), QStringLiteral("10.0.0.2"), QString(), QString()));

    EXPECT_TRUE(Model.FindUserNode(QStringLiteral("{a}"), QStringLiteral("other"), QStringLiteral("9.9.9.9")).isValid());
    EXPECT_TRUE(Model.FindUserNode(QString(), QStringLiteral("pc2"), QStringLiteral("10.0.0.2")).isValid());
    // A row made from an id-less record never matches by id, and vice versa.
    EXPECT_FALSE(Model.FindUserNode(QString(), QStringLiteral("PC1"), QStringLiteral("10.0.0.1")).isValid());
    EXPECT_FALSE(Model.FindUserNode(QString(), QStringLiteral("PC2"), QStringLiteral("10.0.0.3")).isValid());
}

// Two rows one record matches: Ann by her id and, in a row made before she
// had one, by her computer and address.
struct TLowestRowCase {
    const char* Name;
    bool IdRowAddedFirst;
    const char* RowWithoutIdGroup; // empty: Favorite Contacts
    const char* Found;
};
void PrintTo(const TLowestRowCase& c, std::ostream* os) { *os << c.Name; }

class LowestMatchingRow : public OnlineUserModel, public ::testing::WithParamInterface<TLowestRowCase> {};

TEST_P(LowestMatchingRow, Wins) {
    const TLowestRowCase& c = GetParam();
    const TOnlineNotify withId = NamedPeer(QStringLiteral("Ann"));
    TOnlineNotify withoutId = withId;
    withoutId.NickName = QStringLiteral("Ann without id");
    withoutId.UserId.clear();
    withoutId.Version.clear();
    const QString group = QString::fromLatin1(c.RowWithoutIdGroup);
    if (!group.isEmpty()) {
        Groups.AddGroup(group);
        Groups.SetGroupPosition(1, group);
        Groups.SetUserGroup(TOnlineUserModel::UserKey(withoutId.ComputerName, QString()), group);
        Model.LoadGroupNodes(false);
    }
    Model.AddUserNode(false, c.IdRowAddedFirst ? withId : withoutId);
    Model.AddUserNode(false, c.IdRowAddedFirst ? withoutId : withId);
    ASSERT_EQ(Model.UserIndexes().size(), 2);
    const QModelIndex lowest = UserByNick(Model, c.Found);
    ASSERT_TRUE(lowest.isValid());

    EXPECT_EQ(Model.FindUserNode(withId.UserId, withId.ComputerName, withId.IPAddress), lowest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LowestMatchingRow,
    ::testing::Values(TLowestRowCase{"IdRowBelow", false, "", "Ann"},
                      TLowestRowCase{"RowWithoutIdBelow", true, "", "Ann without id"},
                      // Display order, not the order the rows were added in.
                      TLowestRowCase{"RowWithoutIdInALowerGroup", false, "Sales", "Ann without id"}),
    TCaseName());

TEST_F(OnlineUserModel, UserKnownByIdKeepsItsRowWhenItsAddressChanges) {
    Model.UpdateOrAddUser(true, ukFull, Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}")));
    Model.UpdateOrAddUser(true, ukFull, Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.9"), QStringLiteral("{A}")));
    ASSERT_EQ(Model.UserIndexes().size(), 1);
    EXPECT_EQ(Node(Model.UserIndexes().first()).IPAddress, QStringLiteral("10.0.0.9"));

    // Without an id the new address is a new user.
    Model.UpdateOrAddUser(true, ukFull, Peer(QStringLiteral("V1"), QStringLiteral("PC9"), QStringLiteral("10.0.0.5"), QString(), QString()));
    Model.UpdateOrAddUser(true, ukFull, Peer(QStringLiteral("V1"), QStringLiteral("PC9"), QStringLiteral("10.0.0.6"), QString(), QString()));
    EXPECT_EQ(Model.UserIndexes().size(), 3);
}

TEST_F(OnlineUserModel, UpdateKindsChangeOnlyTheirFields) {
    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}")));
    Model.UpdateOrAddUser(true, ukNickname, Peer(QStringLiteral("Anna"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}"), {}, 2));
    const QModelIndex row = Model.UserIndexes().first();
    EXPECT_EQ(Node(row).NickName, QStringLiteral("Anna"));
    EXPECT_EQ(Node(row).OnlineState, 0);
    Model.UpdateOrAddUser(true, ukState, Peer(QStringLiteral("Ignored"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}"), {}, 1));
    EXPECT_EQ(Node(row).NickName, QStringLiteral("Anna"));
    EXPECT_EQ(Node(row).OnlineState, 1);
    // Version and id of an existing row never change.
    EXPECT_EQ(Node(row).Version, QStringLiteral("1.0.0.1"));
}

TEST_F(OnlineUserModel, StoredPositionsPlaceNewRows) {
    const auto key = [](const char* c) { return TOnlineUserModel::UserKey(QString::fromLatin1(c), QStringLiteral("{") + QLatin1String(c) + QLatin1Char('}')); };
    Groups.SetUserPosition(0, key("P0"));
    Groups.SetUserPosition(2, key("P2"));
    Groups.SetUserPosition(5, key("P5"));
    Groups.SetUserPosition(3, key("P3"));
    for (const char* c : {"P0", "P2", "P5", "P3"})
        Model.AddUserNode(false, Peer(QString::fromLatin1(c), QString::fromLatin1(c), QStringLiteral("10.0.0.1"),
                                      QStringLiteral("{") + QLatin1String(c) + QLatin1Char('}')));
    EXPECT_EQ(NicksIn(0), (QStringList{QStringLiteral("P0"), QStringLiteral("P2"), QStringLiteral("P3"), QStringLiteral("P5")}));

    // No stored position: appended, and its index is stored.
    Model.AddUserNode(false, Peer(QStringLiteral("New"), QStringLiteral("NEW"), QStringLiteral("10.0.0.1"), QStringLiteral("{N}")));
    EXPECT_EQ(NicksIn(0).last(), QStringLiteral("New"));
    EXPECT_EQ(Groups.GetUserPosition(TOnlineUserModel::UserKey(QStringLiteral("NEW"), QStringLiteral("{N}"))), 4);
}

TEST_F(OnlineUserModel, TwelveGroupsInNumericOrderAndCaptions) {
    for (int i = 1; i <= 12; ++i) {
        const QString name = QStringLiteral("G%1").arg(13 - i); // stored in reverse file order
        Groups.AddGroup(name);
        Groups.SetGroupPosition(13 - i, name);
    }
    Model.LoadGroupNodes(false);
    ASSERT_EQ(Model.GroupCount(), 13);
    for (int row = 1; row <= 12; ++row) EXPECT_EQ(Node(Model.GroupIndex(row)).GroupName, QStringLiteral("G%1").arg(row));
    EXPECT_TRUE(Node(Model.GroupIndex(0)).IsFavorite);
    EXPECT_EQ(Model.data(Model.GroupIndex(3)).toString(), QStringLiteral("G3 [0]"));
}

TEST_F(OnlineUserModel, UserOfADeletedGroupLandsInFavorites) {
    Groups.AddGroup(QStringLiteral("Sales"));
    Groups.SetGroupPosition(1, QStringLiteral("Sales"));
    Groups.SetUserGroup(QStringLiteral("PC1{A}"), QStringLiteral("Sales"));
    Model.LoadGroupNodes(false);
    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}")));
    EXPECT_EQ(NicksIn(1), QStringList{QStringLiteral("Ann")});
    EXPECT_EQ(Model.data(Model.GroupIndex(1)).toString(), QStringLiteral("Sales [1]"));

    Groups.DeleteGroup(QStringLiteral("Sales"));
    Model.LoadGroupNodes(false);
    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}")));
    EXPECT_EQ(NicksIn(0), QStringList{QStringLiteral("Ann")});
    EXPECT_EQ(Groups.GetUserGroup(QStringLiteral("PC1{A}")), QStringLiteral("Sales")); // membership kept
}

TEST_F(OnlineUserModel, SelfRowIsMarkedAndNotAnnounced) {
    QSignalSpy announced(&Model, &TOnlineUserModel::UserAnnounced);
    QSignalSpy self(&Model, &TOnlineUserModel::SelfRowAdded);
    Model.AddUserNode(true, Peer(QStringLiteral("Me"), QStringLiteral("OTHERNAME"), QStringLiteral("10.0.0.1"), QStringLiteral("{self}")));
    Model.AddUserNode(true, Peer(QStringLiteral("Old me"), QStringLiteral("mypc"), QStringLiteral("10.0.0.2"), QString(), QString()));
    Model.AddUserNode(true, Peer(QStringLiteral("Ann"), QStringLiteral("MYPC"), QStringLiteral("10.0.0.3"), QStringLiteral("{A}")));
    EXPECT_EQ(self.count(), 2);
    EXPECT_EQ(announced.count(), 1); // same computer name but another id: another node
    Model.AddUserNode(false, Peer(QStringLiteral("Bob"), QStringLiteral("PC2"), QStringLiteral("10.0.0.4"), QStringLiteral("{B}")));
    EXPECT_EQ(announced.count(), 1);
}

TEST_F(OnlineUserModel, CheckedRecipientsComeBottomUpAndRefreshClearsTicks) {
    for (const char* c : {"A", "B", "C"})
        Model.AddUserNode(false, Peer(QString::fromLatin1(c), QString::fromLatin1(c), QStringLiteral("10.0.0.1"), QString::fromLatin1(c)));
    Model.CheckOnlineUsers(TCheckAction::CheckAll);
    TRecipients r = Model.CheckedRecipients();
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(r[0].NickName, QStringLiteral("C"));
    EXPECT_EQ(r[2].NickName, QStringLiteral("A"));
    Model.CheckOnlineUsers(TCheckAction::Invert);
    EXPECT_TRUE(Model.CheckedRecipients().isEmpty());
    Model.SetChecked(Model.UserIndexes()[1], true);
    EXPECT_EQ(Model.CheckedRecipients().size(), 1);
    Model.CheckOnlineUsers(TCheckAction::CheckNone);
    EXPECT_TRUE(Model.CheckedRecipients().isEmpty());

    Model.CheckOnlineUsers(TCheckAction::CheckAll);
    Model.ClearUserList();
    Model.LoadGroupNodes(false);
    Model.AddUserNode(false, Peer(QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("10.0.0.1"), QStringLiteral("A")));
    EXPECT_TRUE(Model.CheckedRecipients().isEmpty());
}

struct TSilenceCase {
    const char* Name;
    int SecondsSilent;
    bool HasVersion;
    bool Responding;
};
void PrintTo(const TSilenceCase& c, std::ostream* os) { *os << c.Name; }

class SilenceRule : public OnlineUserModel, public ::testing::WithParamInterface<TSilenceCase> {};

TEST_P(SilenceRule, WholeMinutesDecide) {
    const TSilenceCase& c = GetParam();
    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"),
                                  c.HasVersion ? QStringLiteral("{A}") : QString(), c.HasVersion ? QStringLiteral("1.0.0.1") : QString()));
    Model.AddUserNode(false, Peer(QStringLiteral("Me"), QStringLiteral("MYPC"), QStringLiteral("10.0.0.2"), QStringLiteral("{SELF}")));
    Now = Now.addSecs(c.SecondsSilent);
    const QStringList asked = Model.CheckSignalTick();
    EXPECT_EQ(asked, QStringList{QStringLiteral("10.0.0.1")}); // own row never asked
    const QModelIndex ann = Model.FindUserNode(c.HasVersion ? QStringLiteral("{A}") : QString(), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(Node(ann).Responding, c.Responding);
}

INSTANTIATE_TEST_SUITE_P(Cases, SilenceRule,
                         ::testing::Values(TSilenceCase{"FourFiftyNine", 4 * 60 + 59, true, true},
                                           TSilenceCase{"FiveMinutes", 5 * 60, true, false},
                                           TSilenceCase{"NoVersionNeverMarked", 60 * 60, false, true}),
                         TCaseName());

TEST_F(OnlineUserModel, CheckReplyAndPresenceBringUsersBack) {
    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}")));
    Now = Now.addSecs(6 * 60);
    Model.CheckSignalTick();
    const QModelIndex ann = Model.UserIndexes().first();
    ASSERT_FALSE(Node(ann).Responding);
    Model.MarkSignal(QStringLiteral("{a}"));
    EXPECT_FALSE(Node(ann).Responding); // changes at the next tick only
    Model.CheckSignalTick();
    EXPECT_TRUE(Node(ann).Responding);

    Now = Now.addSecs(6 * 60);
    Model.CheckSignalTick();
    Model.UpdateOrAddUser(false, ukState, Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}")));
    EXPECT_TRUE(Node(Model.UserIndexes().first()).Responding); // any presence message clears it at once
}

TEST_F(OnlineUserModel, FavoriteNameFollowsTheLanguage) {
    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}")));
    Model.SetFavoriteName(QStringLiteral("Favoriten"));
    EXPECT_EQ(Node(Model.GroupIndex(0)).GroupName, QStringLiteral("Favoriten"));
    EXPECT_EQ(Node(Model.UserIndexes().first()).GroupName, QStringLiteral("Favoriten"));
    EXPECT_EQ(Model.data(Model.GroupIndex(0)).toString(), QStringLiteral("Favoriten [1]"));
}

TEST_F(OnlineUserModel, LogoffRemovesOnlyTheMatchingRow) {
    Model.AddUserNode(false, Peer(QStringLiteral("Old"), QStringLiteral("PC2"), QStringLiteral("10.0.0.2"), QString(), QString()));
    EXPECT_FALSE(Model.RemoveUser(Peer(QStringLiteral("Old"), QStringLiteral("PC2"), QStringLiteral("10.0.0.3"), QString())));
    EXPECT_TRUE(Model.RemoveUser(Peer(QStringLiteral("Old"), QStringLiteral("PC2"), QStringLiteral("10.0.0.2"), QString())));
    EXPECT_TRUE(Model.UserIndexes().isEmpty());
    EXPECT_EQ(Model.data(Model.GroupIndex(0)).toString().right(3), QStringLiteral("[0]"));
}

} // namespace

// Id rows only (the common case, found through the id index): the lowest of
// two rows with one id wins a lookup, the topmost takes a check reply, and a
// removed row is no longer found.
TEST_F(OnlineUserModel, IdIndexKeepsDisplayOrderAndForgetsRemovedRows) {
    const TOnlineNotify ann = Peer(QStringLiteral("Ann"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1"), QStringLiteral("{A}"));
    Model.AddUserNode(false, Peer(QStringLiteral("Bob"), QStringLiteral("PC2"), QStringLiteral("10.0.0.2"), QStringLiteral("{B}")));
    const QModelIndex upper = Model.AddUserNode(false, ann);
    const QPersistentModelIndex upperRow(upper);
    TOnlineNotify again = ann;
    again.NickName = QStringLiteral("Ann2");
    const QPersistentModelIndex lowerRow(Model.AddUserNode(false, again));
    ASSERT_LT(upperRow.row(), lowerRow.row());

    EXPECT_EQ(Model.FindUserNode(QStringLiteral("{a}"), QString(), QString()), QModelIndex(lowerRow));
    EXPECT_FALSE(Model.FindUserNode(QStringLiteral("{C}"), QStringLiteral("PC1"), QStringLiteral("10.0.0.1")).isValid());

    Now = Now.addSecs(600);
    Model.MarkSignal(QStringLiteral("{A}"));
    EXPECT_EQ(Node(upperRow).LastSignalTime, Now);
    EXPECT_NE(Node(lowerRow).LastSignalTime, Now);

    ASSERT_TRUE(Model.RemoveUser(ann).has_value()); // takes the lower row
    EXPECT_EQ(Model.FindUserNode(QStringLiteral("{A}"), QString(), QString()), QModelIndex(upperRow));
    ASSERT_TRUE(Model.RemoveUser(ann).has_value());
    // New rows may take the freed rows' memory: the old id must not find them.
    for (const char* id : {"{C}", "{D}"})
        Model.AddUserNode(false, Peer(QLatin1String(id), QStringLiteral("PC9"), QStringLiteral("10.0.0.9"), QLatin1String(id)));
    EXPECT_FALSE(Model.FindUserNode(QStringLiteral("{A}"), QString(), QString()).isValid());
    EXPECT_TRUE(Model.FindUserNode(QStringLiteral("{B}"), QString(), QString()).isValid());
    Model.ClearUserList();
    Model.LoadGroupNodes(false);
    for (const char* id : {"{E}", "{F}", "{G}", "{H}"})
        Model.AddUserNode(false, Peer(QLatin1String(id), QStringLiteral("PC8"), QStringLiteral("10.0.0.8"), QLatin1String(id)));
    for (const char* id : {"{B}", "{C}", "{D}"}) EXPECT_FALSE(Model.FindUserNode(QLatin1String(id), QString(), QString()).isValid()) << id;
}
