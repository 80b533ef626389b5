// The engine's PNG of a GIF: what RTF readers without the embedded object
// show, made without Qt Gui for every front end.
#include "text/PngRenditionUnit.h"

#include "support/CaseName.h"
#include "support/RichFixtures.h"

#include <gtest/gtest.h>

#include <png.h>

#include <cstring>
#include <ostream>

namespace {

using namespace RichFixtures;

struct TDecoded {
    int Width = 0, Height = 0;
    QByteArray Rgba;
};

// Read back with libpng: what another reader sees.
TDecoded DecodePng(const QByteArray& png) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.constData(), size_t(png.size()))) return {};
    image.format = PNG_FORMAT_RGBA;
    TDecoded out{int(image.width), int(image.height), QByteArray(qsizetype(PNG_IMAGE_SIZE(image)), '\0')};
    if (!png_image_finish_read(&image, nullptr, out.Rgba.data(), 0, nullptr)) return {};
    return out;
}

struct TGifCase {
    std::string Name;
    QByteArray Gif;
    int Width, Height;
    QByteArray Pixels; // RGBA, rows top down
};
void PrintTo(const TGifCase& c, std::ostream* os) { *os << c.Name; }

class GifRendition : public ::testing::TestWithParam<TGifCase> {};

TEST_P(GifRendition, IsTheFirstFrameAsShown) {
    const TGifCase& c = GetParam();
    const QByteArray png = PngRendition::PngFromGif(c.Gif);
    ASSERT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
    const TDecoded decoded = DecodePng(png);
    EXPECT_EQ(decoded.Width, c.Width);
    EXPECT_EQ(decoded.Height, c.Height);
    EXPECT_EQ(decoded.Rgba.toHex(), c.Pixels.toHex());
}

// 1 x 4, interlaced (rows stored 0, 2, 1, 3), a local colour table, index 1
// transparent: red, clear, blue, green from the top.
QByteArray InterlacedGif() {
    return QByteArray::fromHex("47494638396101000400000000" // screen 1x4, no global table
                               "21f9040100000100"           // transparent index 1
                               "2c00000000010004" "00c1"    // image 1x4, local table of 4, interlaced
                               "ff0000" "000000" "0000ff" "00ff00"
                               "020404c5700500" "3b");
}

INSTANTIATE_TEST_SUITE_P(
    Table, GifRendition,
    ::testing::Values(TGifCase{"OnePixelTransparent", Gif(), 1, 1, QByteArray::fromHex("00000000")},
                      // Red first, blue second: only the first frame is drawn.
                      TGifCase{"AnimatedFirstFrame", AnimatedGif(), 2, 2, QByteArray::fromHex("ff0000ff").repeated(4)},
                      TGifCase{"InterlacedLocalTable", InterlacedGif(), 1, 4,
                               QByteArray::fromHex("ff0000ff" "00000000" "0000ffff" "00ff00ff")}),
    TCaseName());

struct TBadGifCase {
    std::string Name;
    QByteArray Bytes;
};
void PrintTo(const TBadGifCase& c, std::ostream* os) { *os << c.Name; }

class BadGif : public ::testing::TestWithParam<TBadGifCase> {};

TEST_P(BadGif, HasNoRendition) { EXPECT_TRUE(PngRendition::PngFromGif(GetParam().Bytes).isEmpty()); }

INSTANTIATE_TEST_SUITE_P(
    Table, BadGif,
    ::testing::Values(TBadGifCase{"Empty", {}}, TBadGifCase{"Png", Png()},
                      TBadGifCase{"CutInsideTheFrame", AnimatedGif().left(60)},
                      TBadGifCase{"NoFrame", QByteArray::fromHex("47494638396101000100000000" "3b")},
                      // 65535 x 65535 asks for 16 GiB: refused before anything is taken.
                      TBadGifCase{"HugeScreen", QByteArray::fromHex("474946383961ffffffff000000" "3b")},
                      TBadGifCase{"FrameOutsideTheScreenStillBounded",
                                  QByteArray::fromHex("47494638396101000100800000000000ffffff"
                                                      "2c0000000000ff00ff0000020244013b")}),
    TCaseName());

TEST(PngEncode, RoundTripsEveryChannel) {
    const QByteArray rgba = QByteArray::fromHex("ff000080" "00ff00ff" "0000ff00" "12345678");
    const TDecoded back = DecodePng(PngRendition::EncodePng(2, 2, rgba));
    EXPECT_EQ(back.Width, 2);
    EXPECT_EQ(back.Height, 2);
    EXPECT_EQ(back.Rgba.toHex(), rgba.toHex());
    EXPECT_TRUE(PngRendition::EncodePng(2, 2, rgba.left(15)).isEmpty());
}

} // namespace
