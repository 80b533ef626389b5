// The chat log on disk: tables and side files as other tools read them, the
// list entries, deleting, compacting, and what an interrupted run leaves.
#include "chatlog/ChatLogStoreUnit.h"

#include "support/CaseName.h"
#include "support/ChatLogFixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <ostream>

using namespace ChatLogFixtures;

namespace {

const QString kColumns = QStringLiteral("ID,LangID,IfSendOut,IfBroadcast,LogTime,Nick,Computer,IP,First2Line,Content");

QString Columns(const TRawDb& db, const QString& table) {
    QStringList names;
    for (const QString& row : db.Rows(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table)))
        names += row.section(QLatin1Char('|'), 1, 1);
    return names.join(QLatin1Char(','));
}

QFile::Permissions OwnerOnly(bool folder) {
    return QFile::ReadOwner | QFile::WriteOwner | (folder ? QFile::ExeOwner : QFile::Permissions());
}

TEST(ChatLogStore, CreatesTheDocumentedTablesReadableByTheUserAlone) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open()) << home.Store.LastError().toStdString();
    EXPECT_EQ(home.Store.DatabaseFileName(), home.Folder() + QStringLiteral("chatlog.mdb"));
    ASSERT_GT(home.Add(Record(ltSingle, QStringLiteral("Bob"), "x")), 0);

    TRawDb db(home.Store.DatabaseFileName());
    for (const char* table : {"Message", "Broadcast", "GroupMsg", "File"})
        EXPECT_EQ(Columns(db, QLatin1String(table)), kColumns) << table;
    EXPECT_EQ(db.Value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    // SQLite has no password: the folder and files are the user's alone.
    EXPECT_EQ(QFile::permissions(home.Folder()) & 0x7077, OwnerOnly(true) & 0x7077);
    EXPECT_EQ(QFile::permissions(home.Store.ContentFolder()) & 0x7077, OwnerOnly(true) & 0x7077);
    for (const QString& file : {home.Store.DatabaseFileName(), home.Store.DatabaseFileName() + QStringLiteral("-wal"),
                                home.SideFile(ltSingle, 1)})
        EXPECT_EQ(QFile::permissions(file) & 0x7077, OwnerOnly(false) & 0x7077) << file.toStdString();
}

// The events that log a record, as their callers fill it.
struct TEventCase {
    std::string Name;
    TLogRecord Record;
    QString Table;
    QString SideFileType;
};
void PrintTo(const TEventCase& c, std::ostream* os) { *os << c.Name; }

TLogRecord Event(TLogType type, const QString& nick, const QString& computer, const QString& ip, bool sendOut,
                 const QByteArray& content) {
    TLogRecord r = Record(type, nick, content, sendOut, computer, ip);
    r.IfBroadcast = type == ltBroadcast;
    return r;
}

class ChatLogEvents : public ::testing::TestWithParam<TEventCase> {};

