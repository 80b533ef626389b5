// Pictures in RTF: embedded objects with the picture stream, their \result
// when the object is broken, plain \pict blips, and what the reader refuses.
#include "text/OlePictureUnit.h"
#include "text/RtfReaderUnit.h"

#include "support/CaseName.h"
#include "support/RichFixtures.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using namespace RichFixtures;

QByteArray Hex(const QByteArray& bytes) {
    return bytes.toHex();
}

QByteArray Object(const QByteArray& objdata, const QByteArray& result = Png()) {
    QByteArray rtf = "{\\object\\objemb{\\*\\objclass QLMPicture.Image}\\objw15\\objh15{\\*\\objdata\r\n" + objdata + "}";
    if (!result.isEmpty()) rtf += "{\\result{\\pict\\pngblip\\picw1\\pich1\r\n" + Hex(result) + "}}";
    return rtf + "}";
}

QByteArray Doc(const QByteArray& body) {
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil Arial;}}\\uc1\\pard before " + body + " after\\par}";
}

QByteArray CorruptOle1(int cut) {
    return Hex(BuildPictureObject(Gif()).left(cut));
}

// The compound file with its stream under another name.
QByteArray RenamedStream() {
    return BuildPictureStorage(Gif()).replace(QByteArrayView("Q\0L\0M", 6), QByteArrayView("X\0L\0M", 6));
}

// Hex with a space, a line end or a tab after every third digit: bytes split across them.
QByteArray Scattered(const QByteArray& hex) {
    static const char* const spaces[] = {" ", "\r\n", "\t"};
    QByteArray out;
    for (qsizetype i = 0; i < hex.size(); ++i) {
        out += hex[i];
        if (i % 3 == 2) out += spaces[i / 3 % 3];
    }
    return out;
}

QByteArray ObjectWithNative(const QByteArray& native) {
    return Hex(BuildOle1Object(kPictureObjectClass, native));
}

struct TPictureCase {
    std::string Name;
    QByteArray Rtf;
    QList<QByteArray> Pictures;
    int ObjectsFromResult = 0;
    int Dropped = 0;
};
void PrintTo(const TPictureCase& c, std::ostream* os) {
    *os << c.Name;
}

class RtfReaderPictures : public ::testing::TestWithParam<TPictureCase> {};

