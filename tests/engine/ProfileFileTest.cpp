#include "platform/ProfileFileUnit.h"
#include "support/TestSupport.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <functional>
#include <ostream>

namespace {

struct TReadCase {
    const char* Name;
    QByteArray File;
    const char* Section;
    const char* Key;
    QString Expected; // "<default>" when the default comes back
};

void PrintTo(const TReadCase& c, std::ostream* os) { *os << c.Name; }

class ProfileRead : public ::testing::TestWithParam<TReadCase> {};

TEST_P(ProfileRead, FollowsWindowsRules) {
    const TReadCase& c = GetParam();
    TProfileFile ini;
    ini.LoadFromBytes(c.File);
    EXPECT_EQ(ini.ReadString(QString::fromUtf8(c.Section), QString::fromUtf8(c.Key), QStringLiteral("<default>")),
              c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    ::testing::Values(
        TReadCase{"SectionAndKeyIgnoreCase", "[Quillmate Settings]\r\nNickName=Ann\r\n", "quillmate SETTINGS", "NICKNAME", "Ann"},
        TReadCase{"KeysAndValuesTrimmed", "[S]\n  key  =   spaced value  \n", "S", "key", "spaced value"},
        TReadCase{"SectionNameTrimmed", "  [ S ]  \nk=v\n", "S", "k", "v"},
        TReadCase{"DoubleQuotesStripped", "[S]\nk=\"quoted\"\n", "S", "k", "quoted"},
        TReadCase{"SingleQuotesStripped", "[S]\nk='quoted'\n", "S", "k", "quoted"},
        TReadCase{"OnlyOnePairStripped", "[S]\nk=\"\"inner\"\"\n", "S", "k", "\"inner\""},
        TReadCase{"UnmatchedQuotesKept", "[S]\nk=\"half'\n", "S", "k", "\"half'"},
        TReadCase{"LoneQuoteKept", "[S]\nk=\"\n", "S", "k", "\""},
        TReadCase{"CommentIsNoKey", "[S]\n;k=commented\n", "S", ";k", "<default>"},
        TReadCase{"IndentedCommentIsNoKey", "[S]\n   ;k=commented\nk=real\n", "S", "k", "real"},
        TReadCase{"FirstDuplicateWins", "[S]\nk=first\nK=second\n", "S", "k", "first"},
        TReadCase{"KeyInOtherSectionNotSeen", "[A]\nk=a\n[B]\nother=b\n", "B", "k", "<default>"},
        TReadCase{"CrLineEnds", "[S]\rk=cr\rj=2", "S", "k", "cr"},
        TReadCase{"NoFinalNewline", "[S]\r\nk=last", "S", "k", "last"},
        TReadCase{"ValueWithEquals", "[S]\nk=a=b\n", "S", "k", "a=b"},
        TReadCase{"EmptyValue", "[S]\nk=\n", "S", "k", ""},
        TReadCase{"MissingSection", "[S]\nk=v\n", "T", "k", "<default>"},
        TReadCase{"LineWithoutEqualsIgnored", "[S]\nnonsense\nk=v\n", "S", "nonsense", "<default>"},
        TReadCase{"ByteOrderMarkIgnored", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
        TReadCase{"Utf8Value", "[Info]\nLanguage=\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87\n", "Info", "Language",
                  QString::fromUtf8("简体中文")},
        TReadCase{"KeysBeforeFirstSectionIgnored", "k=orphan\n[S]\nj=1\n", "S", "k", "<default>"}),
    TCaseName());

TEST(ProfileFile, ValuesAreCutAt2047Characters) {
    TProfileFile ini;
    ini.LoadFromBytes("[S]\nk=" + QByteArray(5000, 'x') + "\n");
    EXPECT_EQ(ini.ReadString(QStringLiteral("S"), QStringLiteral("k")).size(), 2047);
}

struct TIntCase {
    const char* Text;
    int Expected;
};

void PrintTo(const TIntCase& c, std::ostream* os) { *os << c.Text; }

class StrToIntDefCases : public ::testing::TestWithParam<TIntCase> {};

TEST_P(StrToIntDefCases, WholeValueMustBeInteger) {
    EXPECT_EQ(StrToIntDef(QString::fromUtf8(GetParam().Text), -7), GetParam().Expected) << GetParam().Text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StrToIntDefCases,
    ::testing::Values(TIntCase{"7709", 7709}, TIntCase{"-12", -12}, TIntCase{"+5", 5}, TIntCase{"0x1F", 31},
                      TIntCase{"0X1f", 31}, TIntCase{"$10", 16}, TIntCase{"0xFFFFFFFF", -1}, TIntCase{"-0x10", -16},
                      TIntCase{"2147483647", 2147483647}, TIntCase{"-2147483648", INT_MIN},
                      TIntCase{"2147483648", -7}, TIntCase{"12abc", -7}, TIntCase{"abc", -7}, TIntCase{"", -7},
                      TIntCase{"0x", -7}, TIntCase{"1 2", -7}, TIntCase{"1.5", -7}, TIntCase{"0x1G", -7},
                      TIntCase{"0x100000000", -7}, TIntCase{"٣", -7}));

TEST(ProfileFile, IntegersAndBooleansReadWithDefaults) {
    TProfileFile ini;
    ini.LoadFromBytes("[S]\nport=abc\nquoted=\"12\"\non=5\noff=0\nword=yes\n");
    const QString s = QStringLiteral("S");
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("port"), 7709), 7709);
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("quoted"), 0), 12);
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("missing"), 3), 3);
    EXPECT_TRUE(ini.ReadBool(s, QStringLiteral("on"), false));
    EXPECT_FALSE(ini.ReadBool(s, QStringLiteral("off"), true));
    EXPECT_TRUE(ini.ReadBool(s, QStringLiteral("word"), true));
    EXPECT_FALSE(ini.ReadBool(s, QStringLiteral("word"), false));
}