TEST_P(ChatLogEvents, StoreARowAndASideFileNamedAfterIt) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    const TLogRecord& record = GetParam().Record;
    // Earlier rows of the other tables and this one: the file is named after this row.
    for (TLogType type : {ltSingle, ltBroadcast, ltGroup, ltFile, record.LogType})
        home.Add(Record(type, QStringLiteral("earlier"), "earlier"));
    const qint64 id = home.Add(record);
    ASSERT_GT(id, 0) << home.Store.LastError().toStdString();

    TRawDb db(home.Store.DatabaseFileName());
    const QStringList rows = db.Rows(
        QStringLiteral("SELECT ID, LangID, IfSendOut, IfBroadcast, Nick, Computer, IP, First2Line, Content, LogTime FROM \"%1\" "
                       "WHERE Nick <> 'earlier'")
            .arg(GetParam().Table));
    ASSERT_EQ(id, 3);
    ASSERT_EQ(rows.size(), 1);
    const QStringList expected{QString::number(id),
                               QString::number(record.LangID),
                               record.IfSendOut ? QStringLiteral("1") : QStringLiteral("0"),
                               record.IfBroadcast ? QStringLiteral("1") : QStringLiteral("0"),
                               record.Nick,
                               record.Computer,
                               record.IP,
                               record.First2Line,
                               QString(), // Content: never filled
                               QStringLiteral("2024-05-01 13:45:10.000")};
    EXPECT_EQ(rows.first(), expected.join(QLatin1Char('|')));
    const QString sideFile = QStringLiteral("%1.%2.db").arg(id).arg(GetParam().SideFileType);
    EXPECT_EQ(home.Store.SideFileName(record.LogType, id), home.Store.ContentFolder() + sideFile);
    EXPECT_EQ(home.SideBytes(record.LogType, id), record.Content);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChatLogEvents,
    ::testing::Values(
        TEventCase{"BroadcastSent", Event(ltBroadcast, QStringLiteral("All(Broadcast)"), {}, {}, true, "Hi"),
                   QStringLiteral("Broadcast"), QStringLiteral("Broadcast")},
        TEventCase{"MessageToNeighbourhoodComputer",
                   Event(ltSingle, QStringLiteral("<No_Nick>"), QStringLiteral("OLDPC"), QStringLiteral("10.0.0.9"), true,
                         "{\\rtf1 hello}\r\n"),
                   QStringLiteral("Message"), QStringLiteral("Single")},
        TEventCase{"MessageToSeveral",
                   Event(ltGroup, QStringLiteral("Ann(PC-2);Bob(PC-3);PC-4"), {}, {}, true, "{\\rtf1 all}\r\n"),
                   QStringLiteral("GroupMsg"), QStringLiteral("Group")},
        // Received bytes in the sender's code page, kept exactly (GBK here).
        TEventCase{"BroadcastReceived",
                   Event(ltBroadcast, QStringLiteral("Wang"), QStringLiteral("PC-8"), QStringLiteral("10.0.0.8"), false,
                         QByteArray::fromHex("c4e3bac30d0a00ff")),
                   QStringLiteral("Broadcast"), QStringLiteral("Broadcast")},
        TEventCase{"MessageReceived",
                   Event(ltSingle, QStringLiteral("Bob"), QStringLiteral("PC-1"), QStringLiteral("10.0.0.5"), false,
                         "{\\rtf1\\ansi hi}"),
                   QStringLiteral("Message"), QStringLiteral("Single")},
        TEventCase{"FilesSent",
                   Event(ltFile, QStringLiteral("Bob"), QStringLiteral("PC-1"), QStringLiteral("10.0.0.5"), true,
                         "<File>a.txt\r\n<Folder>docs"),
                   QStringLiteral("File"), QStringLiteral("File")},
        TEventCase{"FilesReceived",
                   Event(ltFile, QStringLiteral("Bob"), QStringLiteral("PC-1"), QStringLiteral("10.0.0.5"), false,
                         "<Saved In Folder>/home/u/Files/Bob\r\n<File>a.txt"),
                   QStringLiteral("File"), QStringLiteral("File")},
        // Longer than the old columns: kept whole, not dropped.
        TEventCase{"LongValuesKeptWhole",
                   Event(ltSingle, QString(300, QLatin1Char('n')), QString(100, QLatin1Char('c')),
                         QStringLiteral("fe80::1234:5678:9abc:def0%eth0"), false, ""),
                   QStringLiteral("Message"), QStringLiteral("Single")}),
    TCaseName());

TEST(ChatLogStore, NeverReusesAnId) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    for (int i = 0; i < 3; ++i) home.Add(Record(ltSingle, QStringLiteral("Bob"), "x"));
    ASSERT_TRUE(home.Store.DeleteLogRecord(ltSingle, 3));
    EXPECT_EQ(home.Add(Record(ltSingle, QStringLiteral("Bob"), "fourth")), 4);
    ASSERT_EQ(home.Store.DeleteLogCategory(TLogFilter::All(ltSingle)), 3);
    ASSERT_TRUE(home.Store.CompactDatabase()) << home.Store.LastError().toStdString();
    EXPECT_EQ(home.Add(Record(ltSingle, QStringLiteral("Bob"), "fifth")), 5);
    EXPECT_EQ(home.SideBytes(ltSingle, 5), QByteArray("fifth"));
    EXPECT_FALSE(QFile::exists(home.SideFile(ltSingle, 3)));
    EXPECT_FALSE(QFile::exists(home.SideFile(ltSingle, 4)));
}