TEST_P(RtfReaderPictures, TakesThePictureAndKeepsTheText) {
    TRtfReadNotes notes;
    const std::optional<TRichDocument> document = ReadRtf(GetParam().Rtf, {}, &notes);
    ASSERT_TRUE(document.has_value());
    QList<QByteArray> bytes;
    for (const TRichPicture& picture : document->Pictures()) {
        bytes.append(picture.Bytes);
        EXPECT_EQ(picture.Format, SniffPictureFormat(picture.Bytes));
    }
    EXPECT_EQ(bytes, GetParam().Pictures);
    EXPECT_TRUE(document->PlainText().startsWith(QStringLiteral("before ")));
    EXPECT_TRUE(document->PlainText().endsWith(QStringLiteral(" after")));
    EXPECT_EQ(notes.ObjectsFromResult, GetParam().ObjectsFromResult);
    EXPECT_EQ(notes.DroppedPictures, GetParam().Dropped);
    EXPECT_FALSE(notes.Truncated);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtfReaderPictures,
    ::testing::Values(
        TPictureCase{"ObjectWithPictureStream", Doc(Object(Hex(BuildPictureObject(Gif())))), {Gif()}},
        TPictureCase{"ObjectWithUpperCaseHex", Doc(Object(Hex(BuildPictureObject(Gif())).toUpper())), {Gif()}},
        TPictureCase{"ObjectWithoutResult", Doc(Object(Hex(BuildPictureObject(Jpeg())), {})), {Jpeg()}},
        TPictureCase{"BrokenCompoundFileFallsBackToResult",
                     Doc(Object(ObjectWithNative("not a compound file at all"))), {Png()}, 1},
        TPictureCase{"CompoundFileWithoutStreamFallsBack",
                     Doc(Object(ObjectWithNative(RenamedStream()))),
                     {Png()}, 1},
        TPictureCase{"TruncatedOle1HeaderFallsBack", Doc(Object(CorruptOle1(20))), {Png()}, 1},
        TPictureCase{"TruncatedNativeDataFallsBack", Doc(Object(CorruptOle1(600))), {Png()}, 1},
        TPictureCase{"BadHexInObjectFallsBack", Doc(Object("0105zz00")), {Png()}, 1},
        TPictureCase{"OddHexInObjectFallsBack", Doc(Object(Hex(BuildPictureObject(Gif())) + "0")), {Png()}, 1},
        TPictureCase{"BrokenObjectWithoutResultIsDropped", Doc(Object("00", {})), {}, 1, 1},
        TPictureCase{"LinkedObjectUsesResult",
                     Doc("{\\object\\objlink{\\*\\objdata " + Hex(BuildPictureObject(Gif())) +
                         "}{\\result{\\pict\\pngblip " + Hex(Png()) + "}}}"),
                     {Png()}, 1},
        TPictureCase{"PngBlip", Doc("{\\pict\\pngblip\\picw1\\pich1\\picwgoal15\\pichgoal15 " + Hex(Png()) + "}"),
                     {Png()}},
        TPictureCase{"JpegBlip", Doc("{\\pict\\jpegblip\\picw3\\pich2\r\n" + Hex(Jpeg()) + "}"), {Jpeg()}},
        TPictureCase{"DibBecomesBmp", Doc("{\\pict\\dibitmap0\\picw2\\pich2 " + Hex(Dib()) + "}"), {Bmp()}},
        TPictureCase{"DdbBecomesBmp",
                     Doc("{\\pict\\wbitmap0\\picw2\\pich1\\wbmbitspixel24\\wbmplanes1\\wbmwidthbytes6 "
                         "0000ffff0000}"),
                     {QByteArray::fromHex("424d3e000000000000003600000028000000020000"
                                          "00ffffffff01001800000000000800000000000000000000000000000000000000"
                                          "0000ffff00000000")}},
        TPictureCase{"BinaryBlip", Doc("{\\pict\\pngblip\\bin" + QByteArray::number(Png().size()) + " " + Png() + "}"),
                     {Png()}},
        TPictureCase{"ShapePictureReadOnce",
                     Doc("{\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn x}}}\\pngblip " + Hex(Png()) +
                         "}}{\\nonshppict{\\pict\\wmetafile8 0102}}"),
                     {Png()}},
        TPictureCase{"MetafileDroppedTextKept", Doc("{\\pict\\wmetafile8\\picw1\\pich1 0102030405}"), {}, 0, 1},
        TPictureCase{"BadHexPictureDropped", Doc("{\\pict\\pngblip 89504e47xx0d0a}"), {}, 0, 1},
        TPictureCase{"HexScatteredOverSpaces", Doc("{\\pict\\pngblip " + Scattered(Hex(Png()).toUpper()) + "}"),
                     {Png()}},
        TPictureCase{"ObjectHexScatteredOverSpaces", Doc(Object(Scattered(Hex(BuildPictureObject(Gif()))))),
                     {Gif()}},
        // A byte's two digits on either side of a control word or a skipped group.
        TPictureCase{"HexSplitByControlWord",
                     Doc("{\\pict\\pngblip " + Hex(Png()).left(5) + "\\picw1 " + Hex(Png()).mid(5) + "}"), {Png()}},
        TPictureCase{"HexSplitBySkippedGroup",
                     Doc("{\\pict\\pngblip " + Hex(Png()).left(7) + "{\\*\\blipuid 0123}" + Hex(Png()).mid(7) + "}"),
                     {Png()}},
        TPictureCase{"OddHexBeforeControlWordDropped",
                     Doc("{\\pict\\pngblip " + Hex(Png()) + "0\\picw1 }"), {}, 0, 1},
        TPictureCase{"TwoPicturesInOrder",
                     Doc("{\\pict\\pngblip " + Hex(Png()) + "} mid {\\pict\\jpegblip " + Hex(Jpeg()) + "}"),
                     {Png(), Jpeg()}}),
    TCaseName());