struct TWriteCase {
    const char* Name;
    QByteArray Before;
    std::function<void(TProfileFile&)> Change;
    QByteArray After;
};

void PrintTo(const TWriteCase& c, std::ostream* os) { *os << c.Name; }

class ProfileWrite : public ::testing::TestWithParam<TWriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyWhatItMust) {
    const TWriteCase& c = GetParam();
    TProfileFile ini;
    // Bytes that are not UTF-8 read the same on every machine.
    ini.LoadFromBytes(c.Before, "windows-1252");
    c.Change(ini);
    EXPECT_EQ(ini.ToBytes(), c.After);
}

const QString S = QStringLiteral("S");

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWrite,
    ::testing::Values(
        TWriteCase{"NewFile", "", [](TProfileFile& f) { f.WriteString(S, QStringLiteral("k"), QStringLiteral("v")); },
                   "[S]\r\nk=v\r\n"},
        TWriteCase{"ReplaceInPlaceKeepsOtherLines", "; top\n[S]\na=1\n  k = old  \n; note\nz=2\n",
                   [](TProfileFile& f) { f.WriteString(S, QStringLiteral("K"), QStringLiteral("new")); },
                   "; top\n[S]\na=1\nk=new\n; note\nz=2\n"},
        TWriteCase{"NewKeyAfterLastKeyOfSection", "[S]\r\na=1\r\n\r\n; comment\r\n[T]\r\nb=2\r\n",
                   [](TProfileFile& f) { f.WriteString(S, QStringLiteral("c"), QStringLiteral("3")); },
                   "[S]\r\na=1\r\nc=3\r\n\r\n; comment\r\n[T]\r\nb=2\r\n"},
        TWriteCase{"NewKeyInEmptySectionAfterHeader", "[S]\n\n[T]\n",
                   [](TProfileFile& f) { f.WriteString(S, QStringLiteral("c"), QStringLiteral("3")); },
                   "[S]\nc=3\r\n\n[T]\n"},
        TWriteCase{"NewSectionAtEndWithoutFinalNewline", "[T]\nb=2",
                   [](TProfileFile& f) { f.WriteString(S, QStringLiteral("c"), QStringLiteral("3")); },
                   "[T]\nb=2\r\n[S]\r\nc=3\r\n"},
        TWriteCase{"ReplaceLastLineWithoutNewline", "[S]\nk=1",
                   [](TProfileFile& f) { f.WriteInteger(S, QStringLiteral("k"), -5); }, "[S]\nk=-5\r\n"},
        TWriteCase{"BooleanAsDigit", "", [](TProfileFile& f) { f.WriteBool(S, QStringLiteral("b"), true); },
                   "[S]\r\nb=1\r\n"},
        TWriteCase{"LineBreakInValueFlattened", "",
                   [](TProfileFile& f) { f.WriteString(S, QStringLiteral("k"), QStringLiteral("a\r\nb")); },
                   "[S]\r\nk=a  b\r\n"},
        TWriteCase{"DeleteKey", "[S]\na=1\nk=2\nz=3\n", [](TProfileFile& f) { f.DeleteKey(S, QStringLiteral("K")); },
                   "[S]\na=1\nz=3\n"},
        TWriteCase{"DeleteMissingKeyChangesNothing", "[S]\na=1\n",
                   [](TProfileFile& f) { f.DeleteKey(S, QStringLiteral("x")); }, "[S]\na=1\n"},
        TWriteCase{"EraseSection", "[A]\na=1\n[S]\nk=2\n; c\n[B]\nb=3\n",
                   [](TProfileFile& f) { f.EraseSection(QStringLiteral("s")); }, "[A]\na=1\n[B]\nb=3\n"},
        // Kept as the fallback code page read it, in UTF-8 like the rest of the file.
        TWriteCase{"GarbageBytesKept", QByteArray("[S]\n\xFF\xFE\x01junk\nk=1\n", 16),
                   [](TProfileFile& f) { f.WriteString(S, QStringLiteral("k"), QStringLiteral("2")); },
                   QByteArray("[S]\n\xC3\xBF\xC3\xBE\x01junk\nk=2\n", 18)}),
    TCaseName());

