// Full-text search of the chat log: substrings of Latin and Chinese text in
// any record's content, newest first, deleted records never found.
#include "chatlog/ChatLogSearchUnit.h"
#include "chatlog/ChatLogStoreUnit.h"

#include "support/CaseName.h"
#include "support/ChatLogFixtures.h"
#include "text/MsgLangUnit.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <ostream>

using namespace ChatLogFixtures;

namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

// A broadcast from a Simplified Chinese node: its text in GBK.
TLogRecord ChineseBroadcast(const QString& text) {
    TLogRecord record = Record(ltBroadcast, QStringLiteral("Wang"), TMessageLang::Encode(2052, text));
    record.LangID = 2052;
    return record;
}

QList<qint64> FoundIds(TChatLogStore& store, const QString& text, qint64 beforeKey = 0, int limit = 50) {
    QList<qint64> ids;
    const std::optional<QList<TLogSearchHit>> hits = store.SearchLog(text, beforeKey, limit);
    EXPECT_TRUE(hits.has_value()) << store.LastError().toStdString();
    if (hits)
        for (const TLogSearchHit& hit : *hits) ids += hit.Entry.ID;
    return ids;
}

// Whether a query finds a text, for queries of every length.
struct TMatchCase {
    std::string Name;
    QString Text;
    QString Query;
    bool Found;
};
void PrintTo(const TMatchCase& c, std::ostream* os) { *os << c.Name; }

class ChatLogSearchMatch : public ::testing::TestWithParam<TMatchCase> {};

TEST_P(ChatLogSearchMatch, FindsExactlyTheSubstrings) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    ASSERT_GT(home.Add(ChineseBroadcast(GetParam().Text)), 0);
    EXPECT_EQ(FoundIds(home.Store, GetParam().Query), GetParam().Found ? QList<qint64>{1} : QList<qint64>{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChatLogSearchMatch,
    ::testing::Values(
        TMatchCase{"ChineseWordOfTwo", Utf8("今天你好世界再见"), Utf8("世界"), true},
        TMatchCase{"ChineseAtTheEnd", Utf8("今天你好世界"), Utf8("世界"), true},
        TMatchCase{"ChineseAtTheStart", Utf8("世界你好"), Utf8("世界"), true},
        TMatchCase{"ChineseLonger", Utf8("今天你好世界再见"), Utf8("好世界再"), true},
        TMatchCase{"ChineseNotAdjacent", Utf8("今天你好世界再见"), Utf8("好界"), false},
        TMatchCase{"ChineseMixedWithLatin", Utf8("请看report第三页"), Utf8("t第三"), true},
        TMatchCase{"LatinInsideAWord", QStringLiteral("Hello there"), QStringLiteral("ell"), true},
        TMatchCase{"LatinTwoLetters", QStringLiteral("Hello there"), QStringLiteral("th"), true},
        TMatchCase{"LatinIgnoresCase", QStringLiteral("Hello there"), QStringLiteral("hELLO"), true},
        TMatchCase{"AcrossWords", QStringLiteral("Hello there"), QStringLiteral("o t"), true},
        TMatchCase{"LineBreaksAsSpaces", QStringLiteral("Hello\r\n  there"), QStringLiteral("hello there"), true},
        TMatchCase{"RepeatedLetters", QStringLiteral("aaa"), QStringLiteral("aa"), true},
        TMatchCase{"RepeatsNotInvented", QStringLiteral("aba"), QStringLiteral("aa"), false},
        TMatchCase{"RepeatsNotInventedLonger", QStringLiteral("abab"), QStringLiteral("aabb"), false},
        // Every trigram of the query is in the text, but not in one place.
        TMatchCase{"PiecesApart", QStringLiteral("repo port"), QStringLiteral("report"), false},
        TMatchCase{"ChinesePiecesApart", Utf8("你好世 世界"), Utf8("好世界"), false},
        TMatchCase{"LongerThanTheText", QStringLiteral("abc"), QStringLiteral("abcd"), false},
        // Query syntax is text: quotes, stars and operators match themselves.
        TMatchCase{"Quotes", QStringLiteral("say \"yes\" now"), QStringLiteral("\"yes\""), true},
        TMatchCase{"Operators", QStringLiteral("a OR b"), QStringLiteral("OR b"), true},
        TMatchCase{"OperatorsNotApplied", QStringLiteral("apple"), QStringLiteral("ap OR zz"), false},
        TMatchCase{"Star", QStringLiteral("x*y"), QStringLiteral("*y"), true},
        // One character: in Chinese often the whole word.
        TMatchCase{"ChineseOneCharacterWord", Utf8("明天下午开会"), Utf8("会"), true},
        TMatchCase{"ChineseOneCharacterIsTheText", Utf8("钱"), Utf8("钱"), true},
        TMatchCase{"ChineseOneCharacterAbsent", Utf8("发票已寄出"), Utf8("钱"), false},
        TMatchCase{"LatinOneLetterAnyCase", QStringLiteral("Hello there"), QStringLiteral("H"), true},
        TMatchCase{"LatinOneLetterLast", QStringLiteral("Hello there"), QStringLiteral("E"), true},
        TMatchCase{"LatinOneLetterAbsent", QStringLiteral("Hello there"), QStringLiteral("z"), false},
        TMatchCase{"ChineseOneCharacterRepeated", Utf8("哈哈哈"), Utf8("哈"), true},
        TMatchCase{"OneQuote", QStringLiteral("say \"yes\""), QStringLiteral(" \" "), true},
        // The single characters' trigrams do not make a longer query's.
        TMatchCase{"SinglesDoNotMakeRepeats", QStringLiteral("ab"), QStringLiteral("aa"), false}),
    TCaseName());

TEST(ChatLogSearch, MatchesTheTextOfRichContentNotItsMarkup) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    home.Add(Record(ltSingle, QStringLiteral("Bob"),
                    "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\\f0 "
                    "\\'c4\\'e3\\'ba\\'c3 meeting at noon\\par}"));
    EXPECT_EQ(FoundIds(home.Store, Utf8("你好")), QList<qint64>{1});
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("meeting")), QList<qint64>{1});
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("fonttbl")), QList<qint64>{});
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("rtf1")), QList<qint64>{});
}

