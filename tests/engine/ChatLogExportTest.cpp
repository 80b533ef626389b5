// Exports of each category, byte for byte: prologue with the document's one
// font and colour table, section line, one header per record newest first,
// each header and content in a group of its own that starts from \plain (the
// records' own tables merged into the document's), and the end.
#include "chatlog/ChatLogExportUnit.h"
#include "chatlog/ChatLogStoreUnit.h"

#include "support/CaseName.h"
#include "support/ChatLogFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using namespace ChatLogFixtures;

namespace {

QByteArray Fixture(const QString& name) {
    QFile file(SourceDir() + QStringLiteral("/tests/data/chatlog/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing fixture");
}

TLogRecord At(TLogRecord record, int minutes) {
    record.LogTime = When(minutes);
    return record;
}

// Four single messages: rich-edit style RTF sent, a received broadcast-flagged
// one with LF line ends, one whose side file is gone, one whose closing brace
// shares its line (and whose sender's name needs RTF escapes).
void SingleMessages(TLogHome& home) {
    home.Add(At(Record(ltSingle, QStringLiteral("Bob"),
                       "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n{\\colortbl ;}\r\n"
                       "\\pard\\plain\r\n{\\f0\\fs20 Hello Bob}\\par\r\n}\r\n",
                       true),
                0));
    TLogRecord flagged = At(Record(ltSingle, QStringLiteral("Bob"), "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\n\\f0 Everyone listen\\par\n}"), 1);
    flagged.IfBroadcast = true;
    home.Add(flagged);
    const qint64 gone = home.Add(At(Record(ltSingle, QStringLiteral("Ann"), "lost", false, QStringLiteral("PC-2")), 2));
    QFile::remove(home.SideFile(ltSingle, gone));
    home.Add(At(Record(ltSingle, QStringLiteral("C{x}"), "{\\rtf1 plain}", false, QStringLiteral("PC-3")), 3));
}

void GroupMessages(TLogHome& home) {
    home.Add(At(Record(ltGroup, QStringLiteral("Ann(PC-2);PC-4"),
                       "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n{\\colortbl ;}\r\n"
                       "\\pard\\plain\r\n{\\f0\\fs20 To you both}\\par\r\n}\r\n",
                       true, {}, {}),
                0));
}

void Broadcasts(TLogHome& home) {
    home.Add(At(Record(ltBroadcast, QStringLiteral("All(Broadcast)"), "Hello all\r\nsecond line", true, {}, {}), 0));
    home.Add(At(Record(ltBroadcast, QStringLiteral("Bob"), "hi\n"), 1));
    TLogRecord gbk = At(Record(ltBroadcast, QStringLiteral("Wang"), QByteArray::fromHex("c4e3bac3")), 2);
    gbk.LangID = 2052;
    home.Add(gbk);
}

void Files(TLogHome& home) {
    home.Add(At(Record(ltFile, QStringLiteral("Bob"), "<File>a.txt\r\n<Folder>docs", true), 0));
    home.Add(At(Record(ltFile, QStringLiteral("Ann"), "<Saved In Folder>/home/u/Files/Ann\r\n<File>b.txt", false,
                       QStringLiteral("PC-2")),
                1));
}

struct TExportCase {
    std::string Name;
    std::function<void(TLogHome&)> Fill;
    TLogFilter Filter;
    QString Fixture;
};
void PrintTo(const TExportCase& c, std::ostream* os) { *os << c.Name; }

class ChatLogExport : public ::testing::TestWithParam<TExportCase> {};

TEST_P(ChatLogExport, WritesTheDocumentedFile) {
    const TScopedLocale locale;
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    GetParam().Fill(home);
    const TLogType other = GetParam().Filter.Category == ltGroup ? ltFile : ltGroup;
    home.Add(At(Record(other, QStringLiteral("other table"), "never exported here"), 9));
    const QString file = home.Home.File(QStringLiteral("export.out"));
    EXPECT_EQ(ExportLog(home.Store, GetParam().Filter, file), QString());
    EXPECT_EQ(home.Home.Read(QStringLiteral("export.out")), Fixture(GetParam().Fixture));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChatLogExport,
    ::testing::Values(TExportCase{"AllSingle", SingleMessages, TLogFilter::All(ltSingle), QStringLiteral("AllSingle.rtf")},
                      TExportCase{"RelatedByNick", SingleMessages, TLogFilter::OfNick(QStringLiteral("Bob")),
                                  QStringLiteral("RelatedBob.rtf")},
                      TExportCase{"RelatedByComputer", SingleMessages, TLogFilter::OfComputer(QStringLiteral("PC-1"), QStringLiteral("ignored")),
                                  QStringLiteral("RelatedPc1.rtf")},
                      TExportCase{"Group", GroupMessages, TLogFilter::All(ltGroup), QStringLiteral("Group.rtf")},
                      TExportCase{"Broadcast", Broadcasts, TLogFilter::All(ltBroadcast), QStringLiteral("Broadcast.txt")},
                      TExportCase{"File", Files, TLogFilter::All(ltFile), QStringLiteral("File.txt")}),
    TCaseName());

TEST(ChatLogExportFailure, LeavesAnEarlierFileAsItWas) {
    TLogHome home;
    ASSERT_TRUE(home.Store.Open());
    Broadcasts(home);
    home.Home.Write(QStringLiteral("earlier.txt"), "an earlier export");
    home.Store.Close(); // reading fails half-way from here
    const QString error = ExportLog(home.Store, TLogFilter::All(ltBroadcast), home.Home.File(QStringLiteral("earlier.txt")));
    EXPECT_TRUE(error.contains(QStringLiteral("earlier.txt"))) << error.toStdString();
    EXPECT_EQ(home.Home.Read(QStringLiteral("earlier.txt")), QByteArray("an earlier export"));
    EXPECT_FALSE(ExportLog(home.Store, TLogFilter::All(ltBroadcast), home.Home.File(QStringLiteral("no/such/folder/x.txt"))).isEmpty());
}

} // namespace
