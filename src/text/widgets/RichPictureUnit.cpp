#include "text/widgets/RichPictureUnit.h"

#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QPalette>

namespace {

constexpr int kPlaceholderDrawn = 64; // drawn at most this big, stretched when shown
constexpr int kIconSide = 32;
constexpr quint32 kSystemColourFlag = 0xFF000000u;

// Windows' system colour indices that settings use.
constexpr int kColourWindow = 5;
constexpr int kColourWindowText = 8;
constexpr int kColourButtonFace = 15;

QByteArray ReaderFormat(TPictureFormat format) {
    switch (format) {
    case TPictureFormat::Gif: return QByteArrayLiteral("gif");
    case TPictureFormat::Png: return QByteArrayLiteral("png");
    case TPictureFormat::Jpeg: return QByteArrayLiteral("jpeg");
    case TPictureFormat::Bmp: return QByteArrayLiteral("bmp");
    case TPictureFormat::Unknown: break;
    }
    return {};
}

QSize FitInside(QSize size, int side) {
    if (size.width() <= side && size.height() <= side) return size;
    return size.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

} // namespace

TShownPicture ShowPicture(const TRichPicture& picture) {
    const std::optional<TPictureSize> header = PictureSizeOf(picture.Bytes);
    const TPictureFormat format = SniffPictureFormat(picture.Bytes);
    // Only JPEG decodes straight to a smaller size; other formats would fill
    // the whole canvas first, so a huge one is not decoded at all.
    const bool decodable = header && format != TPictureFormat::Unknown &&
                           (format == TPictureFormat::Jpeg ||
                            qint64(header->Width) * header->Height <= qint64(kMaxShownPictureSide) * kMaxShownPictureSide);
    if (decodable) {
        QByteArray bytes = picture.Bytes; // shared, not copied
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, ReaderFormat(format));
        const QSize full(header->Width, header->Height);
        const QSize shown = FitInside(full, kMaxShownPictureSide);
        if (shown != full) reader.setScaledSize(shown);
        QImage image = reader.read();
        if (!image.isNull()) return {image, image.size(), false};
    }
    const QSize size = header ? FitInside(QSize(header->Width, header->Height), kMaxShownPictureSide)
                              : QSize(kUnknownPictureSide, kUnknownPictureSide);
    return {PicturePlaceholder(size), size, true};
}

QImage PicturePlaceholder(const QSize& size) {
    QImage image(FitInside(size, kPlaceholderDrawn), QImage::Format_RGB32);
    image.fill(QColor(0xF0, 0xF0, 0xF0));
    QPainter painter(&image);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    const QRect frame = image.rect().adjusted(0, 0, -1, -1);
    painter.drawRect(frame);
    painter.drawLine(frame.topLeft(), frame.bottomRight());
    painter.drawLine(frame.topRight(), frame.bottomLeft());
    return image;
}

QByteArray PngRendition(const TRichPicture& picture) {
    const TShownPicture shown = ShowPicture(picture);
    if (shown.Placeholder) return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!shown.Image.save(&buffer, "PNG")) return {};
    return png;
}

QByteArray BmpOnBackground(const QImage& image, const QColor& background) {
    if (image.isNull()) return {};
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(background);
    {
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
    }
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    if (!flat.save(&buffer, "BMP")) return {};
    return bmp;
}

QByteArray IconBmpOnBackground(const QByteArray& icoBytes, const QColor& background) {
    QByteArray bytes = icoBytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QImage chosen;
    const int count = qMax(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i)) break;
        QImage image = reader.read();
        if (image.isNull()) continue;
        if (chosen.isNull()) chosen = image;
        if (image.size() == QSize(kIconSide, kIconSide)) {
            chosen = image;
            break;
        }
    }
    return BmpOnBackground(chosen, background);
}

QColor ColourFromSetting(int value) {
    const quint32 bits = quint32(value);
    if ((bits & kSystemColourFlag) == kSystemColourFlag) {
        const QPalette palette = QApplication::palette();
        switch (bits & 0xFF) {
        case kColourWindow: return palette.color(QPalette::Base);
        case kColourButtonFace: return palette.color(QPalette::Button);
        case kColourWindowText:
        default: return palette.color(QPalette::Text);
        }
    }
    return QColor(bits & 0xFF, (bits >> 8) & 0xFF, (bits >> 16) & 0xFF);
}

int SettingFromColour(const QColor& colour) {
    return int(quint32(colour.red()) | quint32(colour.green()) << 8 | quint32(colour.blue()) << 16);
}

QColor ColourFromRgb(quint32 rgb) { return QColor::fromRgb(QRgb(rgb & 0xFFFFFF)); }

quint32 RgbFromColour(const QColor& colour) { return quint32(colour.rgb()) & 0xFFFFFF; }
