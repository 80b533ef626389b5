#include "text/RichDocUnit.h"

#include <QtEndian>

namespace {

quint32 Le32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}
quint16 Le16(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 Be32(const QByteArray& b, qsizetype at) {
    return qFromBigEndian<quint32>(b.constData() + at);
}
quint16 Be16(const QByteArray& b, qsizetype at) {
    return qFromBigEndian<quint16>(b.constData() + at);
}

std::optional<TPictureSize> Positive(qint64 width, qint64 height) {
    if (width <= 0 || height <= 0 || width > 1 << 20 || height > 1 << 20) return std::nullopt;
    return TPictureSize{int(width), int(height)};
}

// Walks the JPEG markers up to the first start-of-frame.
std::optional<TPictureSize> JpegSize(const QByteArray& b) {
    qsizetype at = 2;
    while (at + 4 <= b.size()) {
        if (quint8(b[at]) != 0xFF) return std::nullopt;
        const quint8 marker = quint8(b[at + 1]);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const quint16 length = Be16(b, at + 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (at + 9 > b.size()) return std::nullopt;
            return Positive(Be16(b, at + 7), Be16(b, at + 5));
        }
        if (length < 2) return std::nullopt;
        at += 2 + length;
    }
    return std::nullopt;
}

constexpr int kBmpFileHeader = 14;

} // namespace

TRichParagraph& TRichDocument::LastParagraph() {
    if (Paragraphs.isEmpty()) Paragraphs.append(TRichParagraph{});
    return Paragraphs.last();
}

void TRichDocument::AppendText(const QString& text, const TRichFormat& format) {
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0) end = text.size();
        if (end > start) {
            TRichParagraph& paragraph = LastParagraph();
            if (!paragraph.Runs.isEmpty() && !paragraph.Runs.last().IsPicture() &&
                paragraph.Runs.last().Format == format)
                paragraph.Runs.last().Text += QStringView(text).mid(start, end - start);
            else
                paragraph.Runs.append(TRichRun{format, text.mid(start, end - start), std::nullopt});
        }
        if (end == text.size()) break;
        LastParagraph();
        NewParagraph();
        start = end + 1;
    }
}

void TRichDocument::AppendPicture(const TRichPicture& picture, const TRichFormat& format) {
    LastParagraph().Runs.append(TRichRun{format, QString(), picture});
}

void TRichDocument::NewParagraph() {
    Paragraphs.append(TRichParagraph{});
}

QString TRichDocument::PlainText() const {
    QString text;
    for (qsizetype p = 0; p < Paragraphs.size(); ++p) {
        if (p > 0) text += QLatin1Char('\n');
        for (const TRichRun& run : Paragraphs[p].Runs)
            text += run.IsPicture() ? QString(QChar::ObjectReplacementCharacter) : run.Text;
    }
    return text;
}

QList<TRichPicture> TRichDocument::Pictures() const {
    QList<TRichPicture> pictures;
    for (const TRichParagraph& paragraph : Paragraphs)
        for (const TRichRun& run : paragraph.Runs)
            if (run.IsPicture()) pictures.append(*run.Picture);
    return pictures;
}

TPictureFormat SniffPictureFormat(const QByteArray& b) {
    if (b.startsWith("GIF87a") || b.startsWith("GIF89a")) return TPictureFormat::Gif;
    if (b.startsWith("\x89PNG\r\n\x1a\n")) return TPictureFormat::Png;
    if (b.startsWith("\xFF\xD8\xFF")) return TPictureFormat::Jpeg;
    if (b.size() >= kBmpFileHeader + 4 && b.startsWith("BM")) return TPictureFormat::Bmp;
    return TPictureFormat::Unknown;
}

const char* PictureFormatName(TPictureFormat format) {
    switch (format) {
    case TPictureFormat::Gif: return "GIF";
    case TPictureFormat::Png: return "PNG";
    case TPictureFormat::Jpeg: return "JPEG";
    case TPictureFormat::Bmp: return "BMP";
    case TPictureFormat::Unknown: break;
    }
    return "unknown";
}

std::optional<TPictureSize> PictureSizeOf(const QByteArray& b) {
    switch (SniffPictureFormat(b)) {
    case TPictureFormat::Gif:
        if (b.size() < 10) return std::nullopt;
        return Positive(Le16(b, 6), Le16(b, 8));
    case TPictureFormat::Png:
        if (b.size() < 24 || b.mid(12, 4) != "IHDR") return std::nullopt;
        return Positive(Be32(b, 16), Be32(b, 20));
    case TPictureFormat::Jpeg: return JpegSize(b);
    case TPictureFormat::Bmp: {
        if (b.size() < kBmpFileHeader + 12) return std::nullopt;
        if (Le32(b, kBmpFileHeader) == 12) // OS/2 core header: 16-bit sizes
            return Positive(Le16(b, kBmpFileHeader + 4), Le16(b, kBmpFileHeader + 6));
        // Height is negative for top-down bitmaps.
        return Positive(qint32(Le32(b, kBmpFileHeader + 4)), qAbs(qint64(qint32(Le32(b, kBmpFileHeader + 8)))));
    }
    case TPictureFormat::Unknown: break;
    }
    return std::nullopt;
}

QByteArray BmpFileFromDib(const QByteArray& dib) {
    if (dib.size() < 12) return {};
    const quint32 headerSize = Le32(dib, 0);
    if (headerSize < 12 || headerSize > quint32(dib.size())) return {};
    quint32 paletteBytes = 0;
    if (headerSize >= 40) {
        const quint16 bitCount = Le16(dib, 14);
        const quint32 compression = Le32(dib, 16);
        quint32 colours = Le32(dib, 32);
        if (colours == 0 && bitCount <= 8) colours = 1u << bitCount;
        if (colours > 256) colours = 256;
        paletteBytes = colours * 4;
        // BI_BITFIELDS with the old header: three masks follow it.
        if (headerSize == 40 && compression == 3) paletteBytes += 12;
    } else {
        const quint16 bitCount = Le16(dib, 10);
        if (bitCount <= 8) paletteBytes = (1u << bitCount) * 3;
    }
    const quint64 offset = quint64(kBmpFileHeader) + headerSize + paletteBytes;
    const quint64 fileSize = quint64(kBmpFileHeader) + quint64(dib.size());
    if (offset > fileSize || fileSize > 0xFFFFFFFFu) return {};
    QByteArray bmp(kBmpFileHeader, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    qToLittleEndian<quint32>(quint32(fileSize), bmp.data() + 2);
    qToLittleEndian<quint32>(quint32(offset), bmp.data() + 10);
    return bmp + dib;
}

QByteArray DibFromBmpFile(const QByteArray& bmp) {
    if (SniffPictureFormat(bmp) != TPictureFormat::Bmp) return {};
    return bmp.mid(kBmpFileHeader);
}