// The first line of a list entry per category and direction.
struct TEntryCase {
    std::string Name;
    TLogType Listed;
    TLogRecord Record;
    QString Text;
};
void PrintTo(const TEntryCase& c, std::ostream* os) { *os << c.Name; }

class ChatLogEntries : public ::testing::TestWithParam<TEntryCase> {};

TEST_P(ChatLogEntries, ReadAsTheListShowsThem) {
    const TScopedLocale locale;
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    ASSERT_GT(home.Add(GetParam().Record), 0);
    TLogFilter filter = TLogFilter::All(GetParam().Listed);
    if (GetParam().Listed == ltRelation) filter = TLogFilter::OfNick(GetParam().Record.Nick);
    const std::optional<QList<TLogEntry>> entries = home.Store.LoadLogList(filter, 0);
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 1);
    EXPECT_EQ(ChatLog::EntryText(entries->first()), GetParam().Text + QStringLiteral("\r\nfirst line\r\nsecond line"));
    EXPECT_EQ(ChatLog::EntryHeader(entries->first()), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChatLogEntries,
    ::testing::Values(
        TEntryCase{"SingleSent", ltSingle, Record(ltSingle, QStringLiteral("Bob"), "", true),
                   QStringLiteral("To Bob(PC-1) Time 5/1/24 1:45:10 PM")},
        TEntryCase{"SingleReceived", ltSingle, Record(ltSingle, QStringLiteral("Bob"), "", false),
                   QStringLiteral("From Bob(PC-1) Time 5/1/24 1:45:10 PM")},
        TEntryCase{"RelationReceived", ltRelation, Record(ltSingle, QStringLiteral("Bob"), "", false),
                   QStringLiteral("From Bob(PC-1) Time 5/1/24 1:45:10 PM")},
        TEntryCase{"BroadcastSent", ltBroadcast, Record(ltBroadcast, QStringLiteral("All(Broadcast)"), "", true, {}, {}),
                   QStringLiteral("<Broadcast>To All(Broadcast) Time 5/1/24 1:45:10 PM")},
        TEntryCase{"BroadcastReceived", ltBroadcast, Record(ltBroadcast, QStringLiteral("Bob"), "", false),
                   QStringLiteral("<Broadcast>From Bob(PC-1) Time 5/1/24 1:45:10 PM")},
        TEntryCase{"Group", ltGroup, Record(ltGroup, QStringLiteral("Ann(PC-2);PC-4"), "", true, {}, {}),
                   QStringLiteral("<Group>To Ann(PC-2);PC-4 Time 5/1/24 1:45:10 PM")},
        TEntryCase{"FileSent", ltFile, Record(ltFile, QStringLiteral("Bob"), "", true),
                   QStringLiteral("To Bob(PC-1) Time 5/1/24 1:45:10 PM")},
        TEntryCase{"FileReceived", ltFile, Record(ltFile, QStringLiteral("Bob"), "", false),
                   QStringLiteral("From Bob(PC-1) Time 5/1/24 1:45:10 PM")}),
    TCaseName());

QList<qint64> Ids(const std::optional<QList<TLogEntry>>& entries) {
    QList<qint64> ids;
    if (entries)
        for (const TLogEntry& e : *entries) ids += e.ID;
    return ids;
}

TEST(ChatLogStore, ListsNewestFirstWithinTheBounds) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    for (int i = 0; i < 5; ++i) home.Add(Record(ltBroadcast, QStringLiteral("Bob"), "x"));
    const TLogFilter all = TLogFilter::All(ltBroadcast);
    EXPECT_EQ(Ids(home.Store.LoadLogList(all, 0)), (QList<qint64>{5, 4, 3, 2, 1}));
    // A refresh with the newest shown ID as lower bound brings only newer ones.
    EXPECT_EQ(Ids(home.Store.LoadLogList(all, 3)), (QList<qint64>{5, 4}));
    EXPECT_EQ(Ids(home.Store.LoadLogList(all, 5)), QList<qint64>{});
    // Pages: below the oldest shown, at most n.
    EXPECT_EQ(Ids(home.Store.LoadLogList(all, 0, 0, 2)), (QList<qint64>{5, 4}));
    EXPECT_EQ(Ids(home.Store.LoadLogList(all, 0, 4, 2)), (QList<qint64>{3, 2}));
    EXPECT_EQ(Ids(home.Store.LoadLogList(all, 0, 2, 2)), QList<qint64>{1});
}

