#include "app/ListDumpUnit.h"

#include "presence/OnlineUserModelUnit.h"
#include "presence/UserGroupUnit.h"
#include "support/PresenceFixtures.h"
#include "support/TestSupport.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTest>
#include <ostream>

namespace {

TOnlineNotify Peer(const QString& nick, const QString& ip, int state = 0) {
    TOnlineNotify n = NamedPeer(nick);
    n.IPAddress = ip;
    n.OnlineState = state;
    return n;
}

// A list with Favorite Contacts and a stored group "Design".
class ListDump : public ::testing::Test {
protected:
    ListDump() {
        Groups.AddGroup(QStringLiteral("Design"));
        Groups.SetGroupPosition(1, QStringLiteral("Design"));
        Model.LoadGroupNodes(true);
    }
    QString Fav() const { return Groups.FavoriteName(); }
    void PlaceInDesign(const QString& nick) { Groups.SetUserGroup(NamedPeerKey(nick), QStringLiteral("Design")); }
    QByteArray Dumped() const { return Home.Read(QStringLiteral("list.txt")); }
    // Bounded wait for the coalesced write, then a comparison that shows the difference.
    void ExpectDumped(const QByteArray& expected) {
        (void)QTest::qWaitFor([&] { return Dumped() == expected; }, 5000);
        EXPECT_EQ(Dumped().toStdString(), expected.toStdString());
    }

    TTempHome Home;
    TUserGroup Groups{Home.File(QStringLiteral("UserGroup.ini"))};
    TOnlineUserModel Model{Groups, TSelfIdentity{QStringLiteral("{Me}"), QStringLiteral("PC-Me")}};
    QString DumpFile = Home.File(QStringLiteral("list.txt"));
};

TEST_F(ListDump, ListsEveryGroupWithItsUsersInTreeOrder) {
    PlaceInDesign(QStringLiteral("Ann"));
    PlaceInDesign(QStringLiteral("Cy"));
    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("10.77.0.2"), 1));
    Model.AddUserNode(false, Peer(QStringLiteral("Me"), QStringLiteral("10.77.0.1")));
    Model.AddUserNode(false, Peer(QStringLiteral("Cy"), QStringLiteral("10.77.0.4"), 2));

    const QByteArray expected = QStringLiteral("group\t%1 [1]\n"
                                               "user\t%1\tMe\t10.77.0.1\t0\t1\n"
                                               "group\tDesign [2]\n"
                                               "user\tDesign\tAnn\t10.77.0.2\t1\t0\n"
                                               "user\tDesign\tCy\t10.77.0.4\t2\t0\n")
                                    .arg(Fav())
                                    .toUtf8();
    EXPECT_EQ(TListDump::Render(Model).toStdString(), expected.toStdString());
}

// The file follows each kind of change the model reports.
TEST_F(ListDump, FileFollowsInsertsChangesMovesRemovalsAndRebuilds) {
    TListDump dump(Model, DumpFile);
    ExpectDumped(QStringLiteral("group\t%1 [0]\ngroup\tDesign [0]\n").arg(Fav()).toUtf8());

    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("10.77.0.2")));
    ExpectDumped(QStringLiteral("group\t%1 [1]\nuser\t%1\tAnn\t10.77.0.2\t0\t0\ngroup\tDesign [0]\n").arg(Fav()).toUtf8());

    Model.UpdateOrAddUser(true, ukState, Peer(QStringLiteral("Ann"), QStringLiteral("10.77.0.2"), 2));
    ExpectDumped(QStringLiteral("group\t%1 [1]\nuser\t%1\tAnn\t10.77.0.2\t2\t0\ngroup\tDesign [0]\n").arg(Fav()).toUtf8());

    ASSERT_TRUE(Model.MoveUserToGroup(UserByNick(Model, "Ann"), Model.GroupIndex(1)));
    ExpectDumped(QStringLiteral("group\t%1 [0]\ngroup\tDesign [1]\nuser\tDesign\tAnn\t10.77.0.2\t2\t0\n").arg(Fav()).toUtf8());

    Model.AddUserNode(false, Peer(QStringLiteral("Bo"), QStringLiteral("10.77.0.3")));
    ASSERT_TRUE(Model.RemoveUser(Peer(QStringLiteral("Ann"), QStringLiteral("10.77.0.2"))).has_value());
    ExpectDumped(QStringLiteral("group\t%1 [1]\nuser\t%1\tBo\t10.77.0.3\t0\t0\ngroup\tDesign [0]\n").arg(Fav()).toUtf8());

    Model.LoadGroupNodes(false);
    ExpectDumped(QStringLiteral("group\t%1 [0]\ngroup\tDesign [0]\n").arg(Fav()).toUtf8());
}

TEST_F(ListDump, ReplacesOlderLongerContentWithoutLeavingTemporaryFiles) {
    Home.Write(QStringLiteral("list.txt"), QByteArray(4096, 'x'));
    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("10.77.0.2")));
    TListDump dump(Model, DumpFile);
    ExpectDumped(TListDump::Render(Model));
    EXPECT_EQ(QDir(Home.Path()).entryList({QStringLiteral("list.txt*")}, QDir::Files),
              QStringList{QStringLiteral("list.txt")});
}

TEST_F(ListDump, WriteFailsQuietlyWhenTheFolderIsMissing) {
    TListDump dump(Model, Home.File(QStringLiteral("missing/list.txt")));
    EXPECT_FALSE(dump.WriteNow());
    Model.AddUserNode(false, Peer(QStringLiteral("Ann"), QStringLiteral("10.77.0.2")));
    QTest::qWait(150); // the scheduled write fails too, without harm
    EXPECT_FALSE(QFile::exists(Home.File(QStringLiteral("missing/list.txt"))));
}

// Peers choose their own nicknames: whatever they hold, each row stays one
// line of six fields and the name is kept as sent.
struct TNicknameCase {
    const char* Name;
    QString Nickname;
    QString Field;
};
void PrintTo(const TNicknameCase& c, std::ostream* os) { *os << c.Name; }

class ListDumpNicknames : public ListDump, public ::testing::WithParamInterface<TNicknameCase> {};

TEST_P(ListDumpNicknames, StayInTheirField) {
    const TNicknameCase& c = GetParam();
    TOnlineNotify peer = Peer(QStringLiteral("Ann"), QStringLiteral("10.77.0.2"), 1);
    peer.NickName = c.Nickname;
    Model.AddUserNode(false, peer);

    const QList<QByteArray> lines = TListDump::Render(Model).split('\n');
    ASSERT_EQ(lines.size(), 4); // two groups, one user, the final empty piece
    const QList<QByteArray> fields = lines[1].split('\t');
    ASSERT_EQ(fields.size(), 6);
    EXPECT_EQ(QString::fromUtf8(fields[2]), c.Field);
    EXPECT_EQ(fields[3], "10.77.0.2");
    EXPECT_EQ(fields[4], "1");
}

INSTANTIATE_TEST_SUITE_P(
    ListDump, ListDumpNicknames,
    ::testing::Values(TNicknameCase{"Plain", QStringLiteral("Ann"), QStringLiteral("Ann")},
                      TNicknameCase{"PercentPlaceholders", QStringLiteral("%1 %4 %5"), QStringLiteral("%1 %4 %5")},
                      TNicknameCase{"TabAndLineBreaks", QStringLiteral("a\tb\r\nc"), QStringLiteral("a b  c")},
                      TNicknameCase{"NonLatin", QStringLiteral("张伟"), QStringLiteral("张伟")},
                      TNicknameCase{"Empty", QString(), QString()}),
    TCaseName());

} // namespace
