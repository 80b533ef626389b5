// Profile files that Windows programs saved in an ANSI code page.

#include "platform/ProfileFileUnit.h"
#include "support/CaseName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

const QString S = QStringLiteral("S");

// "[S]\r\nk=<value>\r\nlast=end\r\n": the last key shows the rest of the file survives.
QByteArray FileWith(const QByteArray& value) { return "[S]\r\nk=" + value + "\r\nlast=end\r\n"; }

struct TDecodeCase {
    const char* Name;
    QByteArray File;
    QByteArray Fallback;       // empty: the machine's code page
    const char* MachineLangId; // QUILLMATE_LANGID while the file is read
    QString Section;
    QString Expected;          // value of key "k"
};

void PrintTo(const TDecodeCase& c, std::ostream* os) { *os << c.Name; }

class ProfileCodePage : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(ProfileCodePage, ReadsUtf8ElseTheFallback) {
    const TDecodeCase& c = GetParam();
    const TScopedEnv machine("QUILLMATE_LANGID", c.MachineLangId);
    TProfileFile ini;
    ini.LoadFromBytes(c.File, c.Fallback);
    EXPECT_EQ(ini.ReadString(c.Section, QStringLiteral("k"), QStringLiteral("<default>")), c.Expected);
    EXPECT_EQ(ini.ReadString(S, QStringLiteral("last")), QStringLiteral("end"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileCodePage,
    ::testing::Values(
        // Valid UTF-8 wins over any fallback.
        TDecodeCase{"Utf8ReadAsUtf8", FileWith("\xE9\x94\x80\xE5\x94\xAE\xE9\x83\xA8"), "GBK", "2052", S,
                    QString::fromUtf8("销售部")},
        TDecodeCase{"Utf8WithByteOrderMark", "\xEF\xBB\xBF" + FileWith("Gr\xC3\xBC\xC3\x9F" "e"), "GBK", "2052", S,
                    QString::fromUtf8("Grüße")},
        TDecodeCase{"GbkByGivenFallback", FileWith(QByteArray::fromHex("CFFACADBB2BF")), "GBK", "1033", S,
                    QString::fromUtf8("销售部")},
        TDecodeCase{"GbkByMachine", FileWith(QByteArray::fromHex("CFFACADBB2BF")), "", "2052", S,
                    QString::fromUtf8("销售部")},
        TDecodeCase{"Cp1252ByMachine", FileWith("Gr\xFC\xDF" "e"), "", "1033", S, QString::fromUtf8("Grüße")},
        TDecodeCase{"Big5ByMachine", FileWith(QByteArray::fromHex("C3F6B3AC")), "", "1028", S,
                    QString::fromUtf8("關閉")},
        TDecodeCase{"Cp1251ByMachine", FileWith(QByteArray::fromHex("C7E0EAF0FBF2FC")), "", "1049", S,
                    QString::fromUtf8("Закрыть")},
        TDecodeCase{"Cp932ByGivenFallback", FileWith(QByteArray::fromHex("95C282B682E9")), "CP932", "1033", S,
                    QString::fromUtf8("閉じる")},
        // 0x5D, "]", as a second byte: the file is decoded before any line is parsed.
        TDecodeCase{"GbkSectionWithBracketByte", "[" + QByteArray::fromHex("815DD7E9") + "]\r\nk=v\r\n" + FileWith("x"),
                    "GBK", "1033", QString::fromUtf8("乚组"), QStringLiteral("v")},
        // A lead byte before a line end must not swallow the line end.
        TDecodeCase{"InvalidInBothKeepsTheRest", FileWith("a\x81"), "GBK", "1033", S,
                    QStringLiteral("a") + QChar(0xFFFD)},
        TDecodeCase{"LeadByteAtEndOfFile", "[S]\r\nlast=end\r\nk=a\x81", "GBK", "1033", S,
                    QStringLiteral("a") + QChar(0xFFFD)},
        TDecodeCase{"MarkedUtf8WithStrayByteStaysUtf8", "\xEF\xBB\xBF" + FileWith("Gr\xC3\xBC\xFF"), "GBK", "2052", S,
                    QString::fromUtf8("Grü") + QChar(0xFFFD)},
        TDecodeCase{"UnknownFallbackReadsBytesAsLatin1", FileWith("Gr\xFC\xDF" "e"), "no-such-code-page", "2052", S,
                    QString::fromUtf8("Grüße")}),
    TCaseName());

struct TRoundTripCase {
    const char* Name;
    QByteArray CodePage;
    QByteArray Encoded;
    QString Text;
};

void PrintTo(const TRoundTripCase& c, std::ostream* os) { *os << c.Name; }

class ProfileCodePageSave : public ::testing::TestWithParam<TRoundTripCase> {};

// A group file from a Windows program is rewritten whole in UTF-8, so the
// next read needs no fallback and a key written now is not misread later.
TEST_P(ProfileCodePageSave, WritesUtf8ThatReadsBackTheSame) {
    const TRoundTripCase& c = GetParam();
    TTempHome home;
    home.Write(QStringLiteral("UserGroup.ini"), "; saved by Windows\r\n[Users]\r\nPC1=" + c.Encoded + "\r\n");
    const QString path = home.File(QStringLiteral("UserGroup.ini"));
    const QString users = QStringLiteral("Users");
    const QString added = c.Text + QStringLiteral("2");

    TProfileFile ini;
    ASSERT_TRUE(ini.Load(path, c.CodePage));
    EXPECT_EQ(ini.ReadString(users, QStringLiteral("PC1")), c.Text);
    ASSERT_TRUE(ini.WriteString(users, QStringLiteral("PC2"), added));
    ASSERT_TRUE(ini.Save());
    const QByteArray saved = home.Read(QStringLiteral("UserGroup.ini"));
    EXPECT_EQ(saved, "; saved by Windows\r\n[Users]\r\nPC1=" + c.Text.toUtf8() + "\r\nPC2=" + added.toUtf8() + "\r\n");

    // Latin-1 as fallback would garble anything that is not UTF-8.
    TProfileFile again;
    ASSERT_TRUE(again.Load(path, "ISO-8859-1"));
    EXPECT_EQ(again.ReadString(users, QStringLiteral("PC1")), c.Text);
    EXPECT_EQ(again.ReadString(users, QStringLiteral("PC2")), added);
    ASSERT_TRUE(again.Save());
    EXPECT_EQ(home.Read(QStringLiteral("UserGroup.ini")), saved);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileCodePageSave,
    ::testing::Values(TRoundTripCase{"Gbk", "GBK", QByteArray::fromHex("CFFACADBB2BF"), QString::fromUtf8("销售部")},
                      TRoundTripCase{"Big5", "windows-950", QByteArray::fromHex("C3F6B3AC"), QString::fromUtf8("關閉")},
                      TRoundTripCase{"Cp1252", "windows-1252", "Gr\xFC\xDF" "e", QString::fromUtf8("Grüße")},
                      TRoundTripCase{"Cp1251", "windows-1251", QByteArray::fromHex("C7E0EAF0FBF2FC"),
                                     QString::fromUtf8("Закрыть")}),
    TCaseName());

} // namespace