TEST(ChatLogStore, PeerFiltersNameTheirRecordsOnly) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    home.Add(Record(ltSingle, QStringLiteral("Bob"), "1", false, QStringLiteral("PC-1"), QStringLiteral("10.0.0.1")));
    home.Add(Record(ltSingle, QStringLiteral("bob"), "2", false, QStringLiteral("pc-1"), QStringLiteral("10.0.0.2")));
    home.Add(Record(ltSingle, QStringLiteral("Ann"), "3", false, QStringLiteral("PC-2"), QStringLiteral("10.0.0.1")));
    home.Add(Record(ltGroup, QStringLiteral("Bob"), "4", true, QStringLiteral("PC-1"), QStringLiteral("10.0.0.1")));
    // Names compare without regard to letter case.
    EXPECT_EQ(Ids(home.Store.LoadLogList(TLogFilter::OfNick(QStringLiteral("BOB")), 0)), (QList<qint64>{2, 1}));
    EXPECT_EQ(Ids(home.Store.LoadLogList(TLogFilter::OfComputer(QStringLiteral("PC-1"), QStringLiteral("10.0.0.1")), 0)),
              QList<qint64>{1});
    EXPECT_EQ(Ids(home.Store.LoadLogList(TLogFilter::OfComputer(QStringLiteral("PC-1")), 0)), (QList<qint64>{2, 1}));
    // Deleting by computer takes every address of it, and nothing of another table.
    EXPECT_EQ(home.Store.DeleteLogCategory(TLogFilter::OfComputer(QStringLiteral("PC-1"), QStringLiteral("10.0.0.1"))), 2);
    EXPECT_EQ(Ids(home.Store.LoadLogList(TLogFilter::All(ltSingle), 0)), QList<qint64>{3});
    EXPECT_EQ(Ids(home.Store.LoadLogList(TLogFilter::All(ltGroup), 0)), QList<qint64>{1});
}

TEST(ChatLogStore, QuotesInANicknameNeverWidenADelete) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    const QString tricky = QStringLiteral("x' OR '1'='1");
    home.Add(Record(ltSingle, QStringLiteral("O'Brien"), "1"));
    home.Add(Record(ltSingle, tricky, "2"));
    home.Add(Record(ltSingle, QStringLiteral("Bob"), "3"));
    EXPECT_EQ(Ids(home.Store.LoadLogList(TLogFilter::OfNick(QStringLiteral("O'Brien")), 0)), QList<qint64>{1});
    EXPECT_EQ(home.Store.DeleteLogCategory(TLogFilter::OfNick(tricky)), 1);
    EXPECT_EQ(home.Store.DeleteLogCategory(TLogFilter::OfNick(QStringLiteral("'"))), 0);
    EXPECT_EQ(Ids(home.Store.LoadLogList(TLogFilter::All(ltSingle), 0)), (QList<qint64>{3, 1}));
    EXPECT_EQ(home.Store.ListNicknames(), (QStringList{QStringLiteral("Bob"), QStringLiteral("O'Brien")}));
}

TEST(ChatLogStore, DeletingRemovesRowsAndTheirFilesOnly) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    for (int i = 0; i < 3; ++i) home.Add(Record(ltFile, QStringLiteral("Bob"), "f"));
    home.Add(Record(ltGroup, QStringLiteral("Bob"), "g"));
    bool found = false;
    ASSERT_TRUE(home.Store.DeleteLogRecord(ltFile, 2, &found));
    EXPECT_TRUE(found);
    EXPECT_FALSE(QFile::exists(home.SideFile(ltFile, 2)));
    EXPECT_TRUE(QFile::exists(home.SideFile(ltFile, 1)));
    ASSERT_TRUE(home.Store.DeleteLogRecord(ltFile, 2, &found));
    EXPECT_FALSE(found);
    EXPECT_EQ(Ids(home.Store.LoadLogList(TLogFilter::All(ltFile), 0)), (QList<qint64>{3, 1}));

    EXPECT_EQ(home.Store.DeleteLogCategory(TLogFilter::All(ltFile)), 2);
    EXPECT_FALSE(QFile::exists(home.SideFile(ltFile, 1)));
    EXPECT_FALSE(QFile::exists(home.SideFile(ltFile, 3)));
    EXPECT_EQ(home.SideBytes(ltGroup, 1), QByteArray("g"));
}

