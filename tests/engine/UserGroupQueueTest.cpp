// Positions of first-time users wait in memory and reach UserGroup.ini
// together: reads see them at once, one save writes them all, and neither a
// later command, the end of the store nor an unreadable file loses them.
#include "presence/UserGroupUnit.h"

#include "platform/ProfileFileUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "support/CaseName.h"
#include "support/PresenceFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTest>
#include <functional>
#include <memory>
#include <ostream>

namespace {

const QString kAnn = QStringLiteral("PC-ANN{A}");
const QString kBob = QStringLiteral("PC-BOB{B}");
const QString kEve = QStringLiteral("PC-EVE{E}");

const QByteArray kStart = "[Users]\r\n"
                          "PC-BOB{B}=Sales\r\n"
                          "[Groups]\r\n"
                          "Sales=1\r\n"
                          "Support=2\r\n"
                          "[User Positions]\r\n"
                          "PC-BOB{B}=0\r\n";

class UserGroupQueueFixture {
protected:
    QString FileName() const { return FHome.File(QStringLiteral("UserGroup.ini")); }
    std::unique_ptr<TUserGroup> Open(const QByteArray& content = kStart) {
        FHome.Write(QStringLiteral("UserGroup.ini"), content);
        return std::make_unique<TUserGroup>(FileName());
    }
    QByteArray Bytes() const { return FHome.Read(QStringLiteral("UserGroup.ini")); }
    // The position as the file holds it, read without the store.
    int OnDisk(const QString& key) const {
        return TProfileFile(FileName()).ReadInteger(QStringLiteral("User Positions"), key, -1);
    }
    // Writable but not readable: only the store's own check keeps a save
    // from replacing it. False where permissions do not apply.
    bool MakeUnreadable() const {
        QFile file(FileName());
        file.setPermissions(QFileDevice::WriteOwner);
        if (!file.open(QIODevice::ReadOnly)) return true;
        MakeReadable();
        return false;
    }
    void MakeReadable() const { QFile(FileName()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner); }

