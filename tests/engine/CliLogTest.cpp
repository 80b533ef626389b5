// "quillmate-cli log ...": the chat log from the command line, run as the real
// program: what it prints, what it changes, and its exit status (2 bad usage,
// 1 failed operation with a message).
#include "chatlog/ChatLogStoreUnit.h"
#include "text/MsgLangUnit.h"

#include "support/CaseName.h"
#include "support/ChatLogFixtures.h"
#include "support/CliProcess.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <ostream>

using namespace ChatLogFixtures;

namespace {

QStringList Args(std::initializer_list<const char*> words) {
    QStringList list;
    for (const char* w : words) list += QString::fromUtf8(w);
    return list;
}

// A program folder with a small log; the test's own store is closed before
// the program runs.
class CliLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Home.Store.Open());
        Home.Add(Record(ltSingle, QStringLiteral("Bob"), "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Hello Bob\\par}", true));
        Home.Add(Record(ltSingle, QStringLiteral("Ann"), "{\\rtf1 from Ann\\par}", false, QStringLiteral("PC-2")));
        Home.Add(Record(ltSingle, QStringLiteral("bob"), "{\\rtf1 again\\par}", false));
        TLogRecord gbk = Record(ltBroadcast, QStringLiteral("Wang"), TMessageLang::Encode(2052, QString::fromUtf8("你好世界")));
        gbk.LangID = 2052;
        Home.Add(gbk);
        Home.Store.Close();
    }
    TCliResult Run(const QStringList& arguments) const { return RunCliProcess(Home.Home.Path(), arguments); }

    TLogHome Home;
};

// Bad usage never touches the log.
struct TUsageCase {
    std::string Name;
    QStringList Arguments;
};
void PrintTo(const TUsageCase& c, std::ostream* os) { *os << c.Name; }

class CliLogUsage : public ::testing::TestWithParam<TUsageCase> {};

TEST_P(CliLogUsage, ExitsWithTwoAndOneLine) {
    TTempHome home;
    const TCliResult r = RunCliProcess(home.Path(), GetParam().Arguments);
    EXPECT_EQ(r.Exit, 2) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.startsWith(QStringLiteral("quillmate-cli: "))) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.isEmpty());
    EXPECT_FALSE(QFile::exists(home.File(QStringLiteral("ChatDB"))));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliLogUsage,
    ::testing::Values(TUsageCase{"NoVerb", Args({"log"})}, TUsageCase{"UnknownVerb", Args({"log", "frob"})},
                      TUsageCase{"UnknownType", Args({"log", "list", "--type", "chat"})},
                      TUsageCase{"PeerAndNick", Args({"log", "list", "--peer", "A", "--nick", "B"})},
                      TUsageCase{"NickOfAGroup", Args({"log", "list", "--type", "group", "--nick", "B"})},
                      TUsageCase{"AfterNotANumber", Args({"log", "list", "--after", "x"})},
                      TUsageCase{"AfterNegative", Args({"log", "list", "--after", "-1"})},
                      TUsageCase{"LimitZero", Args({"log", "list", "--limit", "0"})},
                      TUsageCase{"LimitWithoutValue", Args({"log", "list", "--limit"})},
                      TUsageCase{"UnknownOption", Args({"log", "list", "--bogus"})},
                      TUsageCase{"ExtraArgument", Args({"log", "list", "extra"})},
                      TUsageCase{"ShowWithoutId", Args({"log", "show", "single"})},
                      TUsageCase{"ShowIdNotANumber", Args({"log", "show", "single", "abc"})},
                      TUsageCase{"ShowIdZero", Args({"log", "show", "single", "0"})},
                      TUsageCase{"ShowUnknownType", Args({"log", "show", "other", "1"})},
                      TUsageCase{"ExportWithoutFile", Args({"log", "export", "single"})},
                      TUsageCase{"DeleteTooMany", Args({"log", "delete", "file", "1", "2"})},
                      TUsageCase{"CompactWithArgument", Args({"log", "compact", "now"})},
                      TUsageCase{"SearchWithoutText", Args({"log", "search"})},
                      TUsageCase{"SearchOnlySpaces", Args({"log", "search", "  "})},
                      TUsageCase{"SearchExportWithoutFile", Args({"log", "search", "hello", "--export"})}),
    TCaseName());