struct TBrokenCase {
    std::string Name;
    QByteArray Rtf;
    QString Text; // what is kept
    bool Truncated = false;
};
void PrintTo(const TBrokenCase& c, std::ostream* os) {
    *os << c.Name;
}

class RtfReaderBroken : public ::testing::TestWithParam<TBrokenCase> {};

TEST_P(RtfReaderBroken, KeepsWhatItCanWithoutFailing) {
    TRtfReadNotes notes;
    const std::optional<TRichDocument> document = ReadRtf(GetParam().Rtf, {}, &notes);
    ASSERT_TRUE(document.has_value());
    EXPECT_EQ(document->PlainText(), GetParam().Text);
    EXPECT_EQ(notes.Truncated, GetParam().Truncated);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtfReaderBroken,
    ::testing::Values(TBrokenCase{"TruncatedInText", "{\\rtf1 abc", QStringLiteral("abc"), true},
                      TBrokenCase{"TruncatedInControlWord", "{\\rtf1 abc\\pa", QStringLiteral("abc"), true},
                      TBrokenCase{"TruncatedAfterBackslash", "{\\rtf1 abc\\", QStringLiteral("abc"), true},
                      TBrokenCase{"TruncatedInHexEscape", "{\\rtf1 abc\\'4", QStringLiteral("abc4"), true},
                      TBrokenCase{"TruncatedInPicture", "{\\rtf1 a{\\pict\\pngblip 89504e", QStringLiteral("a"), true},
                      TBrokenCase{"UnbalancedOpenBraces", "{\\rtf1 a{\\b b{\\i c", QStringLiteral("abc"), true},
                      TBrokenCase{"ExtraClosingBrace", "{\\rtf1 a}}}b", QStringLiteral("a")},
                      TBrokenCase{"BadHexEscape", "{\\rtf1 a\\'zzb\\'4}", QStringLiteral("azzb4")},
                      TBrokenCase{"HugeBinCount", "{\\rtf1 a\\bin2000000000 xyz}", QStringLiteral("a"), true},
                      TBrokenCase{"NegativeBinCount", "{\\rtf1 a\\bin-5 b}", QStringLiteral("ab")},
                      TBrokenCase{"HugeParameter", "{\\rtf1 a\\fs99999999999999999999 b\\uc99999999999 c}",
                                  QStringLiteral("abc")},
                      TBrokenCase{"HugeUnicodeValue", "{\\rtf1 \\u99999999999?}", QString(QChar(0xFFFF))},
                      TBrokenCase{"NulBytes", QByteArray("{\\rtf1 a\0b}", 11), QString::fromLatin1("a\0b", 3)}),
    TCaseName());

TEST(RtfReaderLimits, GroupsBeyondTheDepthAreSkippedWhole) {
    TRtfReadNotes notes;
    QByteArray rtf = "{\\rtf1 top";
    for (int i = 0; i < 1000; ++i) rtf += "{x";
    for (int i = 0; i < 1000; ++i) rtf += "}";
    rtf += " end}";
    const std::optional<TRichDocument> document = ReadRtf(rtf, {}, &notes);
    ASSERT_TRUE(document.has_value());
    // The outer group is depth 1: 255 more groups are read, the rest skipped.
    EXPECT_EQ(document->PlainText().count(QLatin1Char('x')), 255);
    EXPECT_TRUE(document->PlainText().startsWith(QStringLiteral("topx")));
    EXPECT_TRUE(document->PlainText().endsWith(QStringLiteral("x end")));
    EXPECT_EQ(notes.SkippedDeepGroups, 1);
    EXPECT_FALSE(notes.Truncated);
}

