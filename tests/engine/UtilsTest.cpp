#include "core/UtilsUnit.h"
#include "VersionInfo.h"
#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "support/TestSupport.h"
#include "text/UILangUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

namespace {

// ------------------------------------------------------------- display names

struct TDisplayCase {
    const char* Name;
    bool HasNickname;
    const char* Nickname;
    const char* Computer;
    bool OnlyUserNickname;
    const char* Expected;
};

void PrintTo(const TDisplayCase& c, std::ostream* os) { *os << c.Name; }

class DisplayNameCases : public ::testing::TestWithParam<TDisplayCase> {};

TEST_P(DisplayNameCases, PicksTheDocumentedForm) {
    const TDisplayCase& c = GetParam();
    EXPECT_EQ(Utils::DisplayName(c.HasNickname, QString::fromUtf8(c.Nickname), QString::fromUtf8(c.Computer),
                                 c.OnlyUserNickname)
                  .toStdString(),
              c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayNameCases,
    ::testing::Values(TDisplayCase{"NoNicknameIgnoresItWhenOnlyNickname", false, "Ann", "PC-7", true, "PC-7"},
                      TDisplayCase{"NoNicknameIgnoresItOtherwise", false, "Ann", "PC-7", false, "PC-7"},
                      TDisplayCase{"OnlyNickname", true, "Ann", "PC-7", true, "Ann"},
                      TDisplayCase{"NicknameAndComputer", true, "Ann", "PC-7", false, "Ann(PC-7)"},
                      TDisplayCase{"PercentInNicknameNotExpanded", true, "100%s", "PC-7", false, "100%s(PC-7)"},
                      TDisplayCase{"EmptyNicknameStillANickname", true, "", "PC-7", false, "(PC-7)"}),
    TCaseName());

TEST(DisplayName, FollowsTheOnlyUserNicknameSetting) {
    TApplicationParams& p = Params();
    const bool saved = p[bpOnlyUserNickname];
    p[bpOnlyUserNickname] = false;
    EXPECT_EQ(Utils::DisplayName(true, QStringLiteral("Ann"), QStringLiteral("PC")), QStringLiteral("Ann(PC)"));
    p[bpOnlyUserNickname] = true;
    EXPECT_EQ(Utils::DisplayName(true, QStringLiteral("Ann"), QStringLiteral("PC")), QStringLiteral("Ann"));
    EXPECT_EQ(Utils::DisplayName(false, QStringLiteral("Ann"), QStringLiteral("PC")), QStringLiteral("PC"));
    p[bpOnlyUserNickname] = saved;
}

// ------------------------------------------------------------------- folders

struct TSlashCase {
    const char* Path;
    const char* Expected;
};

void PrintTo(const TSlashCase& c, std::ostream* os) { *os << '"' << c.Path << '"'; }

class TrailingSlash : public ::testing::TestWithParam<TSlashCase> {};

TEST_P(TrailingSlash, AppendsOnlyWhenMissing) {
    EXPECT_EQ(Utils::WithTrailingSlash(QString::fromUtf8(GetParam().Path)).toStdString(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TrailingSlash,
                         ::testing::Values(TSlashCase{"/", "/"}, TSlashCase{"a", "a/"}, TSlashCase{"a/", "a/"},
                                           TSlashCase{"/srv/in", "/srv/in/"}, TSlashCase{"a//", "a//"},
                                           // No folder stays no folder rather than the root.
                                           TSlashCase{"", ""}));

TEST(Utils, TempFolderIsMadeInTheProgramFolder) {
    TTempHome home;
    EXPECT_EQ(Utils::ProgramFolder(), home.Path());
    const QString folder = Utils::GetTempFolder();
    EXPECT_EQ(folder, home.File(QStringLiteral("TempFolder/")));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(Utils::GetTempFolder(), folder); // a second call finds it
}

// ---------------------------------------------------------------- host names

struct TResolveCase {
    const char* Name;
    const char* Host;
    bool Resolved;
    const char* Address;
};

void PrintTo(const TResolveCase& c, std::ostream* os) { *os << c.Name; }

class ResolveHostCases : public ::testing::TestWithParam<TResolveCase> {};

// Only names that never reach a name server: the tests send nothing off this machine.
TEST_P(ResolveHostCases, GivesIPv4OrFalse) {
    const TResolveCase& c = GetParam();
    QString address = QStringLiteral("untouched");
    EXPECT_EQ(Utils::ResolveHost(QString::fromUtf8(c.Host), &address), c.Resolved);
    EXPECT_EQ(address.toStdString(), c.Address);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveHostCases,
    ::testing::Values(TResolveCase{"DottedQuad", "127.0.0.1", true, "127.0.0.1"},
                      TResolveCase{"Localhost", "localhost", true, "127.0.0.1"},
                      TResolveCase{"Empty", "", false, "untouched"},
                      TResolveCase{"Blank", "   ", false, "untouched"},
                      TResolveCase{"WithBlanks", "no such host", false, "untouched"},
                      TResolveCase{"ControlCharacters", "bad\tname\n", false, "untouched"},
                      TResolveCase{"DottedQuadOutOfRange", "999.1.1.1", false, "untouched"},
                      TResolveCase{"EmptyLabel", "a..b", false, "untouched"},
                      TResolveCase{"IPv6Literal", "::1", false, "untouched"}),
    TCaseName());

// ------------------------------------------------------------ version block

TEST(Utils, ReadsTheVersionBlockOfAQuillmateExecutable) {
    TFileInfo info;
    ASSERT_TRUE(Utils::ReadVersionInfo(QCoreApplication::applicationFilePath(), QStringLiteral("ProductName"), &info));
    EXPECT_EQ(info.Major, QLM_VERSION_MAJOR);
    EXPECT_EQ(info.Minor, QLM_VERSION_MINOR);
    EXPECT_EQ(info.Release, QLM_VERSION_RELEASE);
    EXPECT_EQ(info.Build, QLM_VERSION_BUILD);
    EXPECT_EQ(info.Value, QStringLiteral("Quillmate"));
    EXPECT_EQ(info.ProductName, QStringLiteral("Quillmate"));
    EXPECT_EQ(info.FileVersion, QStringLiteral(QLM_VERSION_TEXT));
    EXPECT_FALSE(info.CompanyName.isEmpty());
    EXPECT_FALSE(info.Comments.isEmpty());

    ASSERT_TRUE(Utils::ReadVersionInfo(QCoreApplication::applicationFilePath(), QStringLiteral("fileversion"), &info));
    EXPECT_EQ(info.Value, QStringLiteral(QLM_VERSION_TEXT));
    ASSERT_TRUE(Utils::ReadVersionInfo(QCoreApplication::applicationFilePath(), QStringLiteral("NoSuchValue"), &info));
    EXPECT_TRUE(info.Value.isEmpty());

    // The programs themselves carry it too.
    ASSERT_TRUE(Utils::ReadVersionInfo(RuntimeDir() + QStringLiteral("/quillmate-cli"), {}, &info));
    EXPECT_EQ(info.FileVersion, QStringLiteral(QLM_VERSION_TEXT));
}

struct TNoVersionCase {
    const char* Name;
    QByteArray Bytes;
};

void PrintTo(const TNoVersionCase& c, std::ostream* os) { *os << c.Name; }

class NoVersionBlock : public ::testing::TestWithParam<TNoVersionCase> {};

// Marker split in two, as in the reader, so this test's own executable does
// not carry a second, fake block.
const QByteArray kMarker = QByteArray("QLM-VERSION") + QByteArray("-INFO{");

TEST_P(NoVersionBlock, IsFalseAndLeavesNothingBehind) {
    TTempHome home;
    home.Write(QStringLiteral("file.bin"), GetParam().Bytes);
    TFileInfo info;
    info.ProductName = QStringLiteral("stale");
    info.Major = 9;
    EXPECT_FALSE(Utils::ReadVersionInfo(home.File(QStringLiteral("file.bin")), QStringLiteral("ProductName"), &info));
    EXPECT_TRUE(info.ProductName.isEmpty());
    EXPECT_EQ(info.Major, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoVersionBlock,
    ::testing::Values(TNoVersionCase{"PlainText", "just some text without any block\n"},
                      TNoVersionCase{"Empty", ""},
                      TNoVersionCase{"Unterminated", kMarker + "1.2.3.4|ProductName=X"},
                      TNoVersionCase{"ThreeNumbers", kMarker + "1.2.3|ProductName=X}"},
                      TNoVersionCase{"NumberTooLarge", kMarker + "1.2.3.70000|ProductName=X}"},
                      TNoVersionCase{"NotNumbers", kMarker + "a.b.c.d}"}),
    TCaseName());

TEST(Utils, MissingFileHasNoVersion) {
    TFileInfo info;
    EXPECT_FALSE(Utils::ReadVersionInfo(QStringLiteral("/nonexistent/quillmate"), {}, &info));
}

TEST(Utils, VersionTexts) {
    const QString version = QStringLiteral("%1.%2.%3.%4")
                                .arg(QLM_VERSION_MAJOR)
                                .arg(QLM_VERSION_MINOR)
                                .arg(QLM_VERSION_RELEASE)
                                .arg(QLM_VERSION_BUILD);
    EXPECT_EQ(Utils::VersionText(), version);
    EXPECT_EQ(QStringLiteral(QLM_VERSION_TEXT), version);
}

// -------------------------------------------------------------- formatting

struct TFormatCase {
    const char* Name;
    const char* Pattern;
    std::vector<TFormatArg> Args;
    const char* Expected;
};

void PrintTo(const TFormatCase& c, std::ostream* os) { *os << c.Name; }

class FormatTextCases : public ::testing::TestWithParam<TFormatCase> {};

QString FormatVector(const QString& pattern, const std::vector<TFormatArg>& args) {
    // FormatText takes a brace list; the cases hold at most four arguments.
    switch (args.size()) {
    case 0: return FormatText(pattern, {});
    case 1: return FormatText(pattern, {args[0]});
    case 2: return FormatText(pattern, {args[0], args[1]});
    case 3: return FormatText(pattern, {args[0], args[1], args[2]});
    default: return FormatText(pattern, {args[0], args[1], args[2], args[3]});
    }
}

TEST_P(FormatTextCases, FillsByPosition) {
    const TFormatCase& c = GetParam();
    EXPECT_EQ(FormatVector(QString::fromUtf8(c.Pattern), c.Args).toStdString(), c.Expected);
}

const QString A = QStringLiteral("A");
const QString B = QStringLiteral("B");

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatTextCases,
    ::testing::Values(
        TFormatCase{"InOrder", "%s(%s)", {QStringLiteral("Ann"), QStringLiteral("PC")}, "Ann(PC)"},
        TFormatCase{"Numbers", "%d.%d.%d.%d", {qint64(1), qint64(0), qint64(-3), qint64(2147483648)},
                    "1.0.-3.2147483648"},
        TFormatCase{"PercentPercent", "100%% of %s", {A}, "100% of A"},
        TFormatCase{"PercentPercentBeforeS", "%%s", {A}, "%s"},
        TFormatCase{"MissingArgumentsEmpty", "%s and %s and %d", {A}, "A and  and "},
        TFormatCase{"NoArguments", "%s-%d", {}, "-"},
        TFormatCase{"ExtraArgumentsIgnored", "only %s", {A, B, qint64(3)}, "only A"},
        TFormatCase{"NumberForS", "%s files", {qint64(42)}, "42 files"},
        TFormatCase{"TextForD", "%d files", {QStringLiteral("some")}, "some files"},
        TFormatCase{"UnknownKept", "%x %s %", {A}, "%x A %"},
        TFormatCase{"LonePercentAtEnd", "50%", {A}, "50%"},
        TFormatCase{"ArgumentNotExpandedAgain", "%s%s", {QStringLiteral("%s"), B}, "%sB"},
        TFormatCase{"UpperCaseNotAPlaceholder", "%S %D", {A}, "%S %D"},
        TFormatCase{"Empty", "", {A}, ""}),
    TCaseName());

TEST(FormatText, PlaceholderSignatureListsKindsInOrder) {
    EXPECT_EQ(PlaceholderSignature(QStringLiteral("%s has %d files")), QStringLiteral("sd"));
    EXPECT_EQ(PlaceholderSignature(QStringLiteral("%d of %s")), QStringLiteral("ds"));
    EXPECT_EQ(PlaceholderSignature(QStringLiteral("100%% %s")), QStringLiteral("s"));
    EXPECT_EQ(PlaceholderSignature(QStringLiteral("%x % %%")), QString());
    EXPECT_EQ(PlaceholderSignature(QStringLiteral("Can not connect to %s.")), QStringLiteral("s"));
}

// A translation whose placeholders differ from the English text would read the
// wrong arguments; the English text is used instead.
TEST(FormatText, TranslateFormatFallsBackWhenPlaceholdersDiffer) {
    TTempHome home;
    home.Write(QStringLiteral("Languages/de.lng"),
               "[Info]\r\nLanguage=Deutsch\r\n[String]\r\n"
               "Can not connect to %s.=Keine Verbindung zu %s.\r\n"
               "%s Online=%s ist da\r\n"
               "%s sent %d files.=%d Dateien von %s.\r\n"
               "Lost %s.=Verloren.\r\n"
               "Got %d.=%s erhalten %s.\r\n"
               "Done 100%%.=Fertig zu 100%%.\r\n");
    TApplicationParams params(home.File(QStringLiteral("Config.ini")), home.Path(),
                              TUserStore(home.File(QStringLiteral("store.ini")), home.File(QStringLiteral("auto.desktop"))));
    params[spUserInterfaceLanguageInUse] = QStringLiteral("Deutsch");
    const TUserInterfaceLang lang(home.File(QStringLiteral("Languages")), params);

    EXPECT_EQ(TranslateFormat(lang, QStringLiteral("Can not connect to %s."), {QStringLiteral("PC")}),
              QStringLiteral("Keine Verbindung zu PC."));
    EXPECT_EQ(TranslateFormat(lang, QStringLiteral("%s Online"), {QStringLiteral("Ann")}), QStringLiteral("Ann ist da"));
    EXPECT_EQ(TranslateFormat(lang, QStringLiteral("%s sent %d files."), {QStringLiteral("Ann"), qint64(3)}),
              QStringLiteral("Ann sent 3 files."));
    EXPECT_EQ(TranslateFormat(lang, QStringLiteral("Lost %s."), {QStringLiteral("x")}), QStringLiteral("Lost x."));
    EXPECT_EQ(TranslateFormat(lang, QStringLiteral("Got %d."), {qint64(5)}), QStringLiteral("Got 5."));
    EXPECT_EQ(TranslateFormat(lang, QStringLiteral("Done 100%%."), {}), QStringLiteral("Fertig zu 100%."));
    EXPECT_EQ(TranslateFormat(lang, QStringLiteral("Untranslated %s"), {QStringLiteral("x")}),
              QStringLiteral("Untranslated x"));
}

} // namespace
