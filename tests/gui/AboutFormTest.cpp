#include "app/AboutUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "support/TestSupport.h"
#include "text/UILangUnit.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <ostream>

namespace {

// A shown about box in the process-wide language (English in the tests).
class AboutFixture {
public:
    AboutFixture() {
        FForm.show();
        FExposed = QTest::qWaitForWindowExposed(&FForm);
    }
    bool Exposed() const { return FExposed; }
    TAboutForm& Form() { return FForm; }

private:
    TAboutForm FForm;
    bool FExposed = false;
};

TEST(AboutForm, ShowsLogoNameAndVersion) {
    AboutFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TAboutForm& form = fixture.Form();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(form.TitleLabel()->text(), QStringLiteral("Quillmate"));
    EXPECT_TRUE(form.TitleLabel()->font().bold());
    EXPECT_GT(form.TitleLabel()->font().pointSizeF(), form.VersionLabel()->font().pointSizeF());
    EXPECT_EQ(form.VersionLabel()->text(), QStringLiteral("Version: ") + Utils::VersionText());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Version: \\d+\\.\\d+\\.\\d+\\.\\d+$"))
                    .match(form.VersionLabel()->text())
                    .hasMatch())
        << form.VersionLabel()->text().toStdString();
    EXPECT_TRUE(form.VersionLabel()->text().endsWith(Utils::VersionText()));
    EXPECT_FALSE(form.DescriptionLabel()->text().isEmpty());
    const QPixmap logo = form.LogoLabel()->pixmap();
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.deviceIndependentSize().toSize(), QSize(TAboutForm::LogoSize, TAboutForm::LogoSize));
}

TEST(AboutForm, IsAModalFixedSizeDialogWithoutHelpButton) {
    AboutFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TAboutForm& form = fixture.Form();
    EXPECT_TRUE(form.isModal());
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.size(), form.minimumSize());
}

TEST(AboutForm, NoticesNameEachLibraryAndItsLicense) {
    TAboutForm form;
    const QStringList notices = form.Notices();
    ASSERT_EQ(notices.size(), 2);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion()))) << notices[0].toStdString();
    EXPECT_TRUE(notices[0].contains(QStringLiteral("LGPL v3")));
    EXPECT_TRUE(notices[1].contains(QStringLiteral("SQLite")));
    EXPECT_TRUE(notices[1].contains(QStringLiteral("public domain")));
    QPlainTextEdit* view = form.NoticesView();
    EXPECT_TRUE(view->isReadOnly());
    for (const QString& notice : notices) EXPECT_TRUE(view->toPlainText().contains(notice));
}

// ---------------------------------------------------------------------------
// The [Close] label

TEST(AboutFormClose, LooksLikeALink) {
    AboutFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TAboutForm& form = fixture.Form();
    TLinkLabel* close = form.CloseLabel();
    EXPECT_EQ(close->text(), QStringLiteral("[Close]"));
    EXPECT_EQ(close->cursor().shape(), Qt::PointingHandCursor);
    // Bottom right of the box.
    const QRect where(close->mapTo(&form, QPoint(0, 0)), close->size());
    EXPECT_GT(where.left(), form.width() / 2);
    EXPECT_GT(where.top(), form.NoticesView()->geometry().bottom());

    EXPECT_FALSE(close->font().underline());
    QTest::mouseMove(&form, where.center());
    QApplication::processEvents();
    EXPECT_TRUE(close->font().underline());
    QTest::mouseMove(&form, QPoint(2, 2));
    QApplication::processEvents();
    EXPECT_FALSE(close->font().underline());
}

enum TCloseGesture { cgLeftClick, cgRightClick, cgReleasedOutside, cgEscape, cgOtherKey };

struct TCloseCase {
    const char* Name;
    TCloseGesture Gesture;
    bool Closes;
    QDialog::DialogCode Result;
};

void PrintTo(const TCloseCase& c, std::ostream* os) { *os << c.Name; }

class AboutFormCloseGestures : public ::testing::TestWithParam<TCloseCase> {};