TEST_F(CliLogTest, ListsNewestFirst) {
    const TCliResult r = Run(Args({"log", "list"}));
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QStringList lines = r.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 9);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("3 From bob(PC-1) Time "))) << lines[0].toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("    first line"));
    EXPECT_EQ(lines[2], QStringLiteral("    second line"));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("2 From Ann(PC-2) Time ")));
    EXPECT_TRUE(lines[6].startsWith(QStringLiteral("1 To Bob(PC-1) Time ")));
}

TEST_F(CliLogTest, ListsOnePeerWithinBounds) {
    const TCliResult nick = Run(Args({"log", "list", "--nick", "BOB", "--json"}));
    ASSERT_EQ(nick.Exit, 0) << nick.Err.toStdString();
    const QStringList lines = nick.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    const QJsonObject newest = QJsonDocument::fromJson(lines[0].toUtf8()).object();
    EXPECT_EQ(newest.value(QStringLiteral("id")).toInt(), 3);
    EXPECT_EQ(newest.value(QStringLiteral("type")).toString(), QStringLiteral("single"));
    EXPECT_EQ(newest.value(QStringLiteral("nick")).toString(), QStringLiteral("bob"));
    EXPECT_EQ(newest.value(QStringLiteral("time")).toString(), QStringLiteral("2024-05-01T13:45:10.000"));
    EXPECT_EQ(newest.value(QStringLiteral("first2Line")).toString(), QStringLiteral("first line\r\nsecond line"));
    EXPECT_FALSE(newest.value(QStringLiteral("sendOut")).toBool());

    const TCliResult peer = Run(Args({"log", "list", "--peer", "pc-2"}));
    EXPECT_TRUE(peer.Out.startsWith(QStringLiteral("2 From Ann(PC-2)"))) << peer.Out.toStdString();
    const TCliResult page = Run(Args({"log", "list", "--after", "1", "--limit", "1", "--json"}));
    ASSERT_EQ(page.Out.count(QLatin1Char('\n')), 1);
    EXPECT_EQ(QJsonDocument::fromJson(page.Out.toUtf8()).object().value(QStringLiteral("id")).toInt(), 3);
    const TCliResult broadcasts = Run(Args({"log", "list", "--type", "broadcast", "--json"}));
    EXPECT_EQ(QJsonDocument::fromJson(broadcasts.Out.toUtf8()).object().value(QStringLiteral("nick")).toString(),
              QStringLiteral("Wang"));
}

TEST_F(CliLogTest, ShowsTextOrStoredBytes) {
    const TCliResult text = Run(Args({"log", "show", "single", "1"}));
    EXPECT_EQ(text.Exit, 0);
    EXPECT_EQ(text.Out, QStringLiteral("Hello Bob\n"));
    const TCliResult chinese = Run(Args({"log", "show", "broadcast", "1"}));
    EXPECT_EQ(chinese.Out, QString::fromUtf8("你好世界\n"));
    const TCliResult raw = Run(Args({"log", "show", "broadcast", "1", "--raw"}));
    EXPECT_EQ(raw.Exit, 0);
    EXPECT_EQ(raw.RawOut, Home.SideBytes(ltBroadcast, 1));
    const TCliResult missing = Run(Args({"log", "show", "group", "1"}));
    EXPECT_EQ(missing.Exit, 1);
    EXPECT_TRUE(missing.Err.contains(QStringLiteral("record 1"))) << missing.Err.toStdString();
}