// A huge record is indexed as far as the cut: a word inside it is found, one past it not.
TEST(ChatLogSearch, IndexesAHugeRecordUpToItsCut) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    const qsizetype cut = ChatLog::kMaxIndexedChars;
    QByteArray text(cut + 64, '.');
    text.replace(cut - 8, 6, "inside");
    text.replace(cut + 8, 6, "beyond");
    home.Add(Record(ltSingle, QStringLiteral("Bob"), text));
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("inside")), QList<qint64>{1});
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("beyond")), QList<qint64>{});
    // Only the content's first bytes are read for it: text after a huge picture is not indexed.
    const QByteArray picture = "{\\pict\\pngblip " + QByteArray(ChatLog::kMaxIndexedBytes, 'a') + "}";
    home.Add(Record(ltSingle, QStringLiteral("Bob"), "{\\rtf1 beforepicture " + picture + " afterpicture}"));
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("beforepicture")), QList<qint64>{2});
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("afterpicture")), QList<qint64>{});
    // A cut inside a pair of surrogates keeps the pair out whole.
    const QString pair = QString::fromUcs4(U"\U0001F600");
    const QString around = QString(cut - 1, QLatin1Char('a')) + pair;
    EXPECT_EQ(ChatLog::IndexForm(around), ChatLog::IndexForm(around.left(cut - 1)));
}