TEST(RtfReaderLimits, PicturesBeyondTheCountAreDropped) {
    QByteArray rtf = "{\\rtf1 ";
    for (int i = 0; i < 1003; ++i) rtf += "{\\pict\\pngblip " + Hex(NumberedPng(i)) + "}";
    rtf += "{\\object\\objemb{\\*\\objdata " + Hex(BuildPictureObject(Gif())) + "}} end}";
    TRtfReadNotes notes;
    const std::optional<TRichDocument> document = ReadRtf(rtf, {}, &notes);
    ASSERT_TRUE(document.has_value());
    const QList<TRichPicture> pictures = document->Pictures();
    ASSERT_EQ(pictures.size(), 1000);
    EXPECT_EQ(pictures.last().Bytes, NumberedPng(999));
    EXPECT_EQ(notes.DroppedPictures, 4);
    EXPECT_TRUE(document->PlainText().endsWith(QStringLiteral(" end")));
}

TEST(RtfReaderLimits, PictureBytesBeyondTheBudgetAreDropped) {
    TRtfReadLimits limits;
    limits.MaxPictureBytes = 250;
    QByteArray rtf = "{\\rtf1 ";
    for (int i = 0; i < 3; ++i) rtf += "{\\pict\\pngblip " + Hex(NumberedPng(i, 100)) + "}";
    rtf += "{\\pict\\pngblip\\bin100 " + NumberedPng(3, 100) + "} end}";
    TRtfReadNotes notes;
    const std::optional<TRichDocument> document = ReadRtf(rtf, limits, &notes);
    ASSERT_TRUE(document.has_value());
    const QList<TRichPicture> pictures = document->Pictures();
    ASSERT_EQ(pictures.size(), 2);
    EXPECT_EQ(pictures[1].Bytes, NumberedPng(1, 100));
    EXPECT_EQ(notes.DroppedPictures, 2);
    EXPECT_TRUE(document->PlainText().endsWith(QStringLiteral(" end")));
}

// The budget counts every byte of every picture, however its hex is split.
struct TBudgetCase {
    std::string Name;
    int WholePictures; // the budget holds this many pictures...
    int ExtraBytes;    // ...and this many bytes more (or fewer)
    int Kept;
};
void PrintTo(const TBudgetCase& c, std::ostream* os) {
    *os << c.Name;
}

class RtfReaderBudget : public ::testing::TestWithParam<TBudgetCase> {};

TEST_P(RtfReaderBudget, KeepsPicturesWithinTheBudget) {
    constexpr int kSize = 100;
    TRtfReadLimits limits;
    limits.MaxPictureBytes = GetParam().WholePictures * kSize + GetParam().ExtraBytes;
    QByteArray rtf = "{\\rtf1 ";
    for (int i = 0; i < 2; ++i) {
        const QByteArray hex = Hex(NumberedPng(i, kSize));
        rtf += "{\\pict\\pngblip " + hex.left(61) + "\\picw1 " + Scattered(hex.mid(61)) + "}";
    }
    rtf += " end}";
    TRtfReadNotes notes;
    const std::optional<TRichDocument> document = ReadRtf(rtf, limits, &notes);
    ASSERT_TRUE(document.has_value());
    const QList<TRichPicture> pictures = document->Pictures();
    ASSERT_EQ(pictures.size(), GetParam().Kept);
    for (int i = 0; i < GetParam().Kept; ++i) EXPECT_EQ(pictures[i].Bytes, NumberedPng(i, kSize));
    EXPECT_EQ(notes.DroppedPictures, 2 - GetParam().Kept);
    EXPECT_TRUE(document->PlainText().endsWith(QStringLiteral(" end")));
}

INSTANTIATE_TEST_SUITE_P(Cases, RtfReaderBudget,
                         ::testing::Values(TBudgetCase{"BothExactly", 2, 0, 2}, TBudgetCase{"OneByteShortOfBoth", 2, -1, 1},
                                           TBudgetCase{"OneExactly", 1, 0, 1}, TBudgetCase{"OneByteShortOfOne", 1, -1, 0},
                                           TBudgetCase{"InsideTheFirst", 0, 40, 0}, TBudgetCase{"None", 0, 0, 0}),
                         TCaseName());

} // namespace
