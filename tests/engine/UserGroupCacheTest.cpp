// UserGroup.ini is parsed again only when it changed: a change made by
// something else is still seen at the next read, the store's own writes and
// unchanged files are not parsed again.
#include "presence/UserGroupUnit.h"

#include "support/CaseName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <memory>
#include <ostream>

namespace {

const QString kAnn = QStringLiteral("PC-ANN{A}");

const QByteArray kBefore = "[Users]\r\nPC-ANN{A}=Sales\r\n[Groups]\r\nSales=1\r\n[User Positions]\r\nPC-ANN{A}=1\r\n";

class UserGroupCacheFixture {
protected:
    QString FileName() const { return FHome.File(QStringLiteral("UserGroup.ini")); }
    void Write(const QByteArray& content) const { FHome.Write(QStringLiteral("UserGroup.ini"), content); }
    bool SetModified(const QDateTime& time) const {
        QFile file(FileName());
        return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
    }
    QDateTime Modified() const { return QFile(FileName()).fileTime(QFileDevice::FileModificationTime); }

    TTempHome FHome;
};

// --- Changes made by something else ---

struct TEditCase {
    const char* Name;
    QByteArray After; // written in place right after the first reads
    bool KeepTime;    // the editor puts the old modification time back
    QString Group;    // what the next reads give
    int Position;
};

void PrintTo(const TEditCase& c, std::ostream* os) { *os << c.Name; }

class UserGroupExternalEdits : public UserGroupCacheFixture, public ::testing::TestWithParam<TEditCase> {};

TEST_P(UserGroupExternalEdits, AreSeenByTheNextRead) {
    const TEditCase& c = GetParam();
    Write(kBefore);
    // An old time stamp: only the size or the change time can tell the edit.
    ASSERT_TRUE(SetModified(QDateTime::currentDateTime().addSecs(-3600)));
    const QDateTime old = Modified();
    TUserGroup store(FileName());
    EXPECT_EQ(store.GetUserGroup(kAnn), QStringLiteral("Sales"));
    EXPECT_EQ(store.GetUserPosition(kAnn), 1);
    ASSERT_EQ(store.ReadGroupsInOrder().size(), 1);

    if (c.After.isNull()) {
        ASSERT_TRUE(QFile::remove(FileName()));
    } else {
        Write(c.After);
        if (c.KeepTime) {
            ASSERT_TRUE(SetModified(old));
        }
    }
    EXPECT_EQ(store.GetUserGroup(kAnn), c.Group);
    EXPECT_EQ(store.GetUserPosition(kAnn), c.Position);
    EXPECT_EQ(store.ReadUserPositions().value(kAnn.toLower(), -1), c.Position);
    const QList<TStoredGroup> groups = store.ReadGroupsInOrder();
    EXPECT_EQ(groups.isEmpty() ? QString() : groups.first().Name, c.After.isNull() ? QString() : c.Group);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserGroupExternalEdits,
    ::testing::Values(
        TEditCase{"SameSize", "[Users]\r\nPC-ANN{A}=Sabes\r\n[Groups]\r\nSabes=1\r\n[User Positions]\r\nPC-ANN{A}=2\r\n",
                  false, QStringLiteral("Sabes"), 2},
        TEditCase{"SameSizeAndTime",
                  "[Users]\r\nPC-ANN{A}=Sabes\r\n[Groups]\r\nSabes=1\r\n[User Positions]\r\nPC-ANN{A}=2\r\n", true,
                  QStringLiteral("Sabes"), 2},
        TEditCase{"Longer",
                  "[Users]\r\nPC-ANN{A}=Support\r\n[Groups]\r\nSupport=1\r\n[User Positions]\r\nPC-ANN{A}=12\r\n", false,
                  QStringLiteral("Support"), 12},
        TEditCase{"Removed", QByteArray(), false, QStringLiteral("Favorite Contacts"), -1}),
    TCaseName());

// --- Reads in a row ---

class UserGroupCache : public UserGroupCacheFixture, public ::testing::Test {};

TEST_F(UserGroupCache, TwoQuickEditsOfOneSizeAreBothSeen) {
    Write(kBefore);
    TUserGroup store(FileName());
    for (int round = 2; round <= 9; ++round) {
        Write("[Users]\r\nPC-ANN{A}=Sales\r\n[Groups]\r\nSales=1\r\n[User Positions]\r\nPC-ANN{A}=" + QByteArray::number(round) +
              "\r\n");
        EXPECT_EQ(store.GetUserPosition(kAnn), round);
    }
}

TEST_F(UserGroupCache, AnUnchangedFileIsParsedOnce) {
    Write(kBefore);
    TUserGroup store(FileName());
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(store.GetUserGroup(kAnn), QStringLiteral("Sales"));
        EXPECT_EQ(store.GetUserPosition(kAnn), 1);
        EXPECT_EQ(store.ReadUserPositions().size(), 1);
        EXPECT_EQ(store.ReadGroupsInOrder().size(), 1);
    }
    EXPECT_EQ(store.ParseCount(), 1);

    // Waiting positions and the store's own writes need no read of the file.
    store.QueueUserPosition(4, QStringLiteral("PC-BOB{B}"));
    EXPECT_EQ(store.GetUserPosition(QStringLiteral("PC-BOB{B}")), 4);
    EXPECT_TRUE(store.SetUserGroup(QStringLiteral("PC-BOB{B}"), QStringLiteral("Sales")));
    EXPECT_EQ(store.GetUserGroup(QStringLiteral("PC-BOB{B}")), QStringLiteral("Sales"));
    EXPECT_EQ(store.GetUserPosition(QStringLiteral("PC-BOB{B}")), 4);
    EXPECT_EQ(store.ParseCount(), 1);

    Write(kBefore);
    EXPECT_EQ(store.GetUserGroup(QStringLiteral("PC-BOB{B}")), QStringLiteral("Favorite Contacts"));
    EXPECT_EQ(store.ParseCount(), 2);
}

TEST_F(UserGroupCache, AFileThatTurnsUnreadableIsNotReadFromMemory) {
    Write(kBefore);
    TUserGroup store(FileName());
    EXPECT_EQ(store.GetUserPosition(kAnn), 1);
    QFile file(FileName());
    file.setPermissions(QFileDevice::WriteOwner); // a save could replace it, a read fails
    if (file.open(QIODevice::ReadOnly)) {
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        GTEST_SKIP() << "file permissions do not apply to this user";
    }
    // As before there was any memory: an unreadable file reads empty and refuses writes.
    EXPECT_EQ(store.GetUserPosition(kAnn), -1);
    EXPECT_FALSE(store.SetUserPosition(3, kAnn));
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(store.GetUserPosition(kAnn), 1);
    EXPECT_EQ(FHome.Read(QStringLiteral("UserGroup.ini")), kBefore);
}

} // namespace
