// The RTF writer: what it writes reads back the same through our reader,
// its header and text follow the node's code page, pictures carry the object
// and a \result other readers show, and unrtf finds the text.
#include "text/RtfWriterUnit.h"

#include "text/MsgLangUnit.h"
#include "messaging/ChatContentUnit.h"
#include "text/OlePictureUnit.h"
#include "text/PngRenditionUnit.h"
#include "text/RtfCodePageUnit.h"
#include "text/RtfReaderUnit.h"

#include "support/CaseName.h"
#include "support/RichFixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <ostream>

namespace {

using namespace RichFixtures;

struct TRoundTripCase {
    std::string Name;
    int CodePage;
    TRichDocument Document;
};
void PrintTo(const TRoundTripCase& c, std::ostream* os) {
    *os << c.Name << " (" << c.CodePage << ")";
}

class RtfRoundTrip : public ::testing::TestWithParam<TRoundTripCase> {};

TEST_P(RtfRoundTrip, ReadsBackTheSameDocument) {
    TRtfWriteOptions options;
    options.CodePage = GetParam().CodePage;
    const QByteArray rtf = WriteRtf(GetParam().Document, options);
    TRtfReadNotes notes;
    const std::optional<TRichDocument> back = ReadRtf(rtf, {}, &notes);
    ASSERT_TRUE(back.has_value()) << rtf.toStdString();
    EXPECT_EQ(back->PlainText(), GetParam().Document.PlainText());
    EXPECT_TRUE(*back == GetParam().Document) << rtf.left(2000).toStdString();
    EXPECT_EQ(notes.DroppedPictures, 0);
    EXPECT_EQ(notes.ObjectsFromResult, 0);
    EXPECT_FALSE(notes.Truncated);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtfRoundTrip,
    ::testing::Values(
        TRoundTripCase{"Empty", 1252, TRichDocument{}},
        TRoundTripCase{"OneEmptyParagraph", 1252, Doc({TRichParagraph{}})},
        TRoundTripCase{"Latin", 1252, Doc({{{TextRun("Hello, café € naïve")}}})},
        TRoundTripCase{"ChineseInGbk", 936, Doc({{{TextRun("中文 and text", Fmt("宋体"))}}})},
        TRoundTripCase{"ChineseInBig5", 950, Doc({{{TextRun("中文功能", Fmt("新細明體"))}}})},
        TRoundTripCase{"ChineseOutsideTheCodePage", 1252, Doc({{{TextRun("中文 Ünïcode", Fmt("宋体"))}}})},
        TRoundTripCase{"JapaneseInGbkNeedsUnicode", 936, Doc({{{TextRun("日本語のテキスト")}}})},
        TRoundTripCase{"CyrillicIn1251", 1251, Doc({{{TextRun("Привет мир")}}})},
        TRoundTripCase{"SurrogatePair", 1252, Doc({{{TextRun("smile 😀 end")}}})},
        TRoundTripCase{"SpecialCharacters", 1252,
                       Doc({{{TextRun("{braces} back\\slash\ttab\u2028line ; semi")}}})},
        TRoundTripCase{"ControlCharacter", 1252, Doc({{{TextRun("a\x01" "b")}}})},
        TRoundTripCase{"Formatting", 936,
                       Doc({{{TextRun("bold", Fmt("Arial", 24, {}, true)), TextRun("italic", Fmt("Arial", 24, {}, false, true)),
                              TextRun("under", Fmt("Arial", 24, {}, false, false, true)),
                              TextRun("red big", Fmt("Times New Roman", 48, 0xFF0000, true, true, true)),
                              TextRun("blue", Fmt("Arial", 18, 0x0000FF)), TextRun("black", Fmt("Arial", 24, 0x000000)),
                              TextRun("auto", Fmt("Arial", 24))}}})},
        TRoundTripCase{"FontNamesWithSpecials", 1252, Doc({{{TextRun("x", Fmt("A;B{C}\\D")), TextRun("y", Fmt(""))}}})},
        TRoundTripCase{"Paragraphs", 1252,
                       Doc({{{TextRun("one")}}, TRichParagraph{}, {{TextRun("three")}}, TRichParagraph{}})},
        TRoundTripCase{"PictureOfEachKind", 936,
                       Doc({{{TextRun("gif "), PictureRun(Gif()), TextRun(" png "), PictureRun(Png())}},
                            {{PictureRun(Jpeg()), PictureRun(Bmp(), Fmt("Arial", 30, 0x00FF00, true)),
                              PictureRun("not an image"), TextRun("end")}}})},
        TRoundTripCase{"PictureAlone", 1252, Doc({{{PictureRun(Gif())}}})}),
    TCaseName());

TEST(RtfWriter, HeaderNamesTheCodePage) {
    TRtfWriteOptions options;
    options.CodePage = 936;
    const QByteArray rtf = WriteRtf(Doc({{{TextRun("中", Fmt("宋体"))}}}), options);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg936\\deff0")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("\\'d6\\'d0")) << rtf.toStdString();
    EXPECT_FALSE(rtf.contains("\\u2")) << rtf.toStdString();
}

// The code page a node's language writes under \ansicpg: the number whose
// converter is the one the wire text of that language uses.
TEST(RtfWriter, CodePageOfEachLanguage) {
    const struct {
        int LanguageId;
        int CodePage;
    } cases[] = {{2052, 936}, {4100, 936}, {1028, 950}, {3076, 950}, {1041, 932}, {1042, 949},
                 {1049, 1251}, {1045, 1250}, {1032, 1253}, {1054, 874}, {1033, 1252}, {1031, 1252}};
    for (const auto& c : cases) {
        EXPECT_EQ(CodePageOfLanguage(c.LanguageId), c.CodePage) << c.LanguageId;
        EXPECT_EQ(CodePageConverterName(c.CodePage).toLower(), TMessageLang::CodePageName(c.LanguageId).toLower())
            << c.LanguageId;
    }
}

TEST(RtfWriter, CharactersOutsideTheCodePageAsUnicode) {
    const QByteArray rtf = WriteRtf(Doc({{{TextRun("中é")}}}));
    EXPECT_TRUE(rtf.contains("\\uc1")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("\\u20013?\\'e9")) << rtf.toStdString();
    const QByteArray smile = WriteRtf(Doc({{{TextRun("😀")}}}));
    EXPECT_TRUE(smile.contains("\\u-10179?\\u-8704?")) << smile.toStdString();
}

// Each character's bytes, or its \\u when the code page has none, wherever it repeats.
struct TEscapeCase {
    std::string Name;
    int CodePage;
    const char* Text;
    QByteArray Written;
};
void PrintTo(const TEscapeCase& c, std::ostream* os) {
    *os << c.Name << " (" << c.CodePage << ")";
}

class RtfWriterEscapes : public ::testing::TestWithParam<TEscapeCase> {};

TEST_P(RtfWriterEscapes, WritesEachCharacterAsItsCodePageHasIt) {
    TRtfWriteOptions options;
    options.CodePage = GetParam().CodePage;
    const QByteArray rtf = WriteRtf(Doc({{{TextRun(GetParam().Text)}}, {{TextRun(GetParam().Text, Fmt("B"))}}}), options);
    const QByteArray run = "\\fs24 " + GetParam().Written + "}";
    EXPECT_EQ(rtf.count(run), 2) << rtf.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtfWriterEscapes,
    ::testing::Values(
        TEscapeCase{"GbkAndOutside", 936, "中한中한", "\\'d6\\'d0\\u-10916?\\'d6\\'d0\\u-10916?"},
        TEscapeCase{"OutsideThenInside", 1252, "中é中é", "\\u20013?\\'e9\\u20013?\\'e9"},
        TEscapeCase{"PlainAroundMarkup", 1252, "a{b}c\\d;e\tf", "a\\{b\\}c\\\\d;e\\tab f"},
        TEscapeCase{"PlainAroundControlCharacters", 1252, "ab\x01" "cd\x7f" "e", "ab\\u1?cd\\'7fe"},
        TEscapeCase{"SurrogatesBetweenPlain", 936, "x😀y😀", "x\\u-10179?\\u-8704?y\\u-10179?\\u-8704?"}),
    TCaseName());

struct TResultCase {
    std::string Name;
    QByteArray Image;
    bool WithRendition;
    QByteArray ResultStart; // empty: no \result
    QByteArray ResultBytes;
};
void PrintTo(const TResultCase& c, std::ostream* os) {
    *os << c.Name;
}

class RtfWriterResult : public ::testing::TestWithParam<TResultCase> {};

// With the object's data broken, what the reader finds is the \result alone.
TEST_P(RtfWriterResult, OtherReadersSeeTheResultPicture) {
    TRtfWriteOptions options;
    if (GetParam().WithRendition) options.PngRendition = [](const TRichPicture&) { return Png(); };
    const QByteArray rtf = WriteRtf(Doc({{{PictureRun(GetParam().Image)}}}), options);
    EXPECT_TRUE(rtf.contains("{\\object\\objemb{\\*\\objclass QLMPicture.Image}\\objw")) << rtf.toStdString();
    if (GetParam().ResultStart.isEmpty()) EXPECT_FALSE(rtf.contains("\\result")) << rtf.toStdString();
    else EXPECT_TRUE(rtf.contains(GetParam().ResultStart)) << rtf.toStdString();

    QByteArray broken = rtf;
    const qsizetype data = broken.indexOf("\\objdata");
    ASSERT_GE(data, 0);
    broken[data + 12] = 'x';
    const std::optional<TRichDocument> back = ReadRtf(broken);
    ASSERT_TRUE(back.has_value());
    const QList<TRichPicture> pictures = back->Pictures();
    if (GetParam().ResultBytes.isEmpty()) {
        EXPECT_TRUE(pictures.isEmpty());
    } else {
        ASSERT_EQ(pictures.size(), 1);
        EXPECT_EQ(pictures[0].Bytes, GetParam().ResultBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtfWriterResult,
    ::testing::Values(TResultCase{"Png", Png(), false, "{\\result{\\pict\\pngblip\\picw1\\pich1\\picwgoal15\\pichgoal15", Png()},
                      TResultCase{"Jpeg", Jpeg(), false, "{\\result{\\pict\\jpegblip\\picw3\\pich2\\picwgoal45\\pichgoal30", Jpeg()},
                      TResultCase{"BmpAsDib", Bmp(), false, "{\\result{\\pict\\dibitmap0\\picw2\\pich2", Bmp()},
                      // The engine renders a GIF itself, whatever the front end offers.
                      TResultCase{"GifWithoutRendition", Gif(), false, "{\\result{\\pict\\pngblip\\picw1\\pich1",
                                  PngRendition::PngFromGif(Gif())},
                      TResultCase{"GifWithRendition", Gif(), true, "{\\result{\\pict\\pngblip\\picw1\\pich1",
                                  PngRendition::PngFromGif(Gif())},
                      // A GIF the engine cannot read is left to the front end's renderer.
                      TResultCase{"DamagedGifWithRendition", AnimatedGif().left(60), true,
                                  "{\\result{\\pict\\pngblip\\picw1\\pich1", Png()},
                      TResultCase{"DamagedGifWithoutRendition", AnimatedGif().left(60), false, {}, {}}),
    TCaseName());

TEST(RtfWriter, ObjectDataIsTheRecordAroundTheStorage) {
    const QByteArray rtf = WriteRtf(Doc({{{PictureRun(Gif())}}}));
    const qsizetype start = rtf.indexOf("{\\*\\objdata") + 11;
    const qsizetype end = rtf.indexOf('}', start);
    const QByteArray record = QByteArray::fromHex(rtf.mid(start, end - start).replace("\r\n", ""));
    EXPECT_EQ(record, BuildPictureObject(Gif()));
    EXPECT_EQ(ReadPictureObject(record), Gif());
    EXPECT_TRUE(rtf.contains("\\objw15\\objh15")) << rtf.left(300).toStdString();
}

TEST(RtfWriter, UnrtfFindsTheText) {
    const QString unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    ASSERT_FALSE(unrtf.isEmpty()) << "unrtf is not installed: build.sh installs it (apt-get install unrtf)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("message.rtf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(WriteRtf(Doc({{{TextRun("Hello from Quillmate", Fmt("Arial", 24, 0xFF0000, true)), PictureRun(Png())}},
                             {{PictureRun(Gif()), TextRun("second {line}")}}})));
    file.close();
    QProcess process;
    process.setWorkingDirectory(dir.path()); // unrtf saves the pictures it meets beside it
    process.start(unrtf, {QStringLiteral("--text"), path});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_TRUE(out.contains("Hello from Quillmate")) << out.toStdString();
    EXPECT_TRUE(out.contains("second {line}")) << out.toStdString();
}

// A message the CLI sends with a GIF (send --image x.gif): readers that
// cannot use the embedded object show the engine's PNG of it.
class GifMessageElsewhere : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Path = Dir.filePath(QStringLiteral("message.rtf"));
        QFile file(Path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(RichBodyFromText(QStringLiteral("look at this"), {Picture(AnimatedGif())}, 1033));
    }
    QTemporaryDir Dir;
    QString Path;
    const QByteArray Rendition = PngRendition::PngFromGif(AnimatedGif());
};

TEST_F(GifMessageElsewhere, UnrtfSavesThePicture) {
    const QString unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    ASSERT_FALSE(unrtf.isEmpty()) << "unrtf is not installed: build.sh installs it (apt-get install unrtf)";
    QProcess process;
    process.setWorkingDirectory(Dir.path()); // unrtf saves the pictures it meets beside it
    process.start(unrtf, {QStringLiteral("--html"), Path});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QByteArray html = process.readAllStandardOutput();
    EXPECT_TRUE(html.contains("<img src=\"pict001.png\">")) << html.toStdString();
    QFile saved(Dir.filePath(QStringLiteral("pict001.png")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), Rendition);
}

TEST_F(GifMessageElsewhere, LibreOfficeKeepsThePictureAsTheObjectsImage) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) GTEST_SKIP() << "soffice is not installed (libreoffice-writer-nogui)";
    QProcess process;
    // A profile of its own: a running office of the user's is never asked.
    process.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + Dir.filePath(QStringLiteral("profile")),
                            QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("odt"),
                            QStringLiteral("--outdir"), Dir.path(), Path});
    ASSERT_TRUE(process.waitForFinished(100000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    // unzip lists the document; the picture LibreOffice shows for the object is its replacement image.
    const QString unzip = QStandardPaths::findExecutable(QStringLiteral("unzip"));
    ASSERT_FALSE(unzip.isEmpty());
    QProcess list;
    list.start(unzip, {QStringLiteral("-Z1"), Dir.filePath(QStringLiteral("message.odt"))});
    ASSERT_TRUE(list.waitForFinished(30000));
    const QList<QByteArray> entries = list.readAllStandardOutput().split('\n');
    QByteArray replacement;
    for (const QByteArray& entry : entries)
        if (entry.startsWith("ObjectReplacements/")) replacement = entry.trimmed();
    ASSERT_FALSE(replacement.isEmpty()) << "no picture in the document";
    QProcess extract;
    extract.start(unzip, {QStringLiteral("-p"), Dir.filePath(QStringLiteral("message.odt")), QString::fromUtf8(replacement)});
    ASSERT_TRUE(extract.waitForFinished(30000));
    EXPECT_EQ(extract.readAllStandardOutput(), Rendition);
}

} // namespace
