// The bytes peers' arrivals may hold: per source and in total, waiting for a
// release, and let go by the chat-log writer once the record is stored.
#include "core/IntakeBudgetUnit.h"

#include "chatlog/ChatLogThreadUnit.h"
#include "core/EventRouterUnit.h"
#include "core/IntakeNoticeUnit.h"
#include "protocol/SourceRateUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <ostream>
#include <vector>

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * KiB;

struct TTake {
    const char* Source;
    qint64 Bytes;
    bool Taken;
};
struct TBudgetCase {
    std::string Name;
    qint64 Limit;
    qint64 Share;
    std::vector<TTake> Takes; // in order, every hold kept
};
void PrintTo(const TBudgetCase& c, std::ostream* os) { *os << c.Name; }

class BudgetCases : public ::testing::TestWithParam<TBudgetCase> {};

TEST_P(BudgetCases, TakesWhatFits) {
    const TBudgetCase& c = GetParam();
    auto budget = TIntakeBudget::Create(c.Limit, c.Share);
    std::vector<TIntakeHold> holds;
    qint64 used = 0;
    for (size_t i = 0; i < c.Takes.size(); ++i) {
        const TTake& t = c.Takes[i];
        TIntakeHold hold = budget->TryAcquire(QString::fromLatin1(t.Source), t.Bytes);
        EXPECT_EQ(bool(hold), t.Taken) << "take " << i;
        if (hold) used += t.Bytes;
        holds.push_back(std::move(hold));
    }
    EXPECT_EQ(budget->Used(), used);
    holds.clear();
    EXPECT_EQ(budget->Used(), 0);
    EXPECT_EQ(budget->UsedBy(QStringLiteral("A")), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BudgetCases,
    ::testing::Values(
        TBudgetCase{"ShareBoundsOneSourceNotAnother", 1000, 400,
                    {{"A", 300, true}, {"A", 100, true}, {"A", 1, false}, {"B", 400, true}}},
        TBudgetCase{"OneArrivalOverTheShareWhenItsSourceHoldsNothing", 1000, 400,
                    {{"A", 600, true}, {"A", 1, false}, {"B", 300, true}}},
        TBudgetCase{"OverTheLimitNeverFits", 1000, 400, {{"A", 1001, false}, {"A", 1000, true}}},
        // Small arrivals have an eighth beyond the limit, large ones not.
        TBudgetCase{"TotalBoundsAllSources", 8 * MiB, 4 * MiB,
                    {{"A", 3 * MiB, true},
                     {"B", 3 * MiB, true},
                     {"C", 2 * MiB + 1, false},
                     {"C", 2 * MiB, true},
                     {"D", 512 * KiB, true},
                     {"E", 512 * KiB, true},
                     {"F", 1, false}}}),
    TCaseName());

TEST(IntakeBudget, CopiesOfAHoldReleaseWithTheLast) {
    auto budget = TIntakeBudget::Create(1000, 500);
    TIntakeHold hold = budget->TryAcquire(QStringLiteral("A"), 500);
    ASSERT_TRUE(hold);
    TIntakeHold copy = hold;
    hold.reset();
    EXPECT_EQ(budget->UsedBy(QStringLiteral("A")), 500);
    EXPECT_FALSE(budget->TryAcquire(QStringLiteral("A"), 1));
    copy.reset();
    EXPECT_EQ(budget->UsedBy(QStringLiteral("A")), 0);
    EXPECT_TRUE(budget->TryAcquire(QStringLiteral("A"), 500));
    EXPECT_EQ(budget->Refused(), 1u);
}

TEST(IntakeBudget, AWaitEndsWithTheReleaseOfItsSourcesBytes) {
    auto budget = TIntakeBudget::Create(1000, 500);
    TIntakeHold first = budget->TryAcquire(QStringLiteral("A"), 400);
    std::unique_ptr<QThread> releaser(QThread::create([&first] {
        QThread::msleep(200);
        first.reset();
    }));
    releaser->start();
    TIntakeHold second = budget->Acquire(QStringLiteral("A"), 400, QDeadlineTimer(10000));
    releaser->wait();
    EXPECT_TRUE(second);
    EXPECT_EQ(budget->UsedBy(QStringLiteral("A")), 400);
    EXPECT_EQ(budget->Waited(), 1u);
}

TEST(IntakeBudget, AWaitGivesUpAtItsDeadlineOrWhenStopping) {
    auto budget = TIntakeBudget::Create(1000, 500);
    const TIntakeHold held = budget->TryAcquire(QStringLiteral("A"), 500);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(budget->Acquire(QStringLiteral("A"), 1, QDeadlineTimer(300)));
    EXPECT_GE(clock.elapsed(), 250);
    // What can never fit is not waited for.
    clock.restart();
    EXPECT_FALSE(budget->Acquire(QStringLiteral("B"), 1001, QDeadlineTimer(QDeadlineTimer::Forever)));
    EXPECT_LT(clock.elapsed(), 1000);
    std::atomic<bool> stopping{false};
    std::unique_ptr<QThread> stopper(QThread::create([&stopping] {
        QThread::msleep(100);
        stopping = true;
    }));
    stopper->start();
    clock.restart();
    EXPECT_FALSE(budget->Acquire(QStringLiteral("A"), 1, QDeadlineTimer(QDeadlineTimer::Forever),
                                 [&stopping] { return stopping.load(); }));
    stopper->wait();
    EXPECT_LT(clock.elapsed(), 5000);
    // Another source is never held up by A.
    EXPECT_TRUE(budget->Acquire(QStringLiteral("B"), 400, QDeadlineTimer(0)));
}

// The writer lets go of the bytes once the record is stored, even when the
// hooks keep copies of the records.
TEST(IntakeBudget, TheLogWriterReleasesStoredRecords) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    auto budget = TIntakeBudget::Create(1000, 1000);
    QList<TLogRecord> kept;
    TChatLogThread::THooks hooks;
    hooks.Appended = [&kept](const QList<TLogRecord>& records, const QList<qint64>&) { kept += records; };
    {
        TChatLogThread writer(folder.path(), {}, hooks);
        for (int i = 0; i < 3; ++i) {
            TLogRecord record;
            record.Content = "{\\rtf1 held}";
            record.First2Line = QStringLiteral("held");
            record.Nick = QStringLiteral("Peer");
            record.IP = QStringLiteral("10.0.0.9");
            record.Hold = budget->TryAcquire(QStringLiteral("10.0.0.9"), 100);
            ASSERT_TRUE(record.Hold);
            writer.Add(std::move(record));
        }
        writer.Drain();
        EXPECT_EQ(kept.size(), 3);
        EXPECT_EQ(budget->Used(), 0);
    }
}