TEST(ChatLogSearch, HitsComeNewestFirstAcrossTablesInPages) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    home.Add(Record(ltFile, QStringLiteral("Bob"), "<File>plan.txt"));                                  // File 1
    home.Add(Record(ltSingle, QStringLiteral("Bob"), "{\\rtf1 the plan\\par}"));                         // Message 1
    home.Add(Record(ltSingle, QStringLiteral("Bob"), "{\\rtf1 nothing here\\par}"));                     // Message 2
    home.Add(Record(ltBroadcast, QStringLiteral("All(Broadcast)"), "new plan", true, {}, {}));          // Broadcast 1
    home.Add(Record(ltGroup, QStringLiteral("Ann;Bob"), "{\\rtf1 plan B\\par}", true, {}, {}));          // GroupMsg 1
    const std::optional<QList<TLogSearchHit>> first = home.Store.SearchLog(QStringLiteral("plan"), 0, 3);
    ASSERT_TRUE(first.has_value());
    ASSERT_EQ(first->size(), 3);
    EXPECT_EQ(first->at(0).Entry.Category, ltGroup);
    EXPECT_EQ(first->at(1).Entry.Category, ltBroadcast);
    EXPECT_EQ(first->at(2).Entry.Category, ltSingle);
    EXPECT_EQ(first->at(2).Entry.ID, 1);
    // Hits list like entries.
    EXPECT_EQ(first->at(1).Entry.Nick, QStringLiteral("All(Broadcast)"));
    EXPECT_TRUE(first->at(1).Entry.IfSendOut);
    const std::optional<QList<TLogSearchHit>> rest = home.Store.SearchLog(QStringLiteral("plan"), first->at(2).Key, 3);
    ASSERT_TRUE(rest.has_value());
    ASSERT_EQ(rest->size(), 1);
    EXPECT_EQ(rest->at(0).Entry.Category, ltFile);
}

TEST(ChatLogSearch, NeverFindsDeletedRecords) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    for (int i = 0; i < 3; ++i) home.Add(ChineseBroadcast(Utf8("会议纪要 %1").arg(i)));
    home.Add(Record(ltSingle, QStringLiteral("Bob"), "{\\rtf1 minutes\\par}"));
    ASSERT_TRUE(home.Store.DeleteLogRecord(ltBroadcast, 2));
    EXPECT_EQ(FoundIds(home.Store, Utf8("纪要")), (QList<qint64>{3, 1}));
    ASSERT_EQ(home.Store.DeleteLogCategory(TLogFilter::OfNick(QStringLiteral("Bob"))), 1);
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("minutes")), QList<qint64>{});
    // New records after deletes get keys of their own.
    home.Add(ChineseBroadcast(Utf8("新纪要")));
    EXPECT_EQ(FoundIds(home.Store, Utf8("纪要")), (QList<qint64>{4, 3, 1}));
}

TEST(ChatLogSearch, CompactionDropsTheEntriesOfManyDeletedRecords) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    QList<TLogRecord> records;
    for (int i = 0; i < 120; ++i) records += Record(ltFile, QStringLiteral("n%1").arg(i % 2), "<File>report " + QByteArray::number(i));
    ASSERT_TRUE(home.Store.Append(records));
    ASSERT_EQ(home.Store.DeleteLogCategory(TLogFilter::All(ltFile)), 120);
    home.Add(Record(ltFile, QStringLiteral("kept"), "<File>report kept"));
    ASSERT_TRUE(home.Store.CompactDatabase()) << home.Store.LastError().toStdString();
    TRawDb db(home.Store.DatabaseFileName());
    EXPECT_EQ(db.Value(QStringLiteral("SELECT count(*) FROM LogSearch_docsize")).toInt(), 1);
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("report")), QList<qint64>{121});
}

TEST(ChatLogSearch, OnlyAnEmptyQueryIsRefused) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    home.Add(ChineseBroadcast(Utf8("猫")));
    EXPECT_EQ(ChatLog::MatchExpression(Utf8("猫")), Utf8("\"猫猫猫\""));
    EXPECT_EQ(ChatLog::MatchExpression(QStringLiteral("  a \r\n")), QStringLiteral("\"aaa\""));
    // A character beyond the basic plane counts once.
    EXPECT_EQ(ChatLog::MatchExpression(Utf8("😀")), Utf8("\"😀😀😀\""));
    EXPECT_FALSE(ChatLog::MatchExpression(QStringLiteral(" \r\n\t")).has_value());
    EXPECT_FALSE(home.Store.SearchLog(QStringLiteral("  ")).has_value());
    EXPECT_FALSE(home.Store.LastError().isEmpty());
}

