// The document model through QTextDocument and back: text, formats and the
// pictures' own bytes survive, whatever the pictures are shown as.
#include "text/widgets/RichTextDocUnit.h"

#include "core/ParamsUnit.h"
#include "text/RtfReaderUnit.h"
#include "text/widgets/RichEditUnit.h"

#include "support/CaseName.h"
#include "support/RichWidgetFixtures.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <ostream>

namespace {

using namespace RichFixtures;
using namespace RichWidgetFixtures;

struct TDocCase {
    std::string Name;
    TRichDocument Document;
};
void PrintTo(const TDocCase& c, std::ostream* os) { *os << c.Name; }

class RichTextDocRoundTrip : public ::testing::TestWithParam<TDocCase> {};

TEST_P(RichTextDocRoundTrip, ThroughQTextDocument) {
    QTextDocument document;
    TRichPictureStore store;
    QTextCursor cursor(&document);
    InsertRichDocument(cursor, GetParam().Document, store);
    EXPECT_EQ(RichDocumentOf(document, store), GetParam().Document);
}

TEST_P(RichTextDocRoundTrip, ThroughTheEditAndRtf) {
    TRichEdit edit(Params());
    edit.SetDocument(GetParam().Document);
    EXPECT_EQ(edit.Document(), GetParam().Document);
    TRichEdit other(Params());
    ASSERT_TRUE(other.SetRtf(edit.Rtf()));
    EXPECT_EQ(other.Document(), GetParam().Document);
}

const QString kLine = QString(QChar::LineSeparator);

INSTANTIATE_TEST_SUITE_P(
    Cases, RichTextDocRoundTrip,
    ::testing::Values(
        TDocCase{"Empty", TRichDocument{}},
        TDocCase{"OnePlainRun", Doc({{{TextRun("Hello")}}})},
        TDocCase{"EveryAttribute",
                 Doc({{{TextRun("bold ", Fmt("DejaVu Sans", 24, {}, true)),
                        TextRun("italic ", Fmt("DejaVu Sans", 24, {}, false, true)),
                        TextRun("under ", Fmt("DejaVu Sans", 24, {}, false, false, true)),
                        TextRun("all", Fmt("DejaVu Serif", 40, 0x123456, true, true, true))}}})},
        TDocCase{"HalfPointSize", Doc({{{TextRun("ten and a half", Fmt("Arial", 21))}}})},
        TDocCase{"BlackIsNotAutomatic",
                 Doc({{{TextRun("black", Fmt("Arial", 24, 0x000000)), TextRun(" automatic", Fmt("Arial"))}}})},
        TDocCase{"FontWithoutName", Doc({{{TextRun("default font", Fmt("", 30))}}})},
        TDocCase{"ParagraphsAndAnEmptyOneBetween",
                 Doc({{{TextRun("one")}}, {}, {{TextRun("three", Fmt("Arial", 24, 0xFF0000))}}})},
        TDocCase{"EmptyLastParagraph", Doc({{{TextRun("text")}}, {}})},
        TDocCase{"OnlyEmptyParagraphs", Doc({{}, {}})},
        TDocCase{"LineBreakAndTab", Doc({{{TRichRun{Fmt("Arial"), "a" + kLine + "b\tc", std::nullopt}}}})},
        TDocCase{"ChineseText", Doc({{{TextRun("中文消息", Fmt("宋体", 18))}}})},
        TDocCase{"PictureOfEachFormat",
                 Doc({{{PictureRun(Gif()), PictureRun(Png()), PictureRun(ImageFile("JPEG")), PictureRun(Bmp())}}})},
        TDocCase{"PictureBetweenText",
                 Doc({{{TextRun("before "), PictureRun(ImageFile("PNG")), TextRun(" after", Fmt("Arial", 24, {}, true))}}})},
        TDocCase{"PictureFirstInItsFormat", Doc({{{PictureRun(AnimatedGif(), Fmt("Courier", 20, 0x00FF00, true))}}})},
        TDocCase{"SamePictureTwice", Doc({{{PictureRun(Png()), PictureRun(Png())}}, {{PictureRun(Png())}}})},
        TDocCase{"UndecodablePictures",
                 Doc({{{PictureRun(Jpeg()), PictureRun("GIF89a" + QByteArray(20, 'x')),
                        PictureRun(QByteArray("not a picture at all"))}}})}),
    TCaseName());

TEST(RichTextDoc, EmptyDocumentHasNoParagraph) {
    for (const TRichDocument& empty : {TRichDocument{}, Doc({{}})}) {
        QTextDocument document;
        TRichPictureStore store;
        QTextCursor cursor(&document);
        InsertRichDocument(cursor, empty, store);
        EXPECT_TRUE(document.isEmpty());
        EXPECT_EQ(RichDocumentOf(document, store), TRichDocument{});
    }
}

TEST(RichTextDoc, UndecodablePictureShowsAPlaceholderOfItsHeaderSize) {
    QTextDocument document;
    TRichPictureStore store;
    QTextCursor cursor(&document);
    // The fixture JPEG has a 3 x 2 frame header and no picture data.
    InsertRichDocument(cursor, Doc({{{PictureRun(Jpeg()), PictureRun("junk")}}}), store);
    const QString jpeg = PictureNameAt(document, 0);
    const QString junk = PictureNameAt(document, 1);
    ASSERT_FALSE(jpeg.isEmpty());
    EXPECT_TRUE(store.IsPlaceholder(jpeg));
    EXPECT_EQ(store.ShownSize(jpeg), QSize(3, 2));
    EXPECT_EQ(store.ShownSize(junk), QSize(kUnknownPictureSide, kUnknownPictureSide));
    EXPECT_FALSE(document.resource(QTextDocument::ImageResource, QUrl(jpeg)).isNull());
    EXPECT_EQ(RichDocumentOf(document, store).Pictures().value(0).Bytes, Jpeg());
}

TEST(RichTextDoc, DecodedPictureTakesItsOwnSize) {
    QTextDocument document;
    TRichPictureStore store;
    QTextCursor cursor(&document);
    InsertRichDocument(cursor, Doc({{{PictureRun(ImageFile("PNG", QSize(17, 9)))}}}), store);
    const QString name = PictureNameAt(document, 0);
    EXPECT_FALSE(store.IsPlaceholder(name));
    EXPECT_EQ(store.ShownSize(name), QSize(17, 9));
    EXPECT_EQ(store.Shown(name).pixelColor(3, 3), QColor(200, 40, 40));
}

TEST(RichTextDoc, HugeCanvasIsShownScaledDown) {
    // A JPEG whose frame claims 40000 x 20000 pixels: shown within the bound,
    // never decoded at full size; the bytes stay as they were.
    QByteArray bytes = ImageFile("JPEG", QSize(8, 4));
    const qsizetype frame = bytes.indexOf("\xFF\xC0");
    ASSERT_GT(frame, 0);
    bytes[frame + 5] = char(20000 >> 8);
    bytes[frame + 6] = char(20000 & 0xFF);
    bytes[frame + 7] = char(40000 >> 8);
    bytes[frame + 8] = char(40000 & 0xFF);
    const TShownPicture shown = ShowPicture(Picture(bytes));
    EXPECT_LE(shown.Size.width(), kMaxShownPictureSide);
    EXPECT_LE(shown.Size.height(), kMaxShownPictureSide);
    EXPECT_LE(qint64(shown.Image.width()) * shown.Image.height(), qint64(kMaxShownPictureSide) * kMaxShownPictureSide);
}

TEST(RichTextDoc, HugeCanvasOfAnotherFormatIsNotDecoded) {
    // A real PNG of 4200 x 4200 pixels (one bit each, a small file): beyond
    // the bound, so a placeholder of the bound's size, never decoded.
    QImage image(4200, 4200, QImage::Format_Mono);
    image.fill(0);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "PNG"));
    const TShownPicture shown = ShowPicture(Picture(bytes));
    EXPECT_TRUE(shown.Placeholder);
    EXPECT_EQ(shown.Size, QSize(kMaxShownPictureSide, kMaxShownPictureSide));
    EXPECT_LE(shown.Image.width(), kMaxShownPictureSide);
}

