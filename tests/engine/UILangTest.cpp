#include "text/UILangUnit.h"
#include "core/ParamsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <memory>
#include <optional>

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

} // namespace