// Keys from peers (user keys, group names) must never add lines of their own.
TEST(ProfileFile, UnsafeKeysAndSectionsAreRefused) {
    for (const QString& key : {QStringLiteral(""), QStringLiteral(" k"), QStringLiteral("k "), QStringLiteral("a=b"),
                               QStringLiteral(";c"), QStringLiteral("[s]"), QStringLiteral("PC\r\n[Groups]\r\nEvil"),
                               QStringLiteral("nul") + QChar(0)}) {
        TProfileFile ini;
        ini.LoadFromBytes("[S]\r\n");
        EXPECT_FALSE(ini.WriteString(S, key, QStringLiteral("v"))) << key.toStdString();
        EXPECT_EQ(ini.ToBytes(), QByteArray("[S]\r\n"));
    }
    TProfileFile ini;
    EXPECT_FALSE(ini.WriteString(QStringLiteral("a]b"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_FALSE(ini.WriteString(QStringLiteral(" "), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_TRUE(ini.WriteString(QStringLiteral("Users"), QStringLiteral("PC{1A-2B}"), QStringLiteral("Sales")));
}

TEST(ProfileFile, SectionsAndKeysListedOnceInFileOrder) {
    TProfileFile ini;
    ini.LoadFromBytes("[B]\nx=1\nX=2\ny=3\n[A]\n[b]\nz=4\n");
    EXPECT_EQ(ini.ReadSections(), (QStringList{QStringLiteral("B"), QStringLiteral("A")}));
    EXPECT_EQ(ini.ReadSection(QStringLiteral("b")), (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    const auto pairs = ini.ReadSectionPairs(QStringLiteral("B"));
    ASSERT_EQ(pairs.size(), 2);
    EXPECT_EQ(pairs[0].second, QStringLiteral("1"));
}

TEST(ProfileFile, SaveReplacesFileAtomicallyAndCreatesFolder) {
    TTempHome home;
    const QString path = home.File(QStringLiteral("sub/dir/Config.ini"));
    TProfileFile ini(path);
    ini.WriteString(S, QStringLiteral("k"), QStringLiteral("v"));
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(home.Read(QStringLiteral("sub/dir/Config.ini")), QByteArray("[S]\r\nk=v\r\n"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(home.File(QStringLiteral("sub/dir"))).entryList(QDir::Files), QStringList{QStringLiteral("Config.ini")});
}

TEST(ProfileFile, MissingFileIsEmptyUnreadableIsError) {
    TTempHome home;
    TProfileFile ini;
    EXPECT_TRUE(ini.Load(home.File(QStringLiteral("none.ini"))));
    EXPECT_FALSE(ini.SectionExists(S));
    QDir().mkpath(home.File(QStringLiteral("dir.ini")));
    EXPECT_FALSE(ini.Load(home.File(QStringLiteral("dir.ini"))));
}

// Writing many keys at once leaves the file exactly as writing them one by
// one would, in one pass.
struct TBulkCase {
    std::string Name;
    QByteArray File;
    QList<QPair<QString, QString>> Pairs;
    int Written;
};
void PrintTo(const TBulkCase& c, std::ostream* os) { *os << c.Name; }

class ProfileBulkWrite : public ::testing::TestWithParam<TBulkCase> {};

TEST_P(ProfileBulkWrite, SameAsOneByOne) {
    const TBulkCase& c = GetParam();
    TProfileFile bulk, single;
    bulk.LoadFromBytes(c.File);
    single.LoadFromBytes(c.File);
    EXPECT_EQ(bulk.WriteStrings(QStringLiteral("P"), c.Pairs), c.Written);
    for (const auto& [key, value] : c.Pairs) single.WriteString(QStringLiteral("P"), key, value);
    EXPECT_EQ(bulk.ToBytes(), single.ToBytes());
}

using TPairs = QList<QPair<QString, QString>>;
INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileBulkWrite,
    ::testing::Values(
        TBulkCase{"NewKeysAfterTheLastKey", "[P]\r\na=1\r\n; note\r\n\r\n[Q]\r\nz=9\r\n",
                  TPairs{{"b", "2"}, {"c", "3"}}, 2},
        TBulkCase{"KnownKeysReplacedInPlaceKeepTheirSpelling", "[P]\r\nAlpha=1\r\nbeta=2\r\n",
                  TPairs{{"ALPHA", "10"}, {"gamma", "3"}, {"Beta", "20"}}, 3},
        TBulkCase{"FirstOfADuplicateIsReplaced", "[P]\r\na=1\r\na=2\r\n", TPairs{{"A", "9"}}, 1},
        TBulkCase{"NewKeyTwiceLaterValueWins", "[P]\r\n", TPairs{{"n", "1"}, {"N", "2"}}, 2},
        TBulkCase{"MissingSectionAppended", "[Q]\r\nz=9", TPairs{{"a", "1"}, {"b", "2"}}, 2},
        TBulkCase{"EmptyFile", "", TPairs{{"a", "1"}}, 1},
        TBulkCase{"InvalidKeysSkipped", "[P]\r\na=1\r\n", TPairs{{"x=y", "1"}, {" pad", "2"}, {"ok", "3"}}, 1},
        TBulkCase{"LastLineWithoutEnding", "[P]\r\na=1", TPairs{{"b", "2"}}, 1},
        TBulkCase{"NothingToWrite", "[P]\r\na=1\r\n", TPairs{}, 0}),
    TCaseName());

} // namespace
