// The RTF reader on text as rich-edit controls and other programs write it:
// code pages per font, Unicode with its skip counts, groups, destinations.
#include "text/RtfReaderUnit.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

struct TTextCase {
    std::string Name;
    QByteArray Rtf;
    QString PlainText;
};
void PrintTo(const TTextCase& c, std::ostream* os) {
    *os << c.Name;
}

class RtfReaderText : public ::testing::TestWithParam<TTextCase> {};

TEST_P(RtfReaderText, ReadsTheText) {
    const std::optional<TRichDocument> document = ReadRtf(GetParam().Rtf);
    ASSERT_TRUE(document.has_value());
    EXPECT_EQ(document->PlainText(), GetParam().PlainText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtfReaderText,
    ::testing::Values(
        // Rich-edit output on a Simplified Chinese system: font name and text in GBK.
        TTextCase{"RichEditGb2312",
                  "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fcharset134 "
                  "\\'cb\\'ce\\'cc\\'e5;}{\\f1\\fswiss\\fcharset0 Arial;}}\r\n{\\*\\generator Msftedit 5.41.21.2510;}"
                  "\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18\\'d6\\'d0\\'ce\\'c4\\lang1033\\f1 abc\\par\r\n}\r\n",
                  Text("中文abc")},
        TTextCase{"RichEditBig5",
                  "{\\rtf1\\ansi\\ansicpg950\\deff0{\\fonttbl{\\f0\\fnil\\fcharset136 \\'b7\\'73\\'b2\\'d3\\'a9\\'fa"
                  "\\'c5\\'e9;}}\\uc1\\pard\\f0\\fs20\\'a4\\'a4\\'a4\\'e5\\par}",
                  Text("中文")},
        // Big5's second byte may be a backslash: escaped or as \'5c, it is one character.
        TTextCase{"Big5TrailByteEscaped",
                  "{\\rtf1\\ansi\\ansicpg950{\\fonttbl{\\f0\\fcharset136 M;}}\\f0 \\'a5\\\\\\'a5\\'5c}",
                  Text("功功")},
        TTextCase{"ShiftJis", "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset128 M;}}\\f0 \\'93\\'fa\\'96\\'7b}",
                  Text("日本")},
        TTextCase{"Korean", "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset129 M;}}\\f0 \\'c7\\'d1}", Text("한")},
        TTextCase{"Cyrillic", "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset204 M;}}\\f0 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}",
                  Text("Привет")},
        TTextCase{"LatinDefaultCodePage", "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0 caf\\'e9 \\'80}",
                  Text("café €")},
        // Charset 0 means the document's code page.
        TTextCase{"AnsiCodePageForCharsetZero",
                  "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0 \\'cf}", Text("П")},
        // Two fonts of different code pages side by side.
        TTextCase{"CodePagePerFont",
                  "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset134 A;}{\\f1\\fcharset136 B;}}"
                  "\\f0\\'d6\\'d0\\f1\\'a4\\'a4\\f0\\'ce\\'c4}",
                  Text("中中文")},
        TTextCase{"CpgOverridesCharset", "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0\\cpg936 A;}}\\f0 \\'d6\\'d0}",
                  Text("中")},
        TTextCase{"UnicodeSkipOne", "{\\rtf1\\ansi a\\u20013?b}", Text("a中b")},
        TTextCase{"UnicodeSkipZero", "{\\rtf1\\ansi\\uc0 a\\u20013 b}", Text("a中b")},
        TTextCase{"UnicodeSkipTwoHexBytes",
                  "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset134 A;}}\\f0\\uc2\\u20013\\'d6\\'d0x}", Text("中x")},
        TTextCase{"UnicodeNegative", "{\\rtf1\\ansi\\u-201?}", Text("\xef\xbc\xb7")}, // U+FF37
        TTextCase{"UnicodeSurrogatePair", "{\\rtf1\\ansi\\u-10179?\\u-8704?}", Text("😀")},
        // A group's end stops the skipping, and \uc is restored with it.
        TTextCase{"UnicodeSkipEndsWithGroup", "{\\rtf1\\ansi{\\uc3\\u20013}ab\\u20013?c}", Text("中ab中c")},
        TTextCase{"NestedGroups", "{\\rtf1 a{\\b b{\\i c}d}e}", Text("abcde")},
        TTextCase{"UnknownDestinationsSkipped",
                  "{\\rtf1 a{\\*\\unknowndest junk{\\inner more}}b{\\stylesheet{\\s0 Normal;}}c{\\info{\\title T}}d}",
                  Text("abcd")},
        TTextCase{"UnknownWordsIgnored", "{\\rtf1 a\\foo12 b\\bar c}", Text("abc")},
        TTextCase{"EscapedCharacters", "{\\rtf1 \\{x\\}\\\\}", Text("{x}\\")},
        TTextCase{"BreaksAndTabs", "{\\rtf1 a\\line b\\tab c\\par d\\par}", Text("a\u2028b\tc\nd")},
        TTextCase{"EmptyParagraphsKept", "{\\rtf1 a\\par\\par b\\par}", Text("a\n\nb")},
        TTextCase{"FieldResultIsText", "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}",
                  Text("link")},
        TTextCase{"SymbolsAsCharacters", "{\\rtf1 \\lquote a\\rquote\\~\\emdash}", Text("‘a’\u00a0—")},
        TTextCase{"TextAfterLastBraceIgnored", "{\\rtf1 a}b{c}", Text("a")},
        // A font's code page is looked up again when a table (re)defines the font.
        TTextCase{"FontTableAfterText",
                  "{\\rtf1\\ansi\\ansicpg1252\\f1 \\'e9{\\fonttbl{\\f1\\fcharset134 A;}}\\f1\\'d6\\'d0}", Text("é中")},
        TTextCase{"FontRedefined",
                  "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset204 A;}}\\f0\\'cf{\\fonttbl{\\f0\\fcharset134 A;}}\\'d6\\'d0}",
                  Text("П中")},
        TTextCase{"DocumentCodePageChanges", "{\\rtf1\\ansi\\ansicpg1252 \\'e9\\ansicpg1251 \\'e9}", Text("éй")},
        TTextCase{"FontsSwitchInsidePlainText",
                  "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset204 A;}{\\f1\\fcharset0 B;}}\\f0 a\\'cf b\\f1 c\\'cf d}",
                  Text("aП bcÏ d")},
        // Characters a \u skips may be plain text, and line ends inside text are no text.
        TTextCase{"UnicodeSkipCoversPlainText", "{\\rtf1\\ansi\\uc3\\u20013 abcdef}", Text("中def")},
        TTextCase{"UnicodeSkipThenLineEnd", "{\\rtf1\\ansi\\uc2\\u20013 a\r\nbcd}", Text("中cd")},
        TTextCase{"LineEndsInsideText", "{\\rtf1 ab\r\ncd\nef\rg}", Text("abcdefg")},
        TTextCase{"PlainAndHexBytesDecodeTogether", "{\\rtf1\\ansi\\ansicpg936 x\\'d6\\'d0y\\'ce\\'c4}",
                  Text("x中y文")}),
    TCaseName());

struct TFormatCase {
    std::string Name;
    QByteArray Rtf;
    QString RunText;
    TRichFormat Format;
};
void PrintTo(const TFormatCase& c, std::ostream* os) {
    *os << c.Name;
}

TRichFormat Fmt(const char* font, int halfPoints, std::optional<quint32> colour, bool bold, bool italic,
                bool underline) {
    return TRichFormat{Text(font), halfPoints, colour, bold, italic, underline};
}

class RtfReaderFormat : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(RtfReaderFormat, RunCarriesItsFormat) {
    const std::optional<TRichDocument> document = ReadRtf(GetParam().Rtf);
    ASSERT_TRUE(document.has_value());
    for (const TRichParagraph& paragraph : document->Paragraphs)
        for (const TRichRun& run : paragraph.Runs)
            if (run.Text == GetParam().RunText) {
                EXPECT_EQ(run.Format, GetParam().Format);
                return;
            }
    FAIL() << "no run " << GetParam().RunText.toStdString() << " in " << document->PlainText().toStdString();
}

const char* const FormatSample =
    "{\\rtf1\\ansi\\ansicpg936\\deff1{\\fonttbl{\\f0\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}{\\f1\\fswiss Arial;}}"
    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green128\\blue255;}"
    "plain {\\b bold {\\i both}}{\\ul under\\ulnone over}\\cf1 red\\cf2\\fs40 blue\\plain back"
    "{\\f0 song}{\\uldb double}{\\b0 off}\\cf9\\fs30 nocolour}";