TEST_P(AboutFormCloseGestures, OnlyClickOrEscapeCloses) {
    const TCloseCase& c = GetParam();
    AboutFixture fixture;
    ASSERT_TRUE(fixture.Exposed());
    TAboutForm& form = fixture.Form();
    TLinkLabel* close = form.CloseLabel();
    QSignalSpy finished(&form, &QDialog::finished);
    switch (c.Gesture) {
    case cgLeftClick: QTest::mouseClick(close, Qt::LeftButton); break;
    case cgRightClick: QTest::mouseClick(close, Qt::RightButton); break;
    case cgReleasedOutside:
        QTest::mousePress(close, Qt::LeftButton);
        QTest::mouseRelease(close, Qt::LeftButton, {}, QPoint(-20, -20));
        break;
    case cgEscape: QTest::keyClick(&form, Qt::Key_Escape); break;
    case cgOtherKey: QTest::keyClick(&form, Qt::Key_A); break;
    }
    QApplication::processEvents();
    EXPECT_EQ(form.isVisible(), !c.Closes);
    ASSERT_EQ(finished.count(), c.Closes ? 1 : 0);
    if (c.Closes) {
        EXPECT_EQ(form.result(), c.Result);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AboutFormCloseGestures,
                         ::testing::Values(TCloseCase{"LeftClick", cgLeftClick, true, QDialog::Accepted},
                                           TCloseCase{"RightClick", cgRightClick, false, QDialog::Rejected},
                                           TCloseCase{"ReleasedOutside", cgReleasedOutside, false, QDialog::Rejected},
                                           TCloseCase{"Escape", cgEscape, true, QDialog::Rejected},
                                           TCloseCase{"OtherKey", cgOtherKey, false, QDialog::Rejected}),
                         TCaseName());

// ---------------------------------------------------------------------------
// Other languages, over the shipped language files

struct TLanguageCase {
    const char* Name;
    const char* Language;    // as the file names it
    const char* Close;       // the [Close] label
    const char* VersionHead; // the version text up to the numbers
};

void PrintTo(const TLanguageCase& c, std::ostream* os) { *os << c.Name; }

class AboutFormLanguages : public ::testing::TestWithParam<TLanguageCase> {
protected:
    AboutFormLanguages()
        : FParams(FHome.File(QStringLiteral("Config.ini")), FHome.Path(),
                  TUserStore(FHome.File(QStringLiteral(".config/store.ini")),
                             FHome.File(QStringLiteral(".config/auto.desktop")))) {
        FParams[spUserInterfaceLanguageInUse] = QStringLiteral("English");
        FLang = std::make_unique<TUserInterfaceLang>(SourceDir() + QStringLiteral("/data/Languages"), FParams);
    }
    TTempHome FHome;
    TApplicationParams FParams;
    std::unique_ptr<TUserInterfaceLang> FLang;
};

TEST_P(AboutFormLanguages, ShowsTheTranslatedTexts) {
    const TLanguageCase& c = GetParam();
    ASSERT_TRUE(FLang->SwitchLanguage(QString::fromUtf8(c.Language)));
    TAboutForm form(nullptr, FLang.get());
    EXPECT_EQ(form.CloseLabel()->text(), QString::fromUtf8(c.Close));
    EXPECT_EQ(form.VersionLabel()->text(), QString::fromUtf8(c.VersionHead) + Utils::VersionText());
    EXPECT_EQ(form.windowTitle(), FLang->Translate(QStringLiteral("About")));
    EXPECT_NE(form.windowTitle(), QStringLiteral("About"));
    EXPECT_TRUE(form.Notices()[0].contains(QString::fromLatin1(qVersion())));
    EXPECT_FALSE(form.Notices()[1].contains(QStringLiteral("public domain"))) << "notice left in English";
}

INSTANTIATE_TEST_SUITE_P(Cases, AboutFormLanguages,
                         ::testing::Values(TLanguageCase{"German", "Deutsch", "[Schließen]", "Version: "},
                                           TLanguageCase{"SimplifiedChinese", "简体中文", "[关闭]", "版本："}),
                         TCaseName());

} // namespace