TEST(ChatLogStore, DeletingAnEmptyCategoryWritesNothing) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    home.Add(Record(ltSingle, QStringLiteral("Bob"), "x"));
    TRawDb db(home.Store.DatabaseFileName());
    // data_version changes when another connection commits a change.
    const QVariant before = db.Value(QStringLiteral("PRAGMA data_version"));
    EXPECT_EQ(home.Store.DeleteLogCategory(TLogFilter::All(ltBroadcast)), 0);
    EXPECT_EQ(home.Store.DeleteLogCategory(TLogFilter::OfNick(QStringLiteral("nobody"))), 0);
    EXPECT_EQ(db.Value(QStringLiteral("PRAGMA data_version")), before);
    EXPECT_EQ(home.Store.DeleteLogCategory(TLogFilter::All(ltSingle)), 1);
    EXPECT_NE(db.Value(QStringLiteral("PRAGMA data_version")), before);
}

TEST(ChatLogStore, ContentIsTheSideFileReadForItsAuthor) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    TLogRecord gbk = Record(ltBroadcast, QStringLiteral("Wang"), QByteArray::fromHex("c4e3bac3cac0bde7"));
    gbk.LangID = 2052;
    const qint64 broadcast = home.Add(gbk);
    const qint64 rich = home.Add(Record(ltSingle, QStringLiteral("Bob"),
                                        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\f0 caf\\'e9\\par}"));
    const std::optional<TLogContent> text = home.Store.LoadLogContent(ltBroadcast, broadcast);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->Bytes, gbk.Content);
    EXPECT_EQ(text->PlainText(), QString::fromUtf8("你好世界"));
    const std::optional<TLogContent> rtf = home.Store.LoadLogContent(ltRelation, rich);
    ASSERT_TRUE(rtf.has_value());
    EXPECT_TRUE(rtf->IsRichText());
    EXPECT_EQ(rtf->PlainText().trimmed(), QString::fromUtf8("café"));

    ASSERT_TRUE(QFile::remove(home.SideFile(ltSingle, rich)));
    EXPECT_FALSE(home.Store.LoadLogContent(ltSingle, rich).has_value());
    EXPECT_TRUE(home.Store.LastError().contains(QStringLiteral("%1.Single.db").arg(rich))) << home.Store.LastError().toStdString();
    EXPECT_FALSE(home.Store.LoadLogContent(ltSingle, 99).has_value());
}