TEST_F(CliLogTest, ExportsDeletesAndCompacts) {
    const QString file = Home.Home.File(QStringLiteral("out.txt"));
    const TCliResult exported = Run({QStringLiteral("log"), QStringLiteral("export"), QStringLiteral("broadcast"), file});
    EXPECT_EQ(exported.Exit, 0) << exported.Err.toStdString();
    const QByteArray bytes = Home.Home.Read(QStringLiteral("out.txt"));
    EXPECT_TRUE(bytes.startsWith("Quillmate Chat Log\r\n\r\n---Broadcast Log---\r\n\r\n<Broadcast>To Wang Time "));
    EXPECT_TRUE(bytes.endsWith("\r\n" + Home.SideBytes(ltBroadcast, 1) + "\r\n\r\n"));
    const TCliResult related = Run({QStringLiteral("log"), QStringLiteral("export"), QStringLiteral("single"),
                                    Home.Home.File(QStringLiteral("bob.rtf")), QStringLiteral("--nick"), QStringLiteral("Bob")});
    EXPECT_EQ(related.Exit, 0);
    EXPECT_TRUE(Home.Home.Read(QStringLiteral("bob.rtf")).contains("---Related Log: Bob---\\par\\par"));
    const TCliResult nowhere = Run({QStringLiteral("log"), QStringLiteral("export"), QStringLiteral("group"),
                                    Home.Home.File(QStringLiteral("no/such/folder/g.rtf"))});
    EXPECT_EQ(nowhere.Exit, 1);
    EXPECT_TRUE(nowhere.Err.contains(QStringLiteral("g.rtf"))) << nowhere.Err.toStdString();

    EXPECT_EQ(Run(Args({"log", "delete", "single", "2"})).Exit, 0);
    EXPECT_FALSE(QFile::exists(Home.SideFile(ltSingle, 2)));
    const TCliResult again = Run(Args({"log", "delete", "single", "2"}));
    EXPECT_EQ(again.Exit, 1);
    EXPECT_TRUE(again.Err.contains(QStringLiteral("no single record 2"))) << again.Err.toStdString();

    EXPECT_EQ(Run(Args({"log", "compact"})).Exit, 0);
    const TCliResult list = Run(Args({"log", "list", "--json"}));
    EXPECT_EQ(list.Out.count(QLatin1Char('\n')), 2);
    // Open elsewhere: compaction refuses and says why.
    ASSERT_TRUE(Home.Store.Open(TChatLogStore::omRead));
    const TCliResult busy = Run(Args({"log", "compact"}));
    EXPECT_EQ(busy.Exit, 1);
    EXPECT_TRUE(busy.Err.contains(QStringLiteral("another program"))) << busy.Err.toStdString();
}

TEST_F(CliLogTest, SearchesContent) {
    const TCliResult chinese = Run({QStringLiteral("log"), QStringLiteral("search"), QString::fromUtf8("世界"), QStringLiteral("--json")});
    ASSERT_EQ(chinese.Exit, 0) << chinese.Err.toStdString();
    const QJsonObject hit = QJsonDocument::fromJson(chinese.Out.toUtf8()).object();
    EXPECT_EQ(hit.value(QStringLiteral("type")).toString(), QStringLiteral("broadcast"));
    EXPECT_EQ(hit.value(QStringLiteral("id")).toInt(), 1);
    const TCliResult latin = Run(Args({"log", "search", "ELLO b"}));
    EXPECT_TRUE(latin.Out.startsWith(QStringLiteral("single 1 To Bob(PC-1)"))) << latin.Out.toStdString();
    // One character, Chinese or Latin.
    const TCliResult one = Run({QStringLiteral("log"), QStringLiteral("search"), QString::fromUtf8("界"), QStringLiteral("--json")});
    EXPECT_EQ(QJsonDocument::fromJson(one.Out.toUtf8()).object().value(QStringLiteral("id")).toInt(), 1) << one.Out.toStdString();
    EXPECT_TRUE(Run(Args({"log", "search", "E"})).Out.startsWith(QStringLiteral("single 1 To Bob(PC-1)")));
    const TCliResult none = Run(Args({"log", "search", "nothing like it"}));
    EXPECT_EQ(none.Exit, 0);
    EXPECT_TRUE(none.Out.isEmpty());
    // The hits as one RTF document.
    const QString file = Home.Home.File(QStringLiteral("hits.rtf"));
    const TCliResult exported = Run({QStringLiteral("log"), QStringLiteral("search"), QStringLiteral("ELLO b"),
                                     QStringLiteral("--export"), file});
    ASSERT_EQ(exported.Exit, 0) << exported.Err.toStdString();
    EXPECT_TRUE(exported.Out.isEmpty());
    const QByteArray rtf = Home.Home.Read(QStringLiteral("hits.rtf"));
    EXPECT_TRUE(rtf.startsWith("{\\rtf1")) << rtf.left(60).toStdString();
    EXPECT_TRUE(rtf.contains("To Bob(PC-1)")) << rtf.toStdString();
}

TEST(CliLog, FailsWhenTheLogCannotBeOpened) {
    TTempHome home;
    home.Write(QStringLiteral("ChatDB"), "a file where the log folder should be");
    const TCliResult r = RunCliProcess(home.Path(), Args({"log", "list"}));
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("chatlog.mdb"))) << r.Err.toStdString();
}

} // namespace