// Each distinct character once, after the doubled text; spaces never.
TEST(ChatLogSearch, IndexFormAddsEachCharacterAlone) {
    EXPECT_EQ(ChatLog::IndexForm(QStringLiteral("ab a")), QStringLiteral("aabb  aa\naaa\nbbb"));
    EXPECT_EQ(ChatLog::IndexForm(Utf8("😀")), Utf8("😀😀\n😀😀😀"));
    QString many;
    for (int i = 0; i < ChatLog::kMaxSingleChars + 10; ++i) many += QChar(0x4E00 + i);
    EXPECT_EQ(ChatLog::IndexForm(many).count(QLatin1Char('\n')), ChatLog::kMaxSingleChars);
}

TEST(ChatLogSearch, IndexesExistingRecordsOfALogWithoutIndex) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    home.Add(Record(ltBroadcast, QStringLiteral("Bob"), "old news", false));
    home.Store.Close();
    {
        TRawDb db(home.Store.DatabaseFileName());
        db.Value(QStringLiteral("DROP TABLE LogSearch"));
        db.Value(QStringLiteral("DROP TABLE LogSearchKey"));
    }
    ASSERT_TRUE(home.Store.Open()) << home.Store.LastError().toStdString();
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("news")), QList<qint64>{1});
}

// Candidates the check turns down do not end a page early: the index is read
// on until the page is full or has nothing more.
TEST(ChatLogSearch, ReadsPastManyCandidatesTurnedDown) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    home.Add(Record(ltSingle, QStringLiteral("Bob"), "the report"));
    QList<TLogRecord> decoys;
    for (int i = 0; i < 300; ++i) decoys += Record(ltSingle, QStringLiteral("Ann"), "repo port " + QByteArray::number(i));
    ASSERT_TRUE(home.Store.Append(decoys));
    home.Add(Record(ltSingle, QStringLiteral("Bob"), "report again"));
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("report"), 0, 1), QList<qint64>{302});
    const std::optional<QList<TLogSearchHit>> first = home.Store.SearchLog(QStringLiteral("report"), 0, 1);
    ASSERT_TRUE(first && first->size() == 1);
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("report"), first->at(0).Key, 1), QList<qint64>{1});
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("report"), 0, -1), (QList<qint64>{302, 1}));
    EXPECT_EQ(FoundIds(home.Store, QStringLiteral("repo port"), 0, 0), QList<qint64>{});
}

// Hits as "Kind:ID", newest first.
QStringList HitNames(TChatLogStore& store, const QString& text) {
    QStringList names;
    const std::optional<QList<TLogSearchHit>> hits = store.SearchLog(text, 0, -1);
    EXPECT_TRUE(hits.has_value()) << store.LastError().toStdString();
    if (hits)
        for (const TLogSearchHit& hit : *hits) names += QStringLiteral("%1:%2").arg(int(hit.Entry.Category)).arg(hit.Entry.ID);
    return names;
}

QList<TLogRecord> MixedRecords() {
    QList<TLogRecord> records;
    for (int i = 0; i < 3; ++i) records += ChineseBroadcast(Utf8("季度报告 第%1页 report").arg(i));
    records += Record(ltSingle, QStringLiteral("Bob"), "{\\rtf1\\ansi the quarterly report is late\\par}");
    records += Record(ltSingle, QStringLiteral("Ann"), "{\\rtf1\\ansi repo port\\par}");
    records += Record(ltGroup, QStringLiteral("Ann;Bob"), "{\\rtf1 report B and \\'c4\\'e3\\par}", true, {}, {});
    records += Record(ltFile, QStringLiteral("Bob"), "<File>report.txt");
    records += Record(ltSingle, QStringLiteral("Bob"), "{\\rtf1\\ansi\\par}"); // nothing to index
    for (qsizetype i = 0; i < records.size(); ++i) records[i].LogTime = When(int(i));
    return records;
}

