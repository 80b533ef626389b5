// The chat log's free-space floor: below it records are refused (counted,
// nothing written, the change told once), above it they are stored again,
// and the store stays whole throughout.
#include "chatlog/ChatLogSpaceUnit.h"
#include "chatlog/ChatLogStoreUnit.h"
#include "chatlog/ChatLogUnit.h"

#include "support/CaseName.h"
#include "support/ChatLogFixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <ostream>

using namespace ChatLogFixtures;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

// Where a batch lands against the floor.
struct TAdmitCase {
    std::string Name;
    qint64 Free;
    qint64 Bytes;
    bool Admitted;
};
void PrintTo(const TAdmitCase& c, std::ostream* os) { *os << c.Name; }

class ChatLogSpaceAdmit : public ::testing::TestWithParam<TAdmitCase> {};

TEST_P(ChatLogSpaceAdmit, KeepsTheFloorAfterTheBatch) {
    TChatLogSpace space([](const QString&) { return GetParam().Free; }, 64 * kMiB);
    EXPECT_EQ(space.Admit(QStringLiteral("/x"), GetParam().Bytes, 3), GetParam().Admitted);
    EXPECT_EQ(space.Full(), !GetParam().Admitted);
    EXPECT_EQ(space.Refused(), GetParam().Admitted ? 0 : 3);
}

INSTANTIATE_TEST_SUITE_P(Cases, ChatLogSpaceAdmit,
                         ::testing::Values(TAdmitCase{"PlentyOfRoom", 10 * 1024 * kMiB, 8192, true},
                                           TAdmitCase{"ExactlyTheFloorAfter", 64 * kMiB + 8192, 8192, true},
                                           TAdmitCase{"OneByteShort", 64 * kMiB + 8191, 8192, false},
                                           TAdmitCase{"BelowTheFloorAlready", 10 * kMiB, 0, false},
                                           // An unknown figure stops nothing: the writes would fail themselves.
                                           TAdmitCase{"Unknown", -1, 8192, true}),
                         TCaseName());

// A probe the test turns: free bytes of the log's disk.
struct TProbe {
    std::shared_ptr<std::atomic<qint64>> Free = std::make_shared<std::atomic<qint64>>(1024 * kMiB);
    TChatLogSpace::TProbe Function() const {
        return [free = Free](const QString&) { return free->load(); };
    }
};

// What sqlite3's checks and the index's own check say, through Qt's driver.
void ExpectWhole(const QString& database) {
    TRawDb db(database);
    EXPECT_EQ(db.Value(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    EXPECT_EQ(db.Rows(QStringLiteral("INSERT INTO LogSearch (LogSearch) VALUES ('integrity-check')")), QStringList{});
}

TEST(ChatLogSpace, StoreRefusesBelowTheFloorAndWritesWhenThereIsRoom) {
    TLogHome home;
    TProbe probe;
    auto space = std::make_shared<TChatLogSpace>(probe.Function(), 64 * kMiB);
    QList<bool> changes;
    space->SetChanged([&](bool full, qint64) { changes += full; });
    home.Store.SetSpace(space);
    ASSERT_TRUE(home.Store.Open());
    ASSERT_EQ(home.Add(Record(ltSingle, QStringLiteral("Bob"), "before")), 1);

    probe.Free->store(64 * kMiB);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(home.Store.Append({Record(ltSingle, QStringLiteral("Bob"), "refused"),
                                        Record(ltBroadcast, QStringLiteral("Ann"), "refused")}));
        EXPECT_TRUE(home.Store.RefusedForSpace());
    }
    EXPECT_EQ(space->Refused(), 6);
    EXPECT_EQ(changes, QList<bool>{true});
    EXPECT_EQ(QDir(home.Store.ContentFolder()).entryList(QDir::Files), QStringList{QStringLiteral("1.Single.db")});
    EXPECT_EQ(home.Store.SearchLog(QStringLiteral("refused"))->size(), 0);

    probe.Free->store(1024 * kMiB);
    EXPECT_EQ(home.Add(Record(ltSingle, QStringLiteral("Bob"), "after")), 2);
    EXPECT_FALSE(home.Store.RefusedForSpace());
    EXPECT_EQ(changes, (QList<bool>{true, false}));
    EXPECT_EQ(space->Refused(), 6);
    EXPECT_EQ(home.SideBytes(ltSingle, 2), QByteArray("after"));
    ExpectWhole(home.Store.DatabaseFileName());
}

TEST(ChatLogSpace, ServiceTellsOnceCountsAndResumes) {
    TLogHome home;
    TProbe probe;
    auto space = std::make_shared<TChatLogSpace>(probe.Function(), 64 * kMiB);
    TChatLog log(home.Folder(), nullptr, space);
    QSignalSpy spaceChanged(&log, &TChatLog::SpaceChanged);
    QSignalSpy errors(&log, &TChatLog::ErrorOccurred);
    QSignalSpy added(&log, &TChatLog::RecordAdded);
    log.Start();
    log.AddLogRecord(Record(ltSingle, QStringLiteral("Bob"), "kept 1"));
    log.Flush();

    probe.Free->store(10 * kMiB);
    for (int i = 0; i < 5; ++i) {
        log.AddLogRecord(Record(ltBroadcast, QStringLiteral("Ann"), "lost"));
        log.Flush(); // one transaction each: every one asks the probe
    }
    EXPECT_EQ(log.RefusedForSpace(), 5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return spaceChanged.size() >= 1; }, 10000));

    probe.Free->store(1024 * kMiB);
    log.AddLogRecord(Record(ltSingle, QStringLiteral("Bob"), "kept 2"));
    log.Flush();
    ASSERT_TRUE(QTest::qWaitFor([&] { return spaceChanged.size() >= 2 && added.size() >= 2; }, 10000));
    QTest::qWait(50); // nothing more is on its way
    ASSERT_EQ(spaceChanged.size(), 2);
    EXPECT_TRUE(spaceChanged[0][0].toBool());
    EXPECT_EQ(spaceChanged[0][1].toLongLong(), 10 * kMiB);
    EXPECT_FALSE(spaceChanged[1][0].toBool());
    // Refusing for space is not a failure of the log: no error box.
    EXPECT_EQ(errors.size(), 0);
    EXPECT_EQ(log.RefusedForSpace(), 5);

    TChatLogStore store(home.Folder());
    ASSERT_TRUE(store.Open(TChatLogStore::omRead));
    EXPECT_EQ(store.LoadLogList(TLogFilter::All(ltBroadcast), 0)->size(), 0);
    EXPECT_EQ(store.LoadLogList(TLogFilter::All(ltSingle), 0)->size(), 2);
    EXPECT_EQ(store.SearchLog(QStringLiteral("kept"))->size(), 2);
    store.Close();
    ExpectWhole(home.Store.DatabaseFileName());
}

} // namespace
