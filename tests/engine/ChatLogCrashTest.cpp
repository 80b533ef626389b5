// A writer killed (SIGKILL) at any moment: after the next start every row has
// its side file with its own content, no file is left without a row, records
// are kept in the order they were added, and every record reported stored is there.
#include "chatlog/ChatLogStoreUnit.h"

#include "support/CaseName.h"
#include "support/ChatLogBurst.h"
#include "support/ChatLogFixtures.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <ostream>

using namespace ChatLogFixtures;

namespace {

QString ChildProgram() { return QDir(RuntimeDir()).filePath(QStringLiteral("chatlog_child")); }

// The child with its output read line by line.
class TChild {
public:
    explicit TChild(const QStringList& arguments) {
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start(ChildProgram(), arguments);
    }
    ~TChild() { Kill(); }

    // Reads until a line satisfies done (true) or the child ends or a minute passes.
    bool WaitFor(const std::function<bool(const QByteArray&)>& done) {
        const QDeadlineTimer deadline(60000);
        for (;;) {
            while (FProcess.canReadLine()) {
                const QByteArray line = FProcess.readLine().trimmed();
                Lines += line;
                if (done(line)) return true;
            }
            if (FProcess.state() == QProcess::NotRunning || deadline.hasExpired()) return false;
            FProcess.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }
    void Kill() {
        if (FProcess.state() == QProcess::NotRunning) return;
        FProcess.kill();
        FProcess.waitForFinished(30000);
        // What it printed before it died counts as reported.
        for (const QByteArray& line : FProcess.readAllStandardOutput().split('\n'))
            if (!line.trimmed().isEmpty()) Lines += line.trimmed();
    }
    int ExitCode() {
        FProcess.waitForFinished(60000);
        return FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
    }
    // Numbers of the records the child reported stored.
    QSet<qint64> Stored() const {
        QSet<qint64> seqs;
        for (const QByteArray& line : Lines)
            if (line.startsWith("stored ")) seqs += line.split(' ').value(1).toLongLong();
        return seqs;
    }

    QList<QByteArray> Lines;

private:
    QProcess FProcess;
};

// Reopens the log as the next start does and checks every row and file.
// Returns the numbers of the stored records. Without deletes the stored ones
// follow first without gaps, and the index holds nothing else.
QSet<qint64> CheckLog(const QString& folder, const QSet<qint64>& reported, qint64 first, bool deletes = false) {
    TChatLogStore store(folder);
    EXPECT_TRUE(store.Open()) << store.LastError().toStdString();
    QSet<qint64> stored;
    QStringList files;
    qint64 rows = 0;
    for (TLogType type : {ltSingle, ltBroadcast, ltGroup, ltFile}) {
        qint64 newer = std::numeric_limits<qint64>::max();
        EXPECT_TRUE(store.ForEachRecord(TLogFilter::All(type), [&](const TLogEntry& e) {
            ++rows;
            const qint64 seq = ChatLogBurst::SeqOf(e.Nick);
            EXPECT_EQ(ChatLogBurst::TypeOf(seq), type) << e.Nick.toStdString();
            EXPECT_EQ(e.First2Line, QStringLiteral("seq %1").arg(seq));
            // Added in order, stored in order.
            EXPECT_LT(seq, newer) << "record " << e.ID << " of " << ChatLog::TypeName(type).toStdString();
            newer = seq;
            QFile side(store.SideFileName(type, e.ID));
            EXPECT_TRUE(side.open(QIODevice::ReadOnly)) << side.fileName().toStdString();
            EXPECT_EQ(side.readAll(), ChatLogBurst::ContentOf(seq)) << side.fileName().toStdString();
            files += QFileInfo(side).fileName();
            stored += seq;
            return true;
        }));
    }
    QStringList onDisk = QDir(store.ContentFolder()).entryList(QDir::Files);
    onDisk.sort();
    files.sort();
    EXPECT_EQ(onDisk, files) << "side files without a row";
    for (qint64 seq : reported) EXPECT_TRUE(stored.contains(seq)) << "reported stored, then lost: " << seq;
    // No gaps: a record never commits before one added earlier.
    qint64 last = first - 1;
    while (stored.contains(last + 1)) ++last;
    if (!deletes) {
        for (qint64 seq : stored) EXPECT_LE(seq, last) << "stored without the records before it";
    }
    store.Close();

    TRawDb db(store.DatabaseFileName());
    EXPECT_EQ(db.Value(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    EXPECT_EQ(db.Value(QStringLiteral("SELECT count(*) FROM LogSearchKey")).toLongLong(), rows);
    if (!deletes) { EXPECT_EQ(db.Value(QStringLiteral("SELECT count(*) FROM LogSearch_docsize")).toLongLong(), rows); }
    return stored;
}

qint64 NextFirst(const QSet<qint64>& stored, qint64 first) {
    qint64 next = first;
    for (qint64 seq : stored) next = qMax(next, seq + 1);
    return next + 1000; // a new run starts well clear of the last one's numbers
}

TEST(ChatLogCrash, KilledAtRandomMomentsLeavesWholeRecordsOnly) {
    TTempHome home;
    const QString folder = home.Path() + QStringLiteral("ChatDB/");
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    qint64 first = 1;
    QSet<qint64> all;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(::testing::Message() << "round " << round);
        TChild child({folder, QStringLiteral("burst"), QString::number(first)});
        const int killAfter = int(random.bounded(1, 300));
        int stored = 0;
        ASSERT_TRUE(child.WaitFor([&](const QByteArray& line) { return line.startsWith("stored ") && ++stored >= killAfter; }));
        child.Kill();
        const QSet<qint64> now = CheckLog(folder, child.Stored(), first);
        if (::testing::Test::HasFailure()) return;
        all += now;
        first = NextFirst(now, first);
    }
    EXPECT_GT(all.size(), 6);
}

// A kill at each step of storing a batch.
struct TStepCase {
    std::string Name;
    const char* Step;
    int Count;
};
void PrintTo(const TStepCase& c, std::ostream* os) { *os << c.Name; }

class ChatLogCrashAtStep : public ::testing::TestWithParam<TStepCase> {};

TEST_P(ChatLogCrashAtStep, LeavesWholeRecordsOnly) {
    TTempHome home;
    const QString folder = home.Path() + QStringLiteral("ChatDB/");
    for (qint64 first : {1, 5000}) {
        TChild child({folder, QStringLiteral("step"), QString::number(first), QLatin1String(GetParam().Step),
                      QString::number(GetParam().Count)});
        ASSERT_TRUE(child.WaitFor([](const QByteArray& line) { return line.startsWith("at "); }))
            << "the child never reached " << GetParam().Step;
        child.Kill();
        CheckLog(folder, child.Stored(), first);
    }
    // And the log takes new records afterwards.
    TChild child({folder, QStringLiteral("burst"), QStringLiteral("9000")});
    int stored = 0;
    ASSERT_TRUE(child.WaitFor([&](const QByteArray& line) { return line.startsWith("stored ") && ++stored >= 20; }));
    child.Kill();
    CheckLog(folder, child.Stored(), 9000);
}

INSTANTIATE_TEST_SUITE_P(Steps, ChatLogCrashAtStep,
                         ::testing::Values(TStepCase{"RowInserted", "row-inserted", 7},
                                           TStepCase{"FileWritten", "file-written", 9},
                                           TStepCase{"FilesSynced", "files-synced", 2},
                                           TStepCase{"FileWrittenLater", "file-written", 300},
                                           TStepCase{"FilesSyncedLater", "files-synced", 5},
                                           TStepCase{"Committed", "committed", 2}),
                         TCaseName());

// 60 records, the 15 of the file log deleted; the numbers of those left.
QSet<qint64> WriteAndDelete(const QString& folder) {
    QSet<qint64> written;
    TChatLogStore store(folder);
    EXPECT_TRUE(store.Open());
    QList<TLogRecord> records;
    for (qint64 seq = 1; seq <= 60; ++seq) {
        records += ChatLogBurst::RecordOf(seq);
        if (ChatLogBurst::TypeOf(seq) != ltFile) written += seq;
    }
    EXPECT_TRUE(store.Append(records));
    EXPECT_EQ(store.DeleteLogCategory(TLogFilter::All(ltFile)), 15);
    return written;
}

// A delete killed before and after it commits.
class ChatLogCrashInDelete : public ::testing::TestWithParam<TStepCase> {};

TEST_P(ChatLogCrashInDelete, LeavesEveryRowWithItsFile) {
    TTempHome home;
    const QString folder = home.Path() + QStringLiteral("ChatDB/");
    QSet<qint64> written = WriteAndDelete(folder);
    TChild child({folder, QStringLiteral("delete"), QLatin1String(GetParam().Step)});
    ASSERT_TRUE(child.WaitFor([](const QByteArray& line) { return line.startsWith("at "); }));
    child.Kill();
    const QSet<qint64> stored = CheckLog(folder, {}, 1, true);
    if (QByteArray(GetParam().Step) == "delete-committed")
        for (qint64 seq = 1; seq <= 60; ++seq)
            if (ChatLogBurst::TypeOf(seq) == ltBroadcast) written.remove(seq);
    EXPECT_EQ(stored, written);
}

INSTANTIATE_TEST_SUITE_P(Steps, ChatLogCrashInDelete,
                         ::testing::Values(TStepCase{"BeforeCommit", "delete-executed", 1},
                                           TStepCase{"AfterCommit", "delete-committed", 1}),
                         TCaseName());

// A compaction killed before and after its copy replaces the database.
class ChatLogCrashInCompaction : public ::testing::TestWithParam<TStepCase> {};

TEST_P(ChatLogCrashInCompaction, LeavesAWholeDatabase) {
    TTempHome home;
    const QString folder = home.Path() + QStringLiteral("ChatDB/");
    const QSet<qint64> written = WriteAndDelete(folder);
    TChild child({folder, QStringLiteral("compact"), QLatin1String(GetParam().Step)});
    ASSERT_TRUE(child.WaitFor([](const QByteArray& line) { return line.startsWith("at "); }));
    child.Kill();
    EXPECT_EQ(CheckLog(folder, written, 1, true), written);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("chatlog.mdb.bak")));
    // A compaction that runs to its end afterwards.
    TChild again({folder, QStringLiteral("compact"), QStringLiteral("never")});
    EXPECT_EQ(again.ExitCode(), 0);
    EXPECT_EQ(CheckLog(folder, written, 1, true), written);
}

INSTANTIATE_TEST_SUITE_P(Steps, ChatLogCrashInCompaction,
                         ::testing::Values(TStepCase{"CopyWritten", "compact-written", 1},
                                           TStepCase{"BeforeRename", "compact-before-rename", 1}),
                         TCaseName());

// A first-schema log whose index is being built anew when the process is
// killed: the old schema is there whole, and the next start does it all.
class ChatLogCrashInMigration : public ::testing::TestWithParam<TStepCase> {};

TEST_P(ChatLogCrashInMigration, LeavesTheOldIndexWhole) {
    TTempHome home;
    const QString folder = home.Path() + QStringLiteral("ChatDB/");
    QList<TLogRecord> records;
    for (int i = 0; i < 40; ++i) {
        records += Record(i % 2 ? ltSingle : ltBroadcast, QStringLiteral("n%1").arg(i), "news " + QByteArray::number(i));
        records.back().LogTime = When(i);
    }
    MakeFirstSchemaLog(folder, records);
    const QString database = folder + QStringLiteral("chatlog.mdb");
    const QStringList before = FirstSchemaHits(database, QStringLiteral("news 1"));
    ASSERT_EQ(before.size(), 11);
    TChild child({folder, QStringLiteral("open"), QLatin1String(GetParam().Step)});
    ASSERT_TRUE(child.WaitFor([](const QByteArray& line) { return line.startsWith("at "); }));
    child.Kill();
    EXPECT_FALSE(TRawDb(database).Value(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'LogSearch'"))
                     .toString()
                     .contains(QStringLiteral("detail=none")));
    EXPECT_EQ(FirstSchemaHits(database, QStringLiteral("news 1")), before);
    TChatLogStore store(folder);
    ASSERT_TRUE(store.Open()) << store.LastError().toStdString();
    const std::optional<QList<TLogSearchHit>> hits = store.SearchLog(QStringLiteral("news 1"), 0, -1);
    ASSERT_TRUE(hits.has_value());
    QStringList after;
    for (const TLogSearchHit& hit : *hits) after += QStringLiteral("%1:%2").arg(int(hit.Entry.Category)).arg(hit.Entry.ID);
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(Steps, ChatLogCrashInMigration,
                         ::testing::Values(TStepCase{"SchemaCreated", "schema-created", 1},
                                           TStepCase{"IndexRebuilt", "index-rebuilt", 1}),
                         TCaseName());

} // namespace