TEST(RichTextDoc, SelectionAsTheModel) {
    TRichEdit edit(Params());
    edit.SetDocument(Doc({{{TextRun("first ", Fmt("Arial", 24, {}, true)), TextRun("line")}},
                          {{PictureRun(Png()), TextRun("second")}}}));
    QTextCursor cursor = edit.textCursor();
    cursor.setPosition(3);
    cursor.setPosition(14, QTextCursor::KeepAnchor); // "st line", the break, the picture, "se"
    edit.setTextCursor(cursor);
    EXPECT_EQ(edit.SelectedDocument(), Doc({{{TextRun("st ", Fmt("Arial", 24, {}, true)), TextRun("line")}},
                                            {{PictureRun(Png()), TextRun("se")}}}));
}

TEST(RichTextDoc, ImageFromElsewhereBecomesPng) {
    QTextDocument document;
    TRichPictureStore store;
    QImage image(5, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("other.png")), image);
    QTextCursor cursor(&document);
    cursor.insertImage(QStringLiteral("other.png"));
    const QList<TRichPicture> pictures = RichDocumentOf(document, store).Pictures();
    ASSERT_EQ(pictures.size(), 1);
    EXPECT_EQ(pictures[0].Format, TPictureFormat::Png);
    EXPECT_EQ(Decode(pictures[0].Bytes).pixelColor(1, 1), QColor(Qt::blue));
}

} // namespace
