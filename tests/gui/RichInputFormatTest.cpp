// The input box's formats (ResetInputFormat, the font bar on the whole text,
// LoadFontSizes), its summary line and length limit, and the conversation
// pane's AppendToChat.
#include "text/widgets/RichInputUnit.h"

#include "text/widgets/FontBarUnit.h"
#include "text/widgets/RichShowUnit.h"

#include "support/CaseName.h"
#include "support/RichWidgetFixtures.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#include <ostream>

namespace {

using namespace RichFixtures;
using namespace RichWidgetFixtures;

// ------------------------------------------------------------------ MakeFirst2Line

struct TSummaryCase {
    std::string Name;
    QString Text;
    QString Summary;
};
void PrintTo(const TSummaryCase& c, std::ostream* os) { *os << c.Name; }

class First2Line : public ::testing::TestWithParam<TSummaryCase> {};

TEST_P(First2Line, IsTheSummaryOfTheText) { EXPECT_EQ(MakeFirst2Line(GetParam().Text), GetParam().Summary); }

const QString kObject = QString(QChar::ObjectReplacementCharacter);

INSTANTIATE_TEST_SUITE_P(
    Cases, First2Line,
    ::testing::Values(
        TSummaryCase{"OneLine", "Hello", "Hello\r\n"},
        TSummaryCase{"TwoOfThreeLines", "one\ntwo\nthree", "one\r\ntwo"},
        TSummaryCase{"WindowsLineEnds", "one\r\ntwo\r\nthree", "one\r\ntwo"},
        TSummaryCase{"LineSeparator", "one" + QString(QChar::LineSeparator) + "two", "one\r\ntwo"},
        TSummaryCase{"StartsWithAPicture", kObject, "<space or object>\r\n"},
        TSummaryCase{"PictureLineThenText", kObject + "\nbelow", "<space or object>\r\nbelow"},
        TSummaryCase{"PictureBeforeText", kObject + "after", " after\r\n"},
        TSummaryCase{"BlanksAndTabsOnly", " \t \nsecond", "<space or object>\r\nsecond"},
        TSummaryCase{"EmptyFirstLine", "\nsecond", "<space or object>\r\nsecond"},
        TSummaryCase{"TabsRemoved", "a\tb\nc\td", "ab\r\ncd"},
        TSummaryCase{"SecondLineBeyond255Characters", QString(254, 'x') + "\nsecond", QString(254, 'x') + "\r\n"},
        TSummaryCase{"LongFirstLineCut", QString(300, 'y'), QString(255, 'y') + "\r\n"},
        TSummaryCase{"SurrogatePairNotCut", QString(254, 'z') + QString::fromUtf8("😀"), QString(254, 'z') + "\r\n"}),
    TCaseName());

// ------------------------------------------------------------------ formats

class RichInputFormat : public ::testing::Test {
protected:
    RichInputFormat() {
        Params()[spRichEditFontName] = QStringLiteral("DejaVu Sans");
        Params()[ipRichEditFontSize] = 12;
        Params()[ipRichEditFontColor] = 0x0000FF; // red as Windows keeps it
        Params()[bpBold] = true;
        Params()[bpItalic] = false;
        Params()[bpUnderLine] = true;
    }
    TSavedParams Saved;
};

TEST_F(RichInputFormat, TypedTextTakesTheSettingsFormat) {
    TRichInputBox input(Params());
    QTest::keyClicks(&input, QStringLiteral("typed"));
    EXPECT_EQ(input.Document(), Doc({{{TextRun("typed", Fmt("DejaVu Sans", 24, 0xFF0000, true, false, true))}}}));
}

TEST_F(RichInputFormat, WindowTextColourIsTheAutomaticColour) {
    Params()[ipRichEditFontColor] = -16777208; // clWindowText
    TRichInputBox input(Params());
    QTest::keyClicks(&input, QStringLiteral("a"));
    EXPECT_EQ(input.Document().Paragraphs[0].Runs[0].Format.Colour, std::nullopt);
}

TEST_F(RichInputFormat, EmptiedInputTakesTheSettingsFormatAgain) {
    TRichInputBox input(Params());
    input.SetDocument(Doc({{{TextRun("old", Fmt("DejaVu Serif", 40, 0x00FF00))}}}));
    input.selectAll();
    QTest::keyClick(&input, Qt::Key_Delete);
    QTest::keyClicks(&input, QStringLiteral("new"));
    EXPECT_EQ(input.Document(), Doc({{{TextRun("new", Fmt("DejaVu Sans", 24, 0xFF0000, true, false, true))}}}));
}

TEST_F(RichInputFormat, ReadOnlyAndPlainInputsKeepTheirFormat) {
    TRichInputBox input(Params());
    input.SetDocument(Doc({{{TextRun("kept", Fmt("DejaVu Serif", 40))}}}));
    input.setReadOnly(true);
    input.ApplyFontSize(30);
    input.ApplyFontStyle(true, true, true);
    input.ResetInputFormat();
    EXPECT_EQ(input.Document(), Doc({{{TextRun("kept", Fmt("DejaVu Serif", 40))}}}));
    EXPECT_EQ(Params()[ipRichEditFontSize], 12);
}

TEST_F(RichInputFormat, MaxLengthCutsWhatCameInLast) {
    TRichInputBox input(Params());
    input.SetPlainTextMode(true);
    input.SetMaxLength(10);
    QTest::keyClicks(&input, QStringLiteral("abcdefgh"));
    input.moveCursor(QTextCursor::Start);
    input.insertPlainText(QStringLiteral("12345"));
    EXPECT_EQ(input.toPlainText(), QStringLiteral("12abcdefgh"));
    input.moveCursor(QTextCursor::End);
    QTest::keyClicks(&input, QStringLiteral("zz"));
    EXPECT_EQ(input.toPlainText(), QStringLiteral("12abcdefgh"));
}

// ------------------------------------------------------------------ font bar

class FontBarTest : public RichInputFormat {
protected:
    FontBarTest() {
        Bar.SetInput(&Input);
        Bar.SetMessageBox([this](QWidget*, Utils::TMessageBoxKind, const QString& text) {
            Boxes << text;
            return Utils::TMessageBoxResult::Ok;
        });
        Bar.SetColourDialog([this](QWidget*, const QColor&) { return Colour; });
        Input.SetDocument(Doc({{{TextRun("Hello ", Fmt("DejaVu Sans", 20)), PictureRun(Png()),
                                 TextRun("world", Fmt("DejaVu Serif", 30, 0x0000FF, false, true))}},
                               {{TextRun("second", Fmt("DejaVu Sans", 24, {}, true))}}}));
        QTextCursor selection = Input.textCursor();
        selection.setPosition(2);
        selection.setPosition(4, QTextCursor::KeepAnchor);
        Input.setTextCursor(selection);
    }
    // Every run's format, through a check of one attribute.
    template <typename TCheck>
    void ExpectEveryRun(TCheck check) {
        for (const TRichParagraph& paragraph : Input.Document().Paragraphs)
            for (const TRichRun& run : paragraph.Runs) EXPECT_TRUE(check(run.Format)) << run.Text.toStdString();
    }
    void ExpectSelectionKept() {
        EXPECT_EQ(Input.textCursor().anchor(), 2);
        EXPECT_EQ(Input.textCursor().position(), 4);
    }

