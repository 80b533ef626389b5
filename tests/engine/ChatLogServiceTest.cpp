// The chat log of a running program: appends that never block and keep their
// order, a queue drained at exit, errors reported once, operations and reads
// answered off the caller's thread, and the paged list model over them.
#include "chatlog/ChatLogReaderUnit.h"
#include "chatlog/ChatLogStoreUnit.h"
#include "chatlog/ChatLogUnit.h"
#include "chatlog/LogListModelUnit.h"
#include "node/NodeUnit.h"

#include "support/ChatLogFixtures.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

using namespace ChatLogFixtures;

namespace {

TLogRecord Numbered(TLogType type, int n) {
    TLogRecord r = Record(type, QStringLiteral("n%1").arg(n), QByteArray("content ") + QByteArray::number(n));
    r.First2Line = QString::number(n);
    return r;
}

// Every record of a table read back: (ID, number it was added with).
QList<std::pair<qint64, int>> Rows(const QString& folder, TLogType type) {
    TChatLogStore store(folder);
    EXPECT_TRUE(store.Open(TChatLogStore::omRead));
    QList<std::pair<qint64, int>> rows;
    store.ForEachRecord(TLogFilter::All(type), [&](const TLogEntry& e) {
        rows.prepend({e.ID, e.First2Line.toInt()});
        return true;
    });
    return rows;
}

TEST(ChatLogService, KeepsTheOrderOfManyAppends) {
    TLogHome home;
    QList<int> announced;
    {
        TChatLog log(home.Folder());
        QObject::connect(&log, &TChatLog::RecordAdded, [&](const TLogEntry& e) { announced += e.First2Line.toInt(); });
        log.Start();
        for (int n = 0; n < 2000; ++n) log.AddLogRecord(Numbered(n % 3 == 0 ? ltBroadcast : ltSingle, n));
        log.Flush();
        EXPECT_EQ(log.PendingRecords(), 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return announced.size() == 2000; }, 30000));
    }
    QList<int> expected(2000);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(announced, expected);
    for (TLogType type : {ltSingle, ltBroadcast}) {
        int previous = -1;
        qint64 id = 0;
        for (const auto& [rowId, n] : Rows(home.Folder(), type)) {
            EXPECT_EQ(rowId, ++id);
            EXPECT_GT(n, previous);
            EXPECT_EQ(n % 3 == 0, type == ltBroadcast);
            previous = n;
        }
    }
}

TEST(ChatLogService, TheNodeChecksTheDatabaseAtStart) {
    TNetworkOff offline;
    TTempHome home;
    TNode node;
    EXPECT_FALSE(QFile::exists(home.File(QStringLiteral("ChatDB/chatlog.mdb"))));
    node.Start();
    node.ChatLog().Flush();
    EXPECT_EQ(node.ChatLog().DatabaseFileName(), home.File(QStringLiteral("ChatDB/chatlog.mdb")));
    TRawDb db(node.ChatLog().DatabaseFileName());
    EXPECT_EQ(db.Value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN ('Message','Broadcast','GroupMsg','File')")),
              4);
    node.Stop();
}

TEST(ChatLogService, StoresWhatIsQueuedBeforeItEnds) {
    TLogHome home;
    {
        TChatLog log(home.Folder());
        log.Start();
        for (int n = 0; n < 500; ++n) log.AddLogRecord(Numbered(ltFile, n));
    }
    EXPECT_EQ(Rows(home.Folder(), ltFile).size(), 500);
}

TEST(ChatLogService, ReportsAnUnusableLogOnceUntilItWorks) {
    TLogHome home;
    home.Home.Write(QStringLiteral("ChatDB"), "a file where the log folder should be");
    TChatLog log(home.Folder());
    QSignalSpy errors(&log, &TChatLog::ErrorOccurred);
    log.Start();
    for (int n = 0; n < 3; ++n) log.AddLogRecord(Numbered(ltSingle, n));
    log.Flush();
    QTest::qWait(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return errors.size() >= 1; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().first().toString().contains(QStringLiteral("chatlog.mdb")));

    // Once the folder can be made, records are stored and a later failure is reported again.
    ASSERT_TRUE(QFile::remove(home.Home.File(QStringLiteral("ChatDB"))));
    QSignalSpy added(&log, &TChatLog::RecordAdded);
    log.AddLogRecord(Numbered(ltSingle, 9));
    EXPECT_TRUE(QTest::qWaitFor([&] { return added.size() == 1; }, 10000));
    EXPECT_EQ(errors.size(), 1);
}

TEST(ChatLogService, OperationsRunAfterTheAppendsBeforeThem) {
    TLogHome home;
    TChatLog log(home.Folder());
    log.Start();
    QSignalSpy finished(&log, &TChatLog::OperationFinished);
    QSignalSpy deleted(&log, &TChatLog::RecordsDeleted);
    for (int n = 0; n < 3; ++n) log.AddLogRecord(Numbered(ltGroup, n));
    const quint64 first = log.DeleteLogRecord(ltGroup, 3); // queued after the third append
    const quint64 missing = log.DeleteLogRecord(ltGroup, 42);
    const quint64 exported = log.ExportLog(TLogFilter::All(ltGroup), home.Home.File(QStringLiteral("g.rtf")));
    const quint64 compacted = log.CompactDatabase();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.size() == 4; }, 30000));
    EXPECT_EQ(finished[0], (QList<QVariant>{first, QString()}));
    EXPECT_EQ(finished[1][0].toULongLong(), missing);
    EXPECT_FALSE(finished[1][1].toString().isEmpty());
    EXPECT_EQ(finished[2], (QList<QVariant>{exported, QString()}));
    EXPECT_EQ(finished[3], (QList<QVariant>{compacted, QString()}));
    EXPECT_EQ(deleted.size(), 1);
    EXPECT_TRUE(home.Home.Read(QStringLiteral("g.rtf")).contains("<Group>To n1"));
    EXPECT_EQ(Rows(home.Folder(), ltGroup).size(), 2);
}

