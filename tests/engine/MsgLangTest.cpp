#include "text/MsgLangUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QStringDecoder>
#include <QStringEncoder>
#include <ostream>

namespace {

// ---- Code pages: the name works with the converters and gives Windows' bytes ----

struct TCodePageCase {
    const char* Name;
    int LanguageId;
    const char* Text;   // UTF-8
    QByteArray Bytes;   // the same text in the language's ANSI code page
};

void PrintTo(const TCodePageCase& c, std::ostream* os) { *os << c.Name; }

class CodePages : public ::testing::TestWithParam<TCodePageCase> {};

TEST_P(CodePages, EncodeAndDecodeAsWindowsDoes) {
    const TCodePageCase& c = GetParam();
    const QByteArray name = TMessageLang::CodePageName(c.LanguageId);
    EXPECT_TRUE(QStringEncoder(name.constData()).isValid()) << name.constData();
    EXPECT_TRUE(QStringDecoder(name.constData()).isValid()) << name.constData();
    EXPECT_NE(name.toUpper(), "CP950");

    const QString text = QString::fromUtf8(c.Text);
    const TMessageLang sender(qint16(c.LanguageId));
    EXPECT_EQ(sender.EncodeOutgoing(text).toHex(), c.Bytes.toHex());
    // Any receiver reads it by the sender's identifier.
    EXPECT_EQ(TMessageLang(1033).DecodeFrom(c.LanguageId, c.Bytes), text);
    EXPECT_EQ(TMessageLang(2052).ConvertIncomingText(c.LanguageId, c.Bytes), text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CodePages,
    ::testing::Values(
        TCodePageCase{"ChinesePRC", 2052, "中文昵称 €", "\xD6\xD0\xCE\xC4\xEA\xC7\xB3\xC6 \x80"},
        TCodePageCase{"ChineseSingapore", 4100, "中文", "\xD6\xD0\xCE\xC4"},
        TCodePageCase{"GbkBeyondGb2312", 2052, "暱", "\x95\xBF"},
        TCodePageCase{"ChineseTaiwan", 1028, "中文暱稱", "\xA4\xA4\xA4\xE5\xBC\xCA\xBA\xD9"},
        TCodePageCase{"ChineseHongKong", 3076, "中文", "\xA4\xA4\xA4\xE5"},
        TCodePageCase{"ChineseMacao", 5124, "中文", "\xA4\xA4\xA4\xE5"},
        TCodePageCase{"Big5MicrosoftEuro", 1028, "€", "\xA3\xE1"},
        TCodePageCase{"Japanese", 1041, "日本語テスト", "\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x58\x83\x67"},
        TCodePageCase{"JapaneseMicrosoftExtras", 1041, "～①髙", "\x81\x60\x87\x40\xFB\xFC"},
        TCodePageCase{"Korean", 1042, "한국어", "\xC7\xD1\xB1\xB9\xBE\xEE"},
        TCodePageCase{"KoreanUnifiedHangul", 1042, "똠", "\x8C\x63"},
        TCodePageCase{"Russian", 1049, "Привет", "\xCF\xF0\xE8\xE2\xE5\xF2"},
        TCodePageCase{"EnglishUS", 1033, "Grüße €", "Gr\xFC\xDF" "e \x80"},
        TCodePageCase{"German", 1031, "Jürgen", "J\xFCrgen"},
        TCodePageCase{"French", 1036, "Élève", "\xC9l\xE8ve"},
        TCodePageCase{"Ukrainian", 1058, "Привіт", "\xCF\xF0\xE8\xE2\xB3\xF2"},
        TCodePageCase{"Polish", 1045, "Zażółć", "Za\xBF\xF3\xB3\xE6"},
        TCodePageCase{"Greek", 1032, "Γειά", "\xC3\xE5\xE9\xDC"},
        TCodePageCase{"Turkish", 1055, "İş", "\xDD\xFE"},
        TCodePageCase{"Unknown", 9999, "abc", "abc"}),
    TCaseName());

TEST(CodePages, ChineseFamiliesAndOthersUseTheirTables) {
    for (int id : {2052, 4100}) EXPECT_EQ(TMessageLang::CodePageName(id), "GBK") << id;
    for (int id : {1028, 3076, 5124}) EXPECT_EQ(TMessageLang::CodePageName(id), "windows-950") << id;
    for (int id : {1033, 0, -1, 2057, 1036}) EXPECT_EQ(TMessageLang::CodePageName(id), "windows-1252") << id;
    EXPECT_EQ(TMessageLang::CodePageName(1049), "windows-1251");
}

// ---- Characters the code page lacks ----

struct TUnmappableCase {
    const char* Name;
    int LanguageId;
    QString Text;
    QByteArray Bytes;
};

void PrintTo(const TUnmappableCase& c, std::ostream* os) { *os << c.Name; }

class Unmappable : public ::testing::TestWithParam<TUnmappableCase> {};

TEST_P(Unmappable, BecomesOneQuestionMarkEach) {
    const TUnmappableCase& c = GetParam();
    EXPECT_EQ(TMessageLang::Encode(c.LanguageId, c.Text).toHex(), c.Bytes.toHex());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Unmappable,
    ::testing::Values(
        TUnmappableCase{"ChineseInEnglish", 1033, QString::fromUtf8("a中b"), "a?b"},
        TUnmappableCase{"OnlyUnmappable", 1033, QString::fromUtf8("中文"), "??"},
        TUnmappableCase{"HangulInGbk", 2052, QString::fromUtf8("中한文"), "\xD6\xD0?\xCE\xC4"},
        TUnmappableCase{"SimplifiedInBig5", 1028, QString::fromUtf8("中称"), "\xA4\xA4?"},
        TUnmappableCase{"HangulInShiftJis", 1041, QString::fromUtf8("日한"), "\x93\xFA?"},
        TUnmappableCase{"LatinInCyrillic", 1049, QString::fromUtf8("Яé"), "\xDF?"},
        TUnmappableCase{"SharpSInGbk", 2052, QString::fromUtf8("ß"), "?"},
        TUnmappableCase{"EmojiIsOneCharacter", 1033, QString::fromUtf8("a😀b"), "a?b"},
        TUnmappableCase{"LoneSurrogate", 1033, QString(QChar(0xD800)) + QLatin1Char('x'), "?x"},
        TUnmappableCase{"AsciiUntouched", 1041, QStringLiteral("C:\\path~"), "C:\\path~"}),
    TCaseName());

TEST(WireText, EveryByteOfSingleByteCodePagesSurvivesARoundTrip) {
    // A name typed on a Windows peer may hold any byte; passing it on (a reply,
    // the log) must give the same bytes back.
    QByteArray all;
    for (int b = 1; b < 256; ++b) all += char(b);
    for (int id : {1033, 1049, 1045}) {
        const QString text = TMessageLang::Decode(id, all);
        EXPECT_EQ(TMessageLang::Encode(id, text).toHex(), all.toHex()) << id;
    }
}

TEST(WireText, EmptyAndNulBytes) {
    EXPECT_TRUE(TMessageLang::Encode(2052, QString()).isEmpty());
    EXPECT_TRUE(TMessageLang::Decode(2052, QByteArray()).isEmpty());
    EXPECT_EQ(TMessageLang::Decode(1033, QByteArray("a\0b", 3)), QString::fromUtf16(u"a\0b", 3));
}

// ---- Families ----

TEST(LanguageFamilies, OnlyTheListedIdentifiers) {
    for (int id : {2052, 4100}) {
        EXPECT_TRUE(TMessageLang::IsGBLanguage(id)) << id;
        EXPECT_FALSE(TMessageLang::IsBig5Language(id)) << id;
    }
    for (int id : {1028, 3076, 5124}) {
        EXPECT_TRUE(TMessageLang::IsBig5Language(id)) << id;
        EXPECT_FALSE(TMessageLang::IsGBLanguage(id)) << id;
    }
    for (int id : {0, 4, 1033, 1041, 1042, 0x7C04, 2052 + 65536, -2052}) {
        EXPECT_FALSE(TMessageLang::IsGBLanguage(id)) << id;
        EXPECT_FALSE(TMessageLang::IsBig5Language(id)) << id;
    }
}

// ---- The own identifier ----

struct TLocaleCase {
    const char* Locale;
    int Id;
};

void PrintTo(const TLocaleCase& c, std::ostream* os) { *os << c.Locale; }

class LocaleLanguageId : public ::testing::TestWithParam<TLocaleCase> {};

TEST_P(LocaleLanguageId, MapsToTheWindowsIdentifier) {
    EXPECT_EQ(TMessageLang::LanguageIdOfLocale(QLocale(QString::fromUtf8(GetParam().Locale))), GetParam().Id);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocaleLanguageId,
    ::testing::Values(TLocaleCase{"zh_CN", 2052}, TLocaleCase{"zh_SG", 4100}, TLocaleCase{"zh_TW", 1028},
                      TLocaleCase{"zh_HK", 3076}, TLocaleCase{"zh_MO", 5124}, TLocaleCase{"zh", 2052},
                      TLocaleCase{"zh_Hant", 1028}, TLocaleCase{"ja_JP", 1041}, TLocaleCase{"ko_KR", 1042},
                      TLocaleCase{"ru_RU", 1049}, TLocaleCase{"de_DE", 1031}, TLocaleCase{"de_AT", 3079},
                      TLocaleCase{"fr_FR", 1036}, TLocaleCase{"fr_CA", 3084}, TLocaleCase{"en_US", 1033},
                      TLocaleCase{"en_GB", 2057}, TLocaleCase{"pt_BR", 1046}, TLocaleCase{"es_ES", 3082},
                      TLocaleCase{"C", 1033}, TLocaleCase{"sw_KE", 1033}));

// Restores QUILLMATE_LANGID after each test.
class SystemLanguage : public ::testing::Test {
protected:
    void TearDown() override {
        if (FHad)
            qputenv("QUILLMATE_LANGID", FOld);
        else
            qunsetenv("QUILLMATE_LANGID");
    }
    const bool FHad = qEnvironmentVariableIsSet("QUILLMATE_LANGID");
    const QByteArray FOld = qgetenv("QUILLMATE_LANGID");
};

TEST_F(SystemLanguage, EnvironmentOverridesTheLocale) {
    qputenv("QUILLMATE_LANGID", "2052");
    EXPECT_EQ(TMessageLang::SystemLanguageId(), 2052);
    qputenv("QUILLMATE_LANGID", "1028");
    EXPECT_EQ(TMessageLang::SystemLanguageId(), 1028);
}

TEST_F(SystemLanguage, NetworkLanguageSettingNamesAKnownLanguageOrNone) {
    qunsetenv("QUILLMATE_LANGID");
    const qint16 fromLocale = TMessageLang::SystemLanguageId();
    struct TCase {
        int Setting;
        int Expected;
    };
    for (const TCase c : {TCase{0, fromLocale}, TCase{1028, 1028}, TCase{2052, 2052}, TCase{3076, 3076},
                          TCase{1049, 1049}, TCase{9999, fromLocale}, TCase{-1028, fromLocale}, TCase{0x10404, fromLocale}})
        EXPECT_EQ(TMessageLang::NetworkLanguageId(c.Setting), c.Expected) << c.Setting;
    // The lab's override wins over the setting.
    qputenv("QUILLMATE_LANGID", "2052");
    EXPECT_EQ(TMessageLang::NetworkLanguageId(1028), 2052);
    qputenv("QUILLMATE_LANGID", "chinese");
    EXPECT_EQ(TMessageLang::NetworkLanguageId(1028), 1028);
}

TEST_F(SystemLanguage, UnusableOverrideFallsBackToTheLocale) {
    qunsetenv("QUILLMATE_LANGID");
    const qint16 fromLocale = TMessageLang::SystemLanguageId();
    EXPECT_EQ(fromLocale, TMessageLang::LanguageIdOfLocale(QLocale::system()));
    for (const char* bad : {"", "chinese", "0", "-5", "70000"}) {
        qputenv("QUILLMATE_LANGID", bad);
        EXPECT_EQ(TMessageLang::SystemLanguageId(), fromLocale) << bad;
    }
}

} // namespace