INSTANTIATE_TEST_SUITE_P(
    Cases, RtfReaderFormat,
    ::testing::Values(
        TFormatCase{"DefaultFontAndSize", FormatSample, "plain ", Fmt("Arial", 24, {}, false, false, false)},
        TFormatCase{"Bold", FormatSample, "bold ", Fmt("Arial", 24, {}, true, false, false)},
        TFormatCase{"NestedBoldItalic", FormatSample, "both", Fmt("Arial", 24, {}, true, true, false)},
        TFormatCase{"Underline", FormatSample, "under", Fmt("Arial", 24, {}, false, false, true)},
        TFormatCase{"UnderlineNone", FormatSample, "over", Fmt("Arial", 24, {}, false, false, false)},
        TFormatCase{"Colour", FormatSample, "red", Fmt("Arial", 24, 0xFF0000, false, false, false)},
        TFormatCase{"ColourAndSize", FormatSample, "blue", Fmt("Arial", 40, 0x0080FF, false, false, false)},
        TFormatCase{"PlainResets", FormatSample, "back", Fmt("Arial", 24, {}, false, false, false)},
        TFormatCase{"FontNameInItsCodePage", FormatSample, "song", Fmt("宋体", 24, {}, false, false, false)},
        TFormatCase{"OtherUnderlineKinds", FormatSample, "double", Fmt("Arial", 24, {}, false, false, true)},
        TFormatCase{"BoldZeroIsOff", FormatSample, "off", Fmt("Arial", 24, {}, false, false, false)},
        TFormatCase{"ColourBeyondTable", FormatSample, "nocolour", Fmt("Arial", 30, {}, false, false, false)}),
    TCaseName());

TEST(RtfReader, RefusesWhatIsNotRtf) {
    EXPECT_FALSE(ReadRtf(QByteArray()).has_value());
    EXPECT_FALSE(ReadRtf("plain text").has_value());
    EXPECT_FALSE(ReadRtf(" {\\rtf1 a}").has_value());
}

TEST(RtfReader, TrailingParagraphMarkOpensNoParagraph) {
    const std::optional<TRichDocument> document = ReadRtf("{\\rtf1 a\\par b\\par}");
    ASSERT_TRUE(document.has_value());
    EXPECT_EQ(document->Paragraphs.size(), 2);
}

} // namespace
