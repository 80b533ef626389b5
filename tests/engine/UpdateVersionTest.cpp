#include "support/CaseName.h"
#include "update/UpdateCodecUnit.h"
#include "update/UpdateNamesUnit.h"
#include "update/UpdateVersionUnit.h"
#include "text/MsgLangUnit.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct TVersionCase {
    const char* Name;
    const char* A;
    const char* B;
    int Expected; // sign of CompareVersions(A, B)
};
void PrintTo(const TVersionCase& c, std::ostream* os) { *os << c.Name; }

class UpdateVersionCompare : public ::testing::TestWithParam<TVersionCase> {};

TEST_P(UpdateVersionCompare, ComponentByComponentAsUnsigned16Bit) {
    const TVersionCase& c = GetParam();
    const auto a = ParseVersion(QString::fromLatin1(c.A));
    const auto b = ParseVersion(QString::fromLatin1(c.B));
    ASSERT_TRUE(a && b);
    const int r = CompareVersions(*a, *b);
    EXPECT_EQ((r > 0) - (r < 0), c.Expected);
    EXPECT_EQ(IsNewerVersion(QString::fromLatin1(c.A), QString::fromLatin1(c.B)), c.Expected > 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateVersionCompare,
    ::testing::Values(TVersionCase{"Equal", "5.9.1.235", "5.9.1.235", 0},
                      TVersionCase{"NewerMajor", "6.0.0.0", "5.9.9.9", 1},
                      TVersionCase{"NewerMinorNotText", "5.10.0.1", "5.9.9.9", 1},
                      TVersionCase{"NewerRelease", "5.9.2.0", "5.9.1.999", 1},
                      TVersionCase{"NewerBuild", "5.9.1.236", "5.9.1.235", 1},
                      TVersionCase{"OlderBuild", "5.9.1.234", "5.9.1.235", -1},
                      TVersionCase{"Top16BitIsLargest", "1.65535.0.0", "1.0.0.0", 1},
                      TVersionCase{"NegativeWrapsToTop", "1.-1.0.0", "1.65534.0.0", 1},
                      TVersionCase{"BeyondWrapsToZero", "1.65536.0.0", "1.0.0.0", 0},
                      TVersionCase{"HexAsDelphiReadsIt", "1.$10.0.0", "1.16.0.0", 0}),
    TCaseName());

TEST(UpdateVersion, NotFourIntegersIsNoVersion) {
    for (const char* text : {"", "1.2.3", "1.2.3.4.5", "1.2.x.4", "1..3.4"})
        EXPECT_FALSE(ParseVersion(QString::fromLatin1(text))) << text;
    EXPECT_FALSE(IsNewerVersion(QStringLiteral("2.0.0.0"), QStringLiteral("junk")));
}

struct TNameCase {
    const char* Name;
    const char* Path;
    const char* Normal; // null: refused
};
void PrintTo(const TNameCase& c, std::ostream* os) { *os << c.Name; }

class UpdateNameRules : public ::testing::TestWithParam<TNameCase> {};

TEST_P(UpdateNameRules, RelativeFilesOnly) {
    const TNameCase& c = GetParam();
    QString normal;
    const bool ok = UpdateNames::Normalise(QString::fromUtf8(c.Path), &normal);
    EXPECT_EQ(ok, c.Normal != nullptr);
    if (c.Normal) EXPECT_EQ(normal, QString::fromUtf8(c.Normal));
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateNameRules,
    ::testing::Values(TNameCase{"Plain", "quillmate", "quillmate"},
                      TNameCase{"BackslashFolder", "Languages\\Chinese.lng", "Languages/Chinese.lng"},
                      TNameCase{"SlashFolder", "Sounds/online.wav", "Sounds/online.wav"},
                      TNameCase{"DotDot", "../x", nullptr}, TNameCase{"DotDotInside", "a/../../x", nullptr},
                      TNameCase{"Dot", "./x", nullptr}, TNameCase{"Absolute", "/etc/passwd", nullptr},
                      TNameCase{"BackslashAbsolute", "\\etc\\passwd", nullptr},
                      TNameCase{"DriveLetter", "C:\\Windows\\x.dll", nullptr}, TNameCase{"TildeIsOnlyAName", "~/x", "~/x"},
                      TNameCase{"Folder", "Languages/", nullptr}, TNameCase{"Empty", "", nullptr},
                      TNameCase{"EmptyPart", "a//b", nullptr}),
    TCaseName());

TEST(UpdateCodec, MessagesKeepTheirFieldsAndFileListsTravelBack) {
    TMessageLang lang(1033);
    const auto check = TEnvelope::Parse(EncodeCheckNewVersion(QStringLiteral("OLDPC"), QStringLiteral("1.0.0.1"),
                                                              QStringLiteral("{OLD}")));
    ASSERT_TRUE(check);
    EXPECT_EQ(check->FieldCount(), 9);
    const auto q = DecodeCheckNewVersion(*check);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->ComputerName, QStringLiteral("OLDPC"));
    EXPECT_EQ(q->Version, QStringLiteral("1.0.0.1"));
    EXPECT_EQ(q->UserId, QStringLiteral("{OLD}"));
    EXPECT_FALSE(DecodeCheckNewVersion(*TEnvelope::Parse("QLM_CHECKNEWVERSION\t2\tPC\t1.0.x.1\t{X}")));

    const QByteArray replyBytes = EncodeReplyCheckNewVersion(QStringLiteral("New\tNick"), QStringLiteral("NEWPC"),
                                                             QStringLiteral("2.0.0.0"),
                                                             {QStringLiteral("a.txt"), QStringLiteral("Update.ini")}, lang);
    const auto reply = TEnvelope::Parse(replyBytes);
    ASSERT_TRUE(reply);
    const auto data = DecodeReplyCheckNewVersion(*reply, lang);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->NickName, QStringLiteral("New Nick"));
    EXPECT_EQ(data->ComputerName, QStringLiteral("NEWPC"));
    EXPECT_EQ(data->Summary, "2.0.0.0");
    EXPECT_EQ(data->Body, "a.txt\r\nUpdate.ini\r\n");
    EXPECT_EQ(data->LanguageId, 1033);

    const auto request = TEnvelope::Parse(EncodeUpdateFilesRequest(QStringLiteral("OLDPC"), data->Body));
    ASSERT_TRUE(request);
    const TUpdateFilesRequest r = DecodeUpdateFilesRequest(*request);
    EXPECT_EQ(r.ComputerName, QStringLiteral("OLDPC"));
    EXPECT_EQ(r.Files, (QList<QByteArray>{"a.txt", "Update.ini"}));
    EXPECT_EQ(EncodeUpdateStreamHeader(), "QLM_TRANSUPDATEFILE\t2\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\r\n");
}

} // namespace
