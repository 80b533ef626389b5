#include "text/UILangUnit.h"
#include "core/ParamsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "support/CaseName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <memory>
#include <optional>
#include <ostream>

namespace {

// A program folder with its own Languages folder and settings.
class UILangTest : public ::testing::Test {
protected:
    UILangTest()
        : Params(Home.File(QStringLiteral("Config.ini")), Home.Path(),
                 TUserStore(Home.File(QStringLiteral(".config/store.ini")), Home.File(QStringLiteral(".config/auto.desktop")))) {}

    void WriteLanguage(const QString& file, const QByteArray& language, const QByteArray& strings) const {
        QByteArray bytes;
        if (!language.isNull()) bytes += "[Info]\r\nLanguage=" + language + "\r\n";
        bytes += "[String]\r\n" + strings;
        Home.Write(QStringLiteral("Languages/") + file, bytes);
    }
    std::unique_ptr<TUserInterfaceLang> Scan(const QString& inUse = QStringLiteral("English")) {
        Params[spUserInterfaceLanguageInUse] = inUse;
        return std::make_unique<TUserInterfaceLang>(Home.File(QStringLiteral("Languages")), Params);
    }
    QStringList Names(const TUserInterfaceLang& lang) const {
        QStringList names;
        for (const TLanguageEntry& entry : lang.LanguageList()) names << entry.LanguageName + QLatin1Char('=') + entry.LanguageFile;
        return names;
    }
    std::optional<QString> ConfigLanguage() const {
        TProfileFile file(Home.File(QStringLiteral("Config.ini")));
        const QString section = QString::fromLatin1(TApplicationParams::SectionName);
        if (!file.ValueExists(section, QStringLiteral("UserInterfaceLanguageInUse"))) return std::nullopt;
        return file.ReadString(section, QStringLiteral("UserInterfaceLanguageInUse"));
    }