TEST(ChatLogStore, CompactionKeepsEveryRecord) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    for (int i = 0; i < 40; ++i)
        home.Add(Record(TLogType(ltSingle + i % 4), QStringLiteral("n%1").arg(i), QByteArray("content ") + QByteArray::number(i)));
    ASSERT_EQ(home.Store.DeleteLogCategory(TLogFilter::OfNick(QStringLiteral("n4"))), 1);
    const QString dump = QStringLiteral("SELECT * FROM Message UNION ALL SELECT * FROM Broadcast UNION ALL "
                                        "SELECT * FROM GroupMsg UNION ALL SELECT * FROM File");
    QStringList before;
    {
        TRawDb db(home.Store.DatabaseFileName());
        before = db.Rows(dump) + db.Rows(QStringLiteral("SELECT * FROM sqlite_sequence ORDER BY name"));
    }
    ASSERT_EQ(before.size(), 39 + 5); // and the sequences of the four tables and the search keys
    ASSERT_TRUE(home.Store.CompactDatabase()) << home.Store.LastError().toStdString();

    EXPECT_FALSE(QFile::exists(home.Store.DatabaseFileName() + QStringLiteral(".bak")));
    EXPECT_EQ(QFile::permissions(home.Store.DatabaseFileName()) & 0x7077, OwnerOnly(false) & 0x7077);
    TRawDb db(home.Store.DatabaseFileName());
    EXPECT_EQ(db.Rows(dump) + db.Rows(QStringLiteral("SELECT * FROM sqlite_sequence ORDER BY name")), before);
    EXPECT_EQ(db.Value(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    EXPECT_EQ(db.Value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    // The store goes on working on the new file.
    EXPECT_EQ(home.Add(Record(ltSingle, QStringLiteral("after"), "new")), 11);
    EXPECT_EQ(home.Store.LoadLogContent(ltGroup, 10)->Bytes, QByteArray("content 38"));
}

TEST(ChatLogStore, CompactionWaitsForNoOtherProgram) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    home.Add(Record(ltSingle, QStringLiteral("Bob"), "x"));
    TChatLogStore other(home.Folder());
    ASSERT_TRUE(other.Open(TChatLogStore::omRead));
    EXPECT_FALSE(home.Store.CompactDatabase());
    EXPECT_TRUE(home.Store.LastError().contains(QStringLiteral("another program"))) << home.Store.LastError().toStdString();
    // Both go on, on the same file.
    EXPECT_EQ(home.Add(Record(ltSingle, QStringLiteral("Bob"), "y")), 2);
    EXPECT_EQ(Ids(other.LoadLogList(TLogFilter::All(ltSingle), 0)), (QList<qint64>{2, 1}));
    other.Close();
    EXPECT_TRUE(home.Store.CompactDatabase()) << home.Store.LastError().toStdString();
}

TEST(ChatLogStore, OpeningRemovesWhatAnInterruptedRunLeft) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    for (int i = 0; i < 3; ++i) home.Add(Record(ltGroup, QStringLiteral("Bob"), "kept"));
    ASSERT_TRUE(home.Store.DeleteLogRecord(ltGroup, 3));
    home.Store.Close();
    // Files of a batch that never committed (IDs after the sequence), and the
    // file of a row whose delete committed before the process died.
    home.Home.Write(QStringLiteral("ChatDB/Content/4.Group.db"), "uncommitted");
    home.Home.Write(QStringLiteral("ChatDB/Content/5.Group.db"), "half");
    home.Home.Write(QStringLiteral("ChatDB/Content/3.Group.db"), "deleted");
    home.Home.Write(QStringLiteral("ChatDB/Content/notes.txt"), "not ours");
    {
        TRawDb db(home.Store.DatabaseFileName());
        db.Value(QStringLiteral("INSERT INTO LogMaintenance (Name, Value) VALUES ('UnlinkPending', 1) "
                                "ON CONFLICT (Name) DO UPDATE SET Value = 1"));
    }
    ASSERT_TRUE(home.Store.Open());
    const QDir content(home.Store.ContentFolder());
    EXPECT_EQ(content.entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("1.Group.db"), QStringLiteral("2.Group.db"), QStringLiteral("notes.txt")}));
    // The next record gets ID 4 and its own content.
    EXPECT_EQ(home.Add(Record(ltGroup, QStringLiteral("Bob"), "fourth")), 4);
    EXPECT_EQ(home.SideBytes(ltGroup, 4), QByteArray("fourth"));
}

TEST(ChatLogStore, ReadableWithTheSqliteTool) {
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite3.isEmpty()) GTEST_SKIP() << "sqlite3 is not installed";
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    home.Add(Record(ltSingle, QStringLiteral("O'Brien"), "hello", true));
    home.Add(Record(ltBroadcast, QStringLiteral("All(Broadcast)"), "hi", true, {}, {}));
    QProcess tool;
    tool.start(sqlite3, {QStringLiteral("-readonly"), home.Store.DatabaseFileName(),
                         QStringLiteral("PRAGMA integrity_check; SELECT ID, Nick, IfSendOut, Content FROM Message; "
                                        "SELECT ID, Nick, IfBroadcast, LogTime FROM Broadcast;")});
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(tool.readAllStandardOutput()),
              QStringLiteral("ok\n1|O'Brien|1|\n1|All(Broadcast)|1|2024-05-01 13:45:10.000\n"));
}

} // namespace
