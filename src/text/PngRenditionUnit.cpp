#include "text/PngRenditionUnit.h"

#include <gif_lib.h>
#include <png.h>

#include <cstring>
#include <memory>

namespace PngRendition {

namespace {

struct TGifInput {
    const QByteArray& Data;
    qsizetype Pos = 0;
};

int ReadGif(GifFileType* file, GifByteType* buffer, int size) {
    auto* input = static_cast<TGifInput*>(file->UserData);
    const int take = int(qMin<qsizetype>(size, input->Data.size() - input->Pos));
    if (take <= 0) return 0;
    std::memcpy(buffer, input->Data.constData() + input->Pos, size_t(take));
    input->Pos += take;
    return take;
}

struct TGifCloser {
    void operator()(GifFileType* file) const {
        int error = 0;
        DGifCloseFile(file, &error);
    }
};

// Reads the first image into canvas (RGBA, the logical screen), its
// transparent index left clear. False when the stream breaks first.
bool DrawFirstImage(GifFileType* gif, QByteArray& canvas, int width, int height) {
    int transparent = NO_TRANSPARENT_COLOR;
    int stray = 0;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            // A stray byte between blocks (as some writers leave) is passed over, as browsers do.
            if (gif->Error == D_GIF_ERR_WRONG_RECORD && ++stray < 256) continue;
            return false;
        }
        if (type == TERMINATE_RECORD_TYPE) return false;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                GraphicsControlBlock control;
                if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) transparent = control.TransparentColor;
            }
            while (block)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return false;
        if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
        const GifImageDesc& desc = gif->Image;
        const ColorMapObject* colors = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (!colors || desc.Width <= 0 || desc.Height <= 0 || qint64(desc.Width) * desc.Height > MaxPixels) return false;
        QByteArray line(desc.Width, Qt::Uninitialized);
        // Interlaced rows come in four passes.
        static const int kStart[] = {0, 4, 2, 1};
        static const int kStep[] = {8, 8, 4, 2};
        const int passes = desc.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            const int start = desc.Interlace ? kStart[pass] : 0;
            const int step = desc.Interlace ? kStep[pass] : 1;
            for (int row = start; row < desc.Height; row += step) {
                if (DGifGetLine(gif, reinterpret_cast<GifPixelType*>(line.data()), desc.Width) == GIF_ERROR) return false;
                const qint64 y = qint64(desc.Top) + row;
                if (y < 0 || y >= height) continue;
                for (int x = 0; x < desc.Width; ++x) {
                    const int index = quint8(line[x]);
                    const qint64 cx = qint64(desc.Left) + x;
                    if (cx < 0 || cx >= width || index == transparent || index >= colors->ColorCount) continue;
                    char* pixel = canvas.data() + (y * width + cx) * 4;
                    pixel[0] = char(colors->Colors[index].Red);
                    pixel[1] = char(colors->Colors[index].Green);
                    pixel[2] = char(colors->Colors[index].Blue);
                    pixel[3] = char(0xFF);
                }
            }
        }
        return true;
    }
}

} // namespace

QByteArray PngFromGif(const QByteArray& gif) {
    if (!gif.startsWith("GIF8")) return {};
    TGifInput input{gif};
    int error = 0;
    std::unique_ptr<GifFileType, TGifCloser> file(DGifOpen(&input, ReadGif, &error));
    if (!file) return {};
    const int width = file->SWidth, height = file->SHeight;
    if (width <= 0 || height <= 0 || qint64(width) * height > MaxPixels) return {};
    QByteArray canvas(qsizetype(width) * height * 4, '\0');
    if (!DrawFirstImage(file.get(), canvas, width, height)) return {};
    return EncodePng(width, height, canvas);
}

QByteArray EncodePng(int width, int height, const QByteArray& rgba) {
    if (width <= 0 || height <= 0 || rgba.size() != qsizetype(width) * height * 4) return {};
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    // First the size, then the bytes.
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.constData(), 0, nullptr) || size == 0) {
        png_image_free(&image);
        return {};
    }
    QByteArray png(qsizetype(size), Qt::Uninitialized);
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, rgba.constData(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    png.resize(qsizetype(size));
    return png;
}

} // namespace PngRendition