// What `sqlite3` says of the database and of its index.
// (The index's check is written as an INSERT, so the tool opens it for writing.)
std::string ToolCheck(const QString& database) {
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite3.isEmpty()) return "ok\n";
    QProcess tool;
    tool.start(sqlite3, {database, QStringLiteral("PRAGMA integrity_check; INSERT INTO LogSearch (LogSearch) VALUES ('integrity-check');")});
    tool.waitForFinished(30000);
    return (tool.readAllStandardOutput() + tool.readAllStandardError()).toStdString();
}

// A log of the first schema (an index with positions, three times the size)
// is given the smaller index when it opens, in one transaction, and finds
// what it found before.
TEST(ChatLogSearchMigration, FirstSchemaLogFindsTheSameAfterOpening) {
    TLogHome home;
    const QList<qint64> ids = MakeFirstSchemaLog(home.Folder(), MixedRecords());
    ASSERT_EQ(ids.size(), 8);
    const QStringList queries{Utf8("季度报告"), Utf8("报告"), QStringLiteral("report"), QStringLiteral("REPORT B"),
                              QStringLiteral("port"), Utf8("你"), Utf8("第1页"), QStringLiteral("late")};
    QHash<QString, QStringList> before;
    for (const QString& query : queries) before[query] = FirstSchemaHits(home.Store.DatabaseFileName(), query);
    ASSERT_EQ(before[QStringLiteral("report")].size(), 6) << before[QStringLiteral("report")].join(u' ').toStdString();
    ASSERT_EQ(before[QStringLiteral("port")].size(), 7);

    // A reader leaves the index to the writer and finds the same with the old one.
    {
        TChatLogStore reader(home.Folder());
        ASSERT_TRUE(reader.Open(TChatLogStore::omRead)) << reader.LastError().toStdString();
        for (const QString& query : queries)
            if (query.size() >= 2) EXPECT_EQ(HitNames(reader, query), before[query]) << query.toStdString();
        EXPECT_FALSE(TRawDb(home.Store.DatabaseFileName())
                         .Value(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'LogSearch'"))
                         .toString()
                         .contains(QStringLiteral("detail=none")));
    }
    ASSERT_TRUE(home.Store.Open()) << home.Store.LastError().toStdString();
    {
        TRawDb db(home.Store.DatabaseFileName());
        EXPECT_TRUE(db.Value(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'LogSearch'")).toString().contains(
            QStringLiteral("detail=none")));
        EXPECT_EQ(db.Rows(QStringLiteral("SELECT (SELECT count(*) FROM Message), (SELECT count(*) FROM Broadcast), "
                                         "(SELECT count(*) FROM GroupMsg), (SELECT count(*) FROM File), "
                                         "(SELECT count(*) FROM LogSearchKey)")),
                  QStringList{QStringLiteral("3|3|1|1|7")});
    }
    for (const QString& query : queries)
        if (query.size() >= 2) EXPECT_EQ(HitNames(home.Store, query), before[query]) << query.toStdString();
    EXPECT_EQ(ToolCheck(home.Store.DatabaseFileName()), "ok\n");

    // Deleting records takes their hits with them.
    ASSERT_TRUE(home.Store.DeleteLogRecord(ltBroadcast, 2));
    ASSERT_EQ(home.Store.DeleteLogCategory(TLogFilter::OfNick(QStringLiteral("Bob"))), 2);
    EXPECT_EQ(HitNames(home.Store, QStringLiteral("report")),
              (QStringList{QStringLiteral("4:1"), QStringLiteral("3:1"), QStringLiteral("2:3"), QStringLiteral("2:1")}));
    // Opening again builds nothing anew: the keys stay as they are.
    const QVariant lastKey = TRawDb(home.Store.DatabaseFileName()).Value(QStringLiteral("SELECT max(Key) FROM LogSearchKey"));
    home.Store.Close();
    ASSERT_TRUE(home.Store.Open());
    EXPECT_EQ(TRawDb(home.Store.DatabaseFileName()).Value(QStringLiteral("SELECT max(Key) FROM LogSearchKey")), lastKey);
    EXPECT_EQ(HitNames(home.Store, Utf8("季度")), (QStringList{QStringLiteral("2:3"), QStringLiteral("2:1")}));
    EXPECT_EQ(ToolCheck(home.Store.DatabaseFileName()), "ok\n");
}

} // namespace