// ---- notices: once per source and reason in a while ----

TEST(IntakeNotices, TellsOncePerSourceAndReasonUntilTheQuietTimePassed) {
    TIntakeNotices notices(300);
    QStringList told;
    QObject::connect(&notices, &TIntakeNotices::Noticed,
                     [&told](const QString& source, const QString& reason) { told << source + QLatin1Char(' ') + reason; });
    for (int i = 0; i < 100; ++i) notices.Note(QStringLiteral("10.0.0.9"), QStringLiteral("broadcast-rate"));
    notices.Note(QStringLiteral("10.0.0.9"), QStringLiteral("source-share"));
    notices.Note(QStringLiteral("10.0.0.8"), QStringLiteral("broadcast-rate"));
    QCoreApplication::processEvents();
    EXPECT_EQ(told, (QStringList{QStringLiteral("10.0.0.9 broadcast-rate"), QStringLiteral("10.0.0.9 source-share"),
                                 QStringLiteral("10.0.0.8 broadcast-rate")}));
    QThread::msleep(350);
    notices.Note(QStringLiteral("10.0.0.9"), QStringLiteral("broadcast-rate"));
    QCoreApplication::processEvents();
    EXPECT_EQ(told.size(), 4);
}

TEST(IntakeNotices, RouterAndRateTellOfTheSourceTheyDrop) {
    QStringList told;
    TEventRouter router(16);
    router.SetOnThrottled([&told](const QString& source) { told << source; });
    for (int i = 0; i < router.SourceShare() + 2; ++i) router.PostFrom(QStringLiteral("10.0.0.9"), 0x7001, 0, 0, 1);
    EXPECT_EQ(told, (QStringList{QStringLiteral("10.0.0.9"), QStringLiteral("10.0.0.9")}));

    told.clear();
    qint64 now = 0;
    TSourceRate rate(1, 2, 16, [&now] { return now; });
    rate.SetOnThrottled([&told](const QString& source) { told << source; });
    for (int i = 0; i < 5; ++i) rate.Allow(QStringLiteral("10.0.0.7"));
    EXPECT_EQ(told, QStringList{QStringLiteral("10.0.0.7")}); // the first drop of the bucket only
}

} // namespace
