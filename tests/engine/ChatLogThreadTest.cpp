#include "chatlog/ChatLogThreadUnit.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

namespace {

TLogRecord Record(int n) {
    TLogRecord record;
    record.Content = "{\\rtf1 record " + QByteArray::number(n) + "}";
    record.First2Line = QStringLiteral("record %1").arg(n);
    record.Nick = QStringLiteral("Peer");
    record.IP = QStringLiteral("10.0.0.9");
    return record;
}

// The writer with long gathering, so that what ends a gathering is never the
// clock; the batches it stored (First2Line of each record) and the tasks run.
class ChatLogThreadFixture : public ::testing::Test {
protected:
    void Start(int gatherMs) {
        TChatLogThread::TOptions options;
        options.GatherMs = gatherMs;
        options.StreamGapMs = 10 * 60 * 1000;
        TChatLogThread::THooks hooks;
        hooks.Appended = [this](const QList<TLogRecord>& records, const QList<qint64>& ids) {
            std::lock_guard lock(FMutex);
            QStringList batch;
            for (const TLogRecord& r : records) batch << r.First2Line;
            Batches << batch.join(QLatin1Char(','));
            Ids += ids;
        };
        Writer = std::make_unique<TChatLogThread>(Folder.path(), options, hooks);
    }
    // Drain, failing rather than hanging when a gathering holds it.
    bool DrainSoon() {
        auto done = std::async(std::launch::async, [this] { Writer->Drain(); });
        return done.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    }
    QStringList Snapshot() {
        std::lock_guard lock(FMutex);
        return Batches;
    }

    QTemporaryDir Folder;
    std::mutex FMutex;
    QStringList Batches;
    QList<qint64> Ids;
    std::unique_ptr<TChatLogThread> Writer;
};

// Records of a stream share a transaction; the first after a quiet spell does not wait.
TEST_F(ChatLogThreadFixture, StreamSharesATransactionAndATaskEndsTheGathering) {
    ASSERT_TRUE(Folder.isValid());
    Start(10 * 60 * 1000);
    Writer->Add(Record(1));
    ASSERT_TRUE(DrainSoon());
    EXPECT_EQ(Snapshot(), QStringList{QStringLiteral("record 1")});
    Writer->Add(Record(2));
    Writer->Add(Record(3));
    Writer->Add(Record(4));
    // A task queued behind them ends the wait and runs after them.
    std::promise<QStringList> seen;
    Writer->Post([&](TChatLogStore&) { seen.set_value(Snapshot()); });
    auto future = seen.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(future.get(), (QStringList{QStringLiteral("record 1"), QStringLiteral("record 2,record 3,record 4")}));
    EXPECT_EQ(Ids, (QList<qint64>{1, 2, 3, 4}));
}

// A caller waiting for the log (a search, the end of a test, a stop) is not
// kept waiting by a gathering; nor is the writer's end.
TEST_F(ChatLogThreadFixture, DrainAndStopEndAGathering) {
    ASSERT_TRUE(Folder.isValid());
    // Longer than DrainSoon waits, short enough that a failure ends in a minute.
    Start(60 * 1000);
    Writer->Add(Record(1));
    ASSERT_TRUE(DrainSoon());
    Writer->Add(Record(2));
    ASSERT_TRUE(DrainSoon());
    EXPECT_EQ(Snapshot(), (QStringList{QStringLiteral("record 1"), QStringLiteral("record 2")}));
    Writer->Add(Record(3));
    auto stopped = std::async(std::launch::async, [this] { Writer.reset(); });
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(Snapshot().value(2), QStringLiteral("record 3"));
}

// Without gathering a record of a stream is stored without anyone asking.
TEST_F(ChatLogThreadFixture, NoGatheringStoresEachAtOnce) {
    ASSERT_TRUE(Folder.isValid());
    Start(0);
    Writer->Add(Record(1));
    ASSERT_TRUE(DrainSoon());
    Writer->Add(Record(2));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Snapshot().size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(Snapshot(), (QStringList{QStringLiteral("record 1"), QStringLiteral("record 2")}));
}

} // namespace