    TTempHome FHome;
};

class UserGroupQueue : public UserGroupQueueFixture, public ::testing::Test {};

TEST_F(UserGroupQueue, WaitingPositionsAreReadBeforeTheyAreWritten) {
    const auto store = Open();
    const int saves = store->SaveCount();
    EXPECT_TRUE(store->QueueUserPosition(5, kAnn));
    EXPECT_TRUE(store->QueueUserPosition(1, kEve));
    EXPECT_EQ(store->GetUserPosition(kAnn), 5);
    EXPECT_EQ(store->GetUserPosition(kEve.toLower()), 1);
    const QHash<QString, int> positions = store->ReadUserPositions();
    EXPECT_EQ(positions.value(kAnn.toLower(), -1), 5);
    EXPECT_EQ(positions.value(kEve.toLower(), -1), 1);
    EXPECT_EQ(positions.value(kBob.toLower(), -1), 0);
    EXPECT_EQ(store->PendingPositionCount(), 2);
    EXPECT_EQ(store->SaveCount(), saves);
    EXPECT_EQ(Bytes(), kStart);
}

TEST_F(UserGroupQueue, RefusesWhatTheFileCouldNotKeep) {
    const auto store = Open();
    EXPECT_FALSE(store->QueueUserPosition(-1, kAnn));
    EXPECT_FALSE(store->QueueUserPosition(3, QStringLiteral("PC\r\n[Groups]\r\nEvil")));
    EXPECT_FALSE(store->QueueUserPosition(3, QStringLiteral(" PC-ANN")));
    EXPECT_EQ(store->PendingPositionCount(), 0);
    EXPECT_FALSE(store->IsFlushScheduled());
}

TEST_F(UserGroupQueue, OneFlushWritesThemAllInOneSave) {
    // A stored line without a usable position, and a section after the positions.
    const auto store = Open(kStart + "PC-5{5}=first\r\n[Later]\r\nPC-9{9}=3\r\n");
    const int saves = store->SaveCount();
    for (int i = 0; i < 60; ++i) store->QueueUserPosition(i, QStringLiteral("PC-%1{%1}").arg(i));
    // The same user again (any case) is one line with its latest index.
    store->QueueUserPosition(99, QStringLiteral("pc-7{7}"));
    EXPECT_EQ(store->PendingPositionCount(), 60);
    EXPECT_TRUE(store->FlushPendingPositions());
    EXPECT_EQ(store->SaveCount(), saves + 1);
    EXPECT_EQ(store->PendingPositionCount(), 0);
    EXPECT_FALSE(store->IsFlushScheduled());
    for (int i = 0; i < 60; ++i) EXPECT_EQ(OnDisk(QStringLiteral("PC-%1{%1}").arg(i)), i == 7 ? 99 : i) << i;
    // Each user has one line: the unusable one was replaced, not shadowing a second.
    EXPECT_EQ(Bytes().count("PC-7{7}="), 1);
    EXPECT_EQ(Bytes().count("PC-5{5}="), 1);
    EXPECT_EQ(Bytes().count("PC-9{9}="), 2);
    EXPECT_TRUE(Bytes().startsWith(kStart));
    EXPECT_TRUE(Bytes().endsWith("PC-59{59}=59\r\n[Later]\r\nPC-9{9}=3\r\n"));
    // Nothing left to write: no second save.
    EXPECT_TRUE(store->FlushPendingPositions());
    EXPECT_EQ(store->SaveCount(), saves + 1);
}

TEST_F(UserGroupQueue, TheTimerWritesEveryWaitingPositionOnce) {
    const auto store = Open();
    EXPECT_EQ(store->FlushDelay(), 1000); // at most one such write a second
    store->SetFlushDelay(20);
    const int saves = store->SaveCount();
    EXPECT_FALSE(store->IsFlushScheduled());
    store->QueueUserPosition(3, kAnn);
    EXPECT_TRUE(store->IsFlushScheduled());
    store->QueueUserPosition(4, kEve);
    EXPECT_EQ(store->SaveCount(), saves);
    EXPECT_TRUE(QTest::qWaitFor([&] { return store->PendingPositionCount() == 0; }, 30000));
    EXPECT_EQ(store->SaveCount(), saves + 1);
    EXPECT_FALSE(store->IsFlushScheduled());
    EXPECT_EQ(OnDisk(kAnn), 3);
    EXPECT_EQ(OnDisk(kEve), 4);
}

TEST_F(UserGroupQueue, TheEndOfTheStoreWritesWaitingPositions) {
    auto store = Open();
    store->QueueUserPosition(6, kAnn);
    EXPECT_EQ(OnDisk(kAnn), -1);
    store.reset();
    EXPECT_EQ(OnDisk(kAnn), 6);
    EXPECT_EQ(OnDisk(kBob), 0);
}

TEST_F(UserGroupQueue, UnreadableFileIsNeverOverwrittenAndKeepsThemWaiting) {
    auto store = Open();
    EXPECT_EQ(store->GetUserPosition(kBob), 0); // the file as read is remembered
    store->QueueUserPosition(3, kAnn);
    if (!MakeUnreadable()) GTEST_SKIP() << "file permissions do not apply to this user";
    EXPECT_FALSE(store->FlushPendingPositions());
    EXPECT_FALSE(store->SaveUserPositions({kBob}));
    EXPECT_FALSE(store->SetUserGroup(kAnn, QStringLiteral("Support")));
    EXPECT_EQ(store->PendingPositionCount(), 1);
    EXPECT_EQ(store->GetUserPosition(kAnn), 3);
    MakeReadable();
    EXPECT_EQ(Bytes(), kStart);

    // Readable again: the position that waited is written.
    EXPECT_TRUE(store->FlushPendingPositions());
    EXPECT_EQ(OnDisk(kAnn), 3);
    EXPECT_TRUE(Bytes().startsWith(kStart));

    // The end of the store writes nothing over a file it cannot read.
    store->QueueUserPosition(8, kEve);
    const QByteArray before = Bytes();
    ASSERT_TRUE(MakeUnreadable());
    store.reset();
    MakeReadable();
    EXPECT_EQ(Bytes(), before);
}

// --- Commands that write while positions wait ---

struct TCommandCase {
    const char* Name;
    std::function<bool(TUserGroup&)> Command;
    bool Accepted;
    int Ann; // the file's positions afterwards (-1: none)
    int Bob;
    int Eve;
};

void PrintTo(const TCommandCase& c, std::ostream* os) { *os << c.Name; }

class UserGroupQueueCommands : public UserGroupQueueFixture, public ::testing::TestWithParam<TCommandCase> {};

// One save carries the waiting positions and the command; what the command
// stores wins. A refused command writes nothing and the positions keep waiting.
TEST_P(UserGroupQueueCommands, WriteWaitingPositionsInTheSameSave) {
    const TCommandCase& c = GetParam();
    const auto store = Open();
    store->QueueUserPosition(5, kAnn);
    store->QueueUserPosition(7, kEve);
    const int saves = store->SaveCount();
    EXPECT_EQ(c.Command(*store), c.Accepted);
    EXPECT_EQ(store->SaveCount(), saves + (c.Accepted ? 1 : 0));
    EXPECT_EQ(store->PendingPositionCount(), c.Accepted ? 0 : 2);
    EXPECT_EQ(store->IsFlushScheduled(), !c.Accepted);
    EXPECT_EQ(OnDisk(kAnn), c.Ann);
    EXPECT_EQ(OnDisk(kBob), c.Bob);
    EXPECT_EQ(OnDisk(kEve), c.Eve);
    // The store reads what the file holds, or what still waits.
    EXPECT_EQ(store->GetUserPosition(kAnn), c.Accepted ? c.Ann : 5);
    EXPECT_EQ(store->GetUserPosition(kBob), c.Bob);
    EXPECT_EQ(store->GetUserPosition(kEve), c.Accepted ? c.Eve : 7);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserGroupQueueCommands,
    ::testing::Values(
        TCommandCase{"DragReorder", [](TUserGroup& s) { return s.SaveUserPositions({kAnn, kBob}); }, true, 0, 1, 7},
        TCommandCase{"SetUserPosition", [](TUserGroup& s) { return s.SetUserPosition(2, kAnn.toLower()); }, true, 2, 0, 7},
        TCommandCase{"SetUserGroup", [](TUserGroup& s) { return s.SetUserGroup(kEve, QStringLiteral("Sales")); }, true, 5, 0, 7},
        TCommandCase{"AddGroup", [](TUserGroup& s) { return s.AddGroup(QStringLiteral("Admin")); }, true, 5, 0, 7},
        TCommandCase{"RenameGroup",
                     [](TUserGroup& s) { return s.RenameGroup(QStringLiteral("Sales"), QStringLiteral("Field Sales")); }, true,
                     5, 0, 7},
        TCommandCase{"SetGroupPosition", [](TUserGroup& s) { return s.SetGroupPosition(4, QStringLiteral("Support")); },
                     true, 5, 0, 7},
        TCommandCase{"DeleteGroup", [](TUserGroup& s) { return s.DeleteGroup(QStringLiteral("Support")); }, true, 5, 0, 7},
        TCommandCase{"RefusedAddGroup", [](TUserGroup& s) { return s.AddGroup(QStringLiteral("sales")); }, false, -1, 0, -1},
        TCommandCase{"RefusedRename",
                     [](TUserGroup& s) { return s.RenameGroup(QStringLiteral("Sales"), QStringLiteral("Support")); }, false,
                     -1, 0, -1},
        TCommandCase{"RefusedDelete", [](TUserGroup& s) { return s.DeleteGroup(QStringLiteral("Nobody")); }, false, -1, 0,
                     -1}),
    TCaseName());

// --- First-time users in the online list ---

TEST_F(UserGroupQueue, FirstTimeUsersCostNoWriteAndNoSecondParseEach) {
    TUserGroup groups(FileName());
    TOnlineUserModel model(groups, TSelfIdentity{});
    model.LoadGroupNodes(true);
    const int saves = groups.SaveCount();
    const int parses = groups.ParseCount();
    QStringList nicks;
    for (int i = 0; i < 40; ++i) nicks << QStringLiteral("u%1").arg(i);
    for (const QString& nick : nicks) model.AddUserNode(false, NamedPeer(nick));
    EXPECT_EQ(groups.SaveCount(), saves);
    EXPECT_EQ(groups.ParseCount(), parses);
    EXPECT_EQ(groups.PendingPositionCount(), 40);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(groups.GetUserPosition(NamedPeerKey(nicks[i])), i) << i;

    // A list built again before the write already follows the waiting positions.
    TOnlineUserModel again(groups, TSelfIdentity{});
    again.LoadGroupNodes(true);
    for (auto it = nicks.crbegin(); it != nicks.crend(); ++it) again.AddUserNode(false, NamedPeer(*it));
    EXPECT_EQ(NicksInGroup(again, 0), nicks);
    EXPECT_EQ(groups.PendingPositionCount(), 40);

    EXPECT_TRUE(groups.FlushPendingPositions());
    EXPECT_EQ(groups.SaveCount(), saves + 1);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(OnDisk(NamedPeerKey(nicks[i])), i) << i;
}

} // namespace