    TTempHome Home;
    TApplicationParams Params;
};

TEST_F(UILangTest, ScanListsOnlyFilesThatNameTheirLanguage) {
    WriteLanguage(QStringLiteral("b_deutsch.lng"), "Deutsch", "&File=&Datei\r\n");
    WriteLanguage(QStringLiteral("a_french.txt"), "Fran\xC3\xA7" "ais", "&File=&Fichier\r\n");
    WriteLanguage(QStringLiteral("c_noinfo.lng"), QByteArray(), "&File=&Arkiv\r\n");   // translations, no Info
    WriteLanguage(QStringLiteral("d_empty.lng"), "", "&File=&Tiedosto\r\n");           // empty Language
    Home.Write(QStringLiteral("Languages/e_junk.bin"), QByteArray("\x00\xFF\x01[Info", 8));
    Home.Write(QStringLiteral("Languages/.hidden.lng"), "[Info]\r\nLanguage=Hidden\r\n");
    // A folder, even one that looks like a language file, is skipped.
    Home.Write(QStringLiteral("Languages/f_folder.lng/inner.lng"), "[Info]\r\nLanguage=Inner\r\n");
    const auto lang = Scan();
    EXPECT_EQ(Names(*lang), (QStringList{QStringLiteral(".hidden.lng").prepend(QStringLiteral("Hidden=")),
                                         QString::fromUtf8("Fran\xC3\xA7" "ais=a_french.txt"),
                                         QStringLiteral("Deutsch=b_deutsch.lng")}));
    EXPECT_TRUE(lang->ScanErrors().isEmpty());
}

TEST_F(UILangTest, MissingFolderMeansEnglishOnly) {
    const auto lang = Scan(QStringLiteral("Deutsch"));
    EXPECT_TRUE(lang->LanguageList().isEmpty());
    EXPECT_EQ(Params[spUserInterfaceLanguageInUse], QStringLiteral("English"));
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")), QStringLiteral("&File"));
}

TEST_F(UILangTest, TranslateFallsBackToEnglish) {
    WriteLanguage(QStringLiteral("de.lng"), "Deutsch",
                  "&File=&Datei\r\nE&xit=\r\nCan not connect to %s.=Keine Verbindung zu %s.\r\n");
    const auto english = Scan();
    // No file in use: every text is English.
    EXPECT_EQ(english->Translate(QStringLiteral("&File")), QStringLiteral("&File"));

    const auto lang = Scan(QStringLiteral("Deutsch"));
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")), QStringLiteral("&Datei"));
    EXPECT_EQ(lang->Translate(QStringLiteral("&Help")), QStringLiteral("&Help"));  // missing key
    EXPECT_EQ(lang->Translate(QStringLiteral("E&xit")), QStringLiteral("E&xit"));  // empty value
    EXPECT_EQ(lang->Translate(QStringLiteral("")), QStringLiteral(""));
}

TEST_F(UILangTest, KeysIgnoreLetterCase) {
    WriteLanguage(QStringLiteral("de.lng"), "Deutsch", "&FILE=&Datei\r\nsorry, i'm busy now.=Besetzt.\r\n");
    const auto lang = Scan(QStringLiteral("Deutsch"));
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")), QStringLiteral("&Datei"));
    EXPECT_EQ(lang->Translate(QStringLiteral("Sorry, I'm busy now.")), QStringLiteral("Besetzt."));
}

TEST_F(UILangTest, LanguageNameInUseComparedExactly) {
    WriteLanguage(QStringLiteral("de.lng"), "Deutsch", "&File=&Datei\r\n");
    const auto lang = Scan(QStringLiteral("deutsch"));
    EXPECT_EQ(Params[spUserInterfaceLanguageInUse], QStringLiteral("English"));
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")), QStringLiteral("&File"));
}

TEST_F(UILangTest, SettingNamingAMissingLanguageBecomesEnglishUnsaved) {
    WriteLanguage(QStringLiteral("de.lng"), "Deutsch", "&File=&Datei\r\n");
    Home.Write(QStringLiteral("Config.ini"), "[Quillmate Settings]\r\nUserInterfaceLanguageInUse=Klingon\r\n");
    const QByteArray before = Home.Read(QStringLiteral("Config.ini"));
    const auto lang = Scan(QStringLiteral("Klingon"));
    EXPECT_EQ(Params[spUserInterfaceLanguageInUse], QStringLiteral("English"));
    EXPECT_EQ(Home.Read(QStringLiteral("Config.ini")), before);
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")), QStringLiteral("&File"));
}

TEST_F(UILangTest, SwitchLanguageRules) {
    WriteLanguage(QStringLiteral("de.lng"), "Deutsch", "&File=&Datei\r\n");
    WriteLanguage(QStringLiteral("fr.lng"), "Francais", "&File=&Fichier\r\n");
    const auto lang = Scan();
    EXPECT_FALSE(lang->SwitchLanguage(QStringLiteral("English")));  // in use already
    EXPECT_FALSE(lang->SwitchLanguage(QStringLiteral("Klingon")));  // unknown
    EXPECT_FALSE(lang->SwitchLanguage(QStringLiteral("deutsch")));  // names compared exactly
    EXPECT_EQ(ConfigLanguage(), std::nullopt);

    ASSERT_TRUE(lang->SwitchLanguage(QStringLiteral("Deutsch")));
    EXPECT_EQ(Params[spUserInterfaceLanguageInUse], QStringLiteral("Deutsch"));
    EXPECT_EQ(ConfigLanguage(), QStringLiteral("Deutsch"));  // written at once
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")), QStringLiteral("&Datei"));
    EXPECT_FALSE(lang->SwitchLanguage(QStringLiteral("Deutsch")));

    ASSERT_TRUE(lang->SwitchLanguage(QStringLiteral("Francais")));
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")), QStringLiteral("&Fichier"));
    EXPECT_EQ(ConfigLanguage(), QStringLiteral("Francais"));
    // English is offered again only when a file declares it.
    EXPECT_FALSE(lang->SwitchLanguage(QStringLiteral("English")));
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")), QStringLiteral("&Fichier"));
}

TEST_F(UILangTest, EnglishFileMakesEnglishSelectableAgain) {
    WriteLanguage(QStringLiteral("de.lng"), "Deutsch", "&File=&Datei\r\n");
    WriteLanguage(QStringLiteral("en.lng"), "English", "");
    const auto lang = Scan(QStringLiteral("Deutsch"));
    ASSERT_TRUE(lang->SwitchLanguage(QStringLiteral("English")));
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")), QStringLiteral("&File"));
    EXPECT_EQ(ConfigLanguage(), QStringLiteral("English"));
}

// Two files naming the same language: at start the later one in listing order
// is used, from the menu the earlier one.
TEST_F(UILangTest, TwoFilesWithOneLanguageName) {
    WriteLanguage(QStringLiteral("a.lng"), "Deutsch", "&File=&Datei-A\r\n");
    WriteLanguage(QStringLiteral("b.lng"), "Deutsch", "&File=&Datei-B\r\n");
    WriteLanguage(QStringLiteral("c.lng"), "Francais", "&File=&Fichier\r\n");

    const auto atStart = Scan(QStringLiteral("Deutsch"));
    EXPECT_EQ(Names(*atStart), (QStringList{QStringLiteral("Deutsch=a.lng"), QStringLiteral("Deutsch=b.lng"),
                                            QStringLiteral("Francais=c.lng")}));
    EXPECT_EQ(atStart->Translate(QStringLiteral("&File")), QStringLiteral("&Datei-B"));

    const auto fromMenu = Scan(QStringLiteral("Francais"));
    ASSERT_TRUE(fromMenu->SwitchLanguage(QStringLiteral("Deutsch")));
    EXPECT_EQ(fromMenu->Translate(QStringLiteral("&File")), QStringLiteral("&Datei-A"));
}

TEST_F(UILangTest, FileGoneBeforeSwitchKeepsTheLanguageInUse) {
    WriteLanguage(QStringLiteral("de.lng"), "Deutsch", "&File=&Datei\r\n");
    WriteLanguage(QStringLiteral("fr.lng"), "Francais", "&File=&Fichier\r\n");
    const auto lang = Scan(QStringLiteral("Deutsch"));
    ASSERT_TRUE(QFile::remove(Home.File(QStringLiteral("Languages/fr.lng"))));
    QDir().mkpath(Home.File(QStringLiteral("Languages/fr.lng")));  // unreadable now
    EXPECT_FALSE(lang->SwitchLanguage(QStringLiteral("Francais")));
    EXPECT_EQ(Params[spUserInterfaceLanguageInUse], QStringLiteral("Deutsch"));
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")), QStringLiteral("&Datei"));
}

TEST_F(UILangTest, LongTranslationsAreCut) {
    WriteLanguage(QStringLiteral("de.lng"), "Deutsch", "&File=" + QByteArray(3000, 'd') + "\r\n");
    const auto lang = Scan(QStringLiteral("Deutsch"));
    EXPECT_EQ(lang->Translate(QStringLiteral("&File")).size(), TProfileFile::MaxValueLength);
}

// Language files saved by Windows programs in the code page of their language.
struct TEncodingCase {
    const char* Name;
    const char* FileName;
    QByteArray Bytes;
    const char* MachineLangId; // QUILLMATE_LANGID while the folder is scanned
    QString Language;
    QString Close;             // the translation of "Close"
    QString Cancel;            // the translation of "Cancel"
};

void PrintTo(const TEncodingCase& c, std::ostream* os) { *os << c.Name; }

class UILangEncoding : public UILangTest, public ::testing::WithParamInterface<TEncodingCase> {};

TEST_P(UILangEncoding, TranslationsReadInTheFilesCodePage) {
    const TEncodingCase& c = GetParam();
    const TScopedEnv machine("QUILLMATE_LANGID", c.MachineLangId);
    Home.Write(QStringLiteral("Languages/") + QString::fromUtf8(c.FileName), c.Bytes);
    const auto lang = Scan(c.Language);
    EXPECT_EQ(Names(*lang), QStringList{c.Language + QLatin1Char('=') + QString::fromUtf8(c.FileName)});
    EXPECT_EQ(Params[spUserInterfaceLanguageInUse], c.Language);
    EXPECT_EQ(lang->Translate(QStringLiteral("Close")), c.Close);
    EXPECT_EQ(lang->Translate(QStringLiteral("Cancel")), c.Cancel);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UILangEncoding,
    ::testing::Values(
        TEncodingCase{"Utf8", "de.lng", "[Info]\r\nLanguage=Deutsch\r\n[String]\r\nClose=Schlie\xC3\x9F" "en\r\nCancel=Abbrechen\r\n",
                      "2052", QStringLiteral("Deutsch"), QString::fromUtf8("Schließen"), QStringLiteral("Abbrechen")},
        TEncodingCase{"Utf8WithByteOrderMark", "zh.lng",
                      "\xEF\xBB\xBF[Info]\r\nLanguage=\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87\r\n[String]\r\n"
                      "Close=\xE5\x85\xB3\xE9\x97\xAD\r\nCancel=\xE5\x8F\x96\xE6\xB6\x88\r\n",
                      "1033", QString::fromUtf8("简体中文"), QString::fromUtf8("关闭"), QString::fromUtf8("取消")},
        // On a Chinese machine: the file's language decides, not the machine's.
        TEncodingCase{"Cp1252German", "de.lng",
                      "[Info]\r\nLanguage=Deutsch\r\n[String]\r\nClose=Schlie\xDF" "en\r\nCancel=Zur\xFC" "ck\r\n", "2052",
                      QStringLiteral("Deutsch"), QString::fromUtf8("Schließen"), QString::fromUtf8("Zurück")},
        TEncodingCase{"GbkChinese", "zh.lng",
                      "[Info]\r\nLanguage=" + QByteArray::fromHex("BCF2CCE5D6D0CEC4") + "\r\n[String]\r\nClose=" +
                          QByteArray::fromHex("B9D8B1D5") + "\r\nCancel=" + QByteArray::fromHex("C8A1CFFB") + "\r\n",
                      "1033", QString::fromUtf8("简体中文"), QString::fromUtf8("关闭"), QString::fromUtf8("取消")},
        TEncodingCase{"Big5Chinese", "zh_tw.lng",
                      "[Info]\r\nLanguage=" + QByteArray::fromHex("C163C5E9A4A4A4E5") + "\r\n[String]\r\nClose=" +
                          QByteArray::fromHex("C3F6B3AC") + "\r\n",
                      "2052", QString::fromUtf8("繁體中文"), QString::fromUtf8("關閉"), QStringLiteral("Cancel")},
        TEncodingCase{"GbkChineseKnownByFileName", "SimplifiedChinese.lng",
                      "[Info]\r\nLanguage=Zhongwen\r\n[String]\r\nClose=" + QByteArray::fromHex("B9D8B1D5") + "\r\n",
                      "1033", QStringLiteral("Zhongwen"), QString::fromUtf8("关闭"), QStringLiteral("Cancel")},
        // Bytes no code page reads lose their own line only.
        TEncodingCase{"UnreadableLineKeepsTheRest", "zh.lng",
                      "[Info]\r\nLanguage=" + QByteArray::fromHex("BCF2CCE5D6D0CEC4") + "\r\n[String]\r\nClose=" +
                          QByteArray::fromHex("B9D8B1D5") + "\r\nBad=\xFF\x81\r\nCancel=" + QByteArray::fromHex("C8A1CFFB") + "\r\n",
                      "1033", QString::fromUtf8("简体中文"), QString::fromUtf8("关闭"), QString::fromUtf8("取消")}),
    TCaseName());

} // namespace