    TRichInputBox Input{Params()};
    TFontBar Bar{Params()};
    QStringList Boxes;
    std::optional<QColor> Colour;
};

TEST_F(FontBarTest, FontAppliesToTheWholeTextAndIsSaved) {
    Bar.FontChosen(QStringLiteral("DejaVu Sans Mono"));
    ExpectEveryRun([](const TRichFormat& f) { return f.FontName == QLatin1String("DejaVu Sans Mono"); });
    ExpectSelectionKept();
    EXPECT_EQ(Params()[spRichEditFontName], QStringLiteral("DejaVu Sans Mono"));
    // Sizes and styles of the runs stay.
    EXPECT_EQ(Input.Document().Paragraphs[0].Runs[2].Format.HalfPoints, 30);
    EXPECT_TRUE(Input.Document().Paragraphs[0].Runs[2].Format.Italic);
    // And what is typed next.
    Input.moveCursor(QTextCursor::End);
    QTest::keyClicks(&Input, QStringLiteral("!"));
    EXPECT_EQ(Input.Document().Paragraphs[1].Runs.last().Format.FontName, QStringLiteral("DejaVu Sans Mono"));
    // The picture is still the picture.
    EXPECT_EQ(Input.Document().Pictures().value(0).Bytes, Png());
}

TEST_F(FontBarTest, SizeTypedOrPickedAppliesToTheWholeText) {
    Bar.SizeBox()->setCurrentText(QStringLiteral("18"));
    emit Bar.SizeBox()->lineEdit()->returnPressed();
    ExpectEveryRun([](const TRichFormat& f) { return f.HalfPoints == 36; });
    ExpectSelectionKept();
    EXPECT_EQ(Params()[ipRichEditFontSize], 18);
}

TEST_F(FontBarTest, SizeThatIsNoNumberIsReportedAndChangesNothing) {
    const TRichDocument before = Input.Document();
    for (const char* typed : {"abc", "0", "99999", ""}) {
        EXPECT_FALSE(Bar.SizeEntered(QString::fromLatin1(typed))) << typed;
        EXPECT_EQ(Input.Document(), before) << typed;
    }
    EXPECT_EQ(Boxes.size(), 4);
    EXPECT_EQ(Boxes.value(0), QStringLiteral("'abc' is not a valid font size."));
    EXPECT_EQ(Params()[ipRichEditFontSize], 12);
}

TEST_F(FontBarTest, StyleButtonsApplyAllThreeStyles) {
    Bar.findChild<QToolButton*>(QStringLiteral("tbBold"))->setChecked(true);
    Bar.findChild<QToolButton*>(QStringLiteral("tbItalic"))->setChecked(false);
    Bar.findChild<QToolButton*>(QStringLiteral("tbUnderLine"))->click();
    ExpectEveryRun([](const TRichFormat& f) { return f.Bold && !f.Italic && f.Underline; });
    ExpectSelectionKept();
    EXPECT_TRUE(Params()[bpBold]);
    EXPECT_FALSE(Params()[bpItalic]);
    EXPECT_TRUE(Params()[bpUnderLine]);
}

TEST_F(FontBarTest, ColourFromTheDialogAppliesAndIsSaved) {
    const TRichDocument before = Input.Document();
    Bar.ColourClicked(); // cancelled
    EXPECT_EQ(Input.Document(), before);
    Colour = QColor(0x12, 0x34, 0x56);
    Bar.findChild<QToolButton*>(QStringLiteral("tbColor"))->click();
    ExpectEveryRun([](const TRichFormat& f) { return f.Colour == std::optional<quint32>(0x123456); });
    EXPECT_EQ(Params()[ipRichEditFontColor], 0x563412);
}

TEST_F(FontBarTest, LoadFromSettingsShowsThemAndResetsTheInput) {
    Params()[spRichEditFontName].clear();
    Bar.LoadFromSettings();
    EXPECT_EQ(Params()[spRichEditFontName], Input.font().family());
    EXPECT_EQ(Bar.SizeBox()->currentText(), QStringLiteral("12"));
    EXPECT_TRUE(Bar.findChild<QToolButton*>(QStringLiteral("tbBold"))->isChecked());
    EXPECT_FALSE(Bar.findChild<QToolButton*>(QStringLiteral("tbItalic"))->isChecked());
    EXPECT_TRUE(Bar.findChild<QToolButton*>(QStringLiteral("tbUnderLine"))->isChecked());
}

TEST(FontSizes, ScalableFontHasTheSixteenStandardSizes) {
    const QString family = QStringLiteral("DejaVu Sans");
    ASSERT_TRUE(QFontDatabase::families().contains(family));
    ASSERT_TRUE(QFontDatabase::isScalable(family));
    const QList<int> expected{8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};
    EXPECT_EQ(LoadFontSizes(family), expected);
    TFontBar bar(Params());
    TRichInputBox input(Params());
    bar.SetInput(&input);
    bar.FontChosen(family);
    QStringList listed;
    for (int i = 0; i < bar.SizeBox()->count(); ++i) listed << bar.SizeBox()->itemText(i);
    EXPECT_EQ(listed.size(), 16);
    EXPECT_EQ(listed.first(), QStringLiteral("8"));
    EXPECT_EQ(listed.last(), QStringLiteral("72"));
}

TEST(FontSizes, RasterFontHasItsOwnSizesAscendingOnce) {
    EXPECT_EQ(FontSizesFor(false, {12, 8, 10, 8, 0}), (QList<int>{8, 10, 12}));
    EXPECT_EQ(FontSizesFor(false, {}), StandardFontSizes());
    EXPECT_EQ(FontSizesFor(true, {13}), StandardFontSizes());
}

// ------------------------------------------------------------------ AppendToChat

TEST(ChatPane, AppendsHeaderContentAndAnEmptyLine) {
    TRichChatPane pane(Params());
    EXPECT_TRUE(pane.isReadOnly());
    pane.AppendToChat(QStringLiteral("Ann(PC1)"), QStringLiteral("10:00:01"),
                      Doc({{{TextRun("hi", Fmt("Arial", 24, {}, true)), PictureRun(Png())}}}), true, false);
    pane.AppendToChat(QStringLiteral("Me(PC2)"), QStringLiteral("10:00:05"), Doc({{{TextRun("hello")}}}), false, false);
    const TRichDocument shown = pane.Document();
    const QFont font = pane.document()->defaultFont();
    TRichFormat blue = Fmt("", qRound(font.pointSizeF() * 2), 0x0000FF);
    TRichFormat green = blue;
    green.Colour = 0x008000;
    EXPECT_EQ(shown, Doc({{{TRichRun{blue, QStringLiteral("Ann(PC1) 10:00:01"), std::nullopt}}},
                          {{TextRun("hi", Fmt("Arial", 24, {}, true)), PictureRun(Png())}},
                          {},
                          {{TRichRun{green, QStringLiteral("Me(PC2) 10:00:05"), std::nullopt}}},
                          {{TextRun("hello")}},
                          {}}));
    // The last line is the empty one, and the caret is after it.
    EXPECT_TRUE(pane.document()->lastBlock().text().isEmpty());
    EXPECT_EQ(pane.textCursor().position(), pane.document()->characterCount() - 1);
}

TEST(ChatPane, ContentWithoutColourIsInTheWindowTextColour) {
    TRichChatPane pane(Params());
    pane.AppendToChat(QStringLiteral("Ann"), QStringLiteral("1"), Doc({{{TextRun("plain")}}}), true, false);
    const QTextBlock content = pane.document()->findBlockByNumber(1);
    ASSERT_TRUE(content.isValid());
    const QTextCharFormat format = content.begin().fragment().charFormat();
    EXPECT_FALSE(format.hasProperty(QTextFormat::ForegroundBrush) && format.foreground().style() != Qt::NoBrush);
}

} // namespace