TEST(ChatLogReader, AnswersOffTheCallersThread) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    for (int n = 0; n < 5; ++n) home.Add(Numbered(ltSingle, n));
    TChatLogReader reader(home.Folder());
    QSignalSpy lists(&reader, &TChatLogReader::LogListFetched);
    QSignalSpy contents(&reader, &TChatLogReader::LogContentFetched);
    QSignalSpy nicks(&reader, &TChatLogReader::NicknamesFetched);
    QSignalSpy searches(&reader, &TChatLogReader::SearchFetched);
    const quint64 list = reader.FetchLogList(TLogFilter::All(ltSingle), 0, 4, 2);
    const quint64 content = reader.FetchLogContent(ltSingle, 2);
    const quint64 gone = reader.FetchLogContent(ltSingle, 77);
    reader.FetchNicknames();
    reader.FetchSearch(QStringLiteral("content 3"), 0, 10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lists.size() + contents.size() + nicks.size() + searches.size() == 5; }, 10000));
    EXPECT_EQ(lists[0][0].toULongLong(), list);
    const auto entries = lists[0][1].value<QList<TLogEntry>>();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].ID, 3);
    EXPECT_EQ(entries[1].ID, 2);
    EXPECT_EQ(contents[0][0].toULongLong(), content);
    EXPECT_EQ(contents[0][1].value<TLogContent>().Bytes, QByteArray("content 1"));
    EXPECT_EQ(contents[1][0].toULongLong(), gone);
    EXPECT_FALSE(contents[1][2].toString().isEmpty());
    EXPECT_EQ(nicks[0][1].toStringList().size(), 5);
    ASSERT_EQ(searches[0][1].value<QList<TLogSearchHit>>().size(), 1);
    EXPECT_EQ(searches[0][1].value<QList<TLogSearchHit>>().first().Entry.ID, 4);
    // Idle, the reader holds the log open nowhere: compaction is free to run.
    EXPECT_TRUE(home.Store.CompactDatabase()) << home.Store.LastError().toStdString();
}

class LogListModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Home.Store.Open());
        Add(ltSingle, 250);
    }
    void Add(TLogType type, int count) {
        QList<TLogRecord> records;
        for (int i = 0; i < count; ++i) records += Numbered(type, Next++);
        ASSERT_TRUE(Home.Store.Append(records));
    }
    bool Settled() {
        return QTest::qWaitFor([&] { return !Model.IsLoading(); }, 10000);
    }

    TLogHome Home;
    TChatLogReader Reader{Home.Folder()};
    TLogListModel Model{Reader, 100};
    int Next = 0;
};

TEST_F(LogListModelTest, FetchesAPageAtATimeNewestFirst) {
    QSignalSpy first(&Model, &TLogListModel::FirstPageLoaded);
    Model.SetFilter(TLogFilter::All(ltSingle));
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.size() == 1; }, 10000));
    EXPECT_EQ(Model.rowCount(), 100);
    EXPECT_EQ(Model.EntryAt(0).ID, 250);
    EXPECT_EQ(Model.data(Model.index(0), TLogListModel::IdRole).toLongLong(), 250);
    EXPECT_TRUE(Model.data(Model.index(0)).toString().endsWith(QStringLiteral("\r\n249")));
    for (int expected : {200, 250}) {
        ASSERT_TRUE(Model.canFetchMore({}));
        Model.fetchMore({});
        EXPECT_FALSE(Model.canFetchMore({})) << "one request at a time";
        ASSERT_TRUE(Settled());
        EXPECT_EQ(Model.rowCount(), expected);
    }
    EXPECT_EQ(Model.EntryAt(249).ID, 1);
    EXPECT_FALSE(Model.canFetchMore({}));
}

TEST_F(LogListModelTest, RefreshPutsNewerRecordsOnTop) {
    Model.SetFilter(TLogFilter::All(ltSingle));
    ASSERT_TRUE(Settled());
    Add(ltSingle, 3);
    Add(ltBroadcast, 2);
    Model.Refresh();
    ASSERT_TRUE(Settled());
    ASSERT_EQ(Model.rowCount(), 103);
    EXPECT_EQ(Model.EntryAt(0).ID, 253);
    EXPECT_EQ(Model.EntryAt(2).ID, 251);
    EXPECT_EQ(Model.EntryAt(3).ID, 250);
    // More new records than a page: the list starts again from the newest.
    Add(ltSingle, 150);
    Model.Refresh();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Model.rowCount(), 100);
    EXPECT_EQ(Model.EntryAt(0).ID, 403);
    Model.RemoveEntry(0);
    EXPECT_EQ(Model.EntryAt(0).ID, 402);
}

TEST_F(LogListModelTest, DropsTheAnswersOfAnEarlierFilter) {
    Add(ltFile, 3);
    Model.SetFilter(TLogFilter::All(ltSingle));
    Model.SetFilter(TLogFilter::All(ltFile));
    ASSERT_TRUE(Settled());
    QTest::qWait(0);
    EXPECT_EQ(Model.rowCount(), 3);
    EXPECT_EQ(Model.EntryAt(0).Category, ltFile);
    Model.Clear();
    EXPECT_EQ(Model.rowCount(), 0);
    EXPECT_FALSE(Model.canFetchMore({}));
}

} // namespace
