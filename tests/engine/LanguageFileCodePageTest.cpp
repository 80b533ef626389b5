#include "text/LanguageFileUnit.h"
#include "support/CaseName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

QByteArray LanguageFile(const QByteArray& language, const QByteArray& strings = "Close=x\r\n") {
    return "[Info]\r\nLanguage=" + language + "\r\n[String]\r\n" + strings;
}

struct TCodePageCase {
    const char* Name;
    const char* FileName;
    QByteArray Bytes;
    const char* MachineLangId; // QUILLMATE_LANGID while the file is looked at
    QByteArray Expected;
};

void PrintTo(const TCodePageCase& c, std::ostream* os) { *os << c.Name; }

class LanguageFileCodePageCases : public ::testing::TestWithParam<TCodePageCase> {};

TEST_P(LanguageFileCodePageCases, FollowsTheLanguageTheFileNames) {
    const TCodePageCase& c = GetParam();
    const TScopedEnv machine("QUILLMATE_LANGID", c.MachineLangId);
    EXPECT_EQ(LanguageFileCodePage(c.Bytes, QString::fromUtf8(c.FileName)), c.Expected);
}

const QByteArray Umlauts = "Close=Schlie\xDF" "en\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, LanguageFileCodePageCases,
    ::testing::Values(
        TCodePageCase{"Utf8", "de.lng", LanguageFile("Deutsch", "Close=Schlie\xC3\x9F" "en\r\n"), "2052", "UTF-8"},
        TCodePageCase{"Utf8WithByteOrderMark", "de.lng", "\xEF\xBB\xBF" + LanguageFile("Deutsch"), "2052", "UTF-8"},
        // A Western file on a Chinese machine is still Western.
        TCodePageCase{"GermanName", "de.lng", LanguageFile("Deutsch", Umlauts), "2052", "windows-1252"},
        TCodePageCase{"GermanNameQuotedAndSpaced", "de.lng", LanguageFile("  \" deutsch \"", Umlauts), "2052",
                      "windows-1252"},
        TCodePageCase{"FrenchNameInItsCodePage", "fr.lng", LanguageFile("Fran\xE7" "ais", "Close=Fermer\r\n"), "2052",
                      "windows-1252"},
        TCodePageCase{"SimplifiedChineseName", "zh.lng", LanguageFile(QByteArray::fromHex("BCF2CCE5D6D0CEC4")), "1033",
                      "GBK"},
        TCodePageCase{"TraditionalChineseName", "zh.lng", LanguageFile(QByteArray::fromHex("C163C5E9A4A4A4E5")), "1033",
                      "windows-950"},
        TCodePageCase{"JapaneseName", "ja.lng", LanguageFile(QByteArray::fromHex("93FA967B8CEA")), "1033", "CP932"},
        TCodePageCase{"KoreanName", "ko.lng", LanguageFile(QByteArray::fromHex("C7D1B1B9BEEE")), "1033", "windows-949"},
        TCodePageCase{"RussianName", "ru.lng", LanguageFile(QByteArray::fromHex("D0F3F1F1EAE8E9")), "1033",
                      "windows-1251"},
        TCodePageCase{"EnglishNameOfTheLanguage", "x.lng", LanguageFile("Chinese (Simplified)", "Close=\xB9\xD8\r\n"),
                      "1033", "GBK"},
        // The name a file gives wins over its file name.
        TCodePageCase{"NameBeforeFileName", "SimplifiedChinese.lng", LanguageFile("Deutsch", Umlauts), "2052",
                      "windows-1252"},
        TCodePageCase{"FileNameWhenTheNameIsUnknown", "SimplifiedChinese.lng",
                      LanguageFile("Zhongwen GB", "Close=\xB9\xD8\xB1\xD5\r\n"), "1033", "GBK"},
        TCodePageCase{"FileNameWhenThereIsNoName", "Traditional_Chinese.lng", "[String]\r\nClose=\xC3\xF6\xB3\xAC\r\n",
                      "1033", "windows-950"},
        TCodePageCase{"UnknownLanguageMachineCodePage", "x.lng", LanguageFile("Klingon", "Close=\xB9\xD8\xB1\xD5\r\n"),
                      "2052", "GBK"},
        // 0xFC before a line end is no GBK character.
        TCodePageCase{"UnknownLanguageMachineCannotReadIt", "x.lng", LanguageFile("Klingon", "Close=Tsch\xFC\r\n"),
                      "2052", "windows-1252"}),
    TCaseName());

} // namespace
