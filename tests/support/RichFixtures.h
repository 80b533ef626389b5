#pragma once

// Small image files and RTF pieces for the rich-text tests.
#include "text/RichDocUnit.h"

#include <QByteArray>
#include <QtEndian>
#include <initializer_list>
#include <ostream>

namespace RichFixtures {

// 1 x 1 GIF.
inline QByteArray Gif() {
    return QByteArray::fromHex("4749463839610100010080000000ffffff00000021f90401000000002c00000000010001000002024401003b");
}

// 1 x 1 PNG.
inline QByteArray Png() {
    return QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg==");
}

// JPEG markers up to a 3 x 2 baseline frame; enough for sniffing and sizes.
inline QByteArray Jpeg() {
    return QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000"
                               "ffc0000b080002000301011100"
                               "ffd9");
}

// Packed DIB: 2 x 2, 24 bits, bottom-up rows padded to 4 bytes.
inline QByteArray Dib() {
    QByteArray dib(40, '\0');
    qToLittleEndian<quint32>(40, dib.data());
    qToLittleEndian<qint32>(2, dib.data() + 4);
    qToLittleEndian<qint32>(2, dib.data() + 8);
    qToLittleEndian<quint16>(1, dib.data() + 12);
    qToLittleEndian<quint16>(24, dib.data() + 14);
    qToLittleEndian<quint32>(16, dib.data() + 20);
    dib += QByteArray::fromHex("0000ff00ff000000" "ff000000ffff0000");
    return dib;
}

// The same bitmap as a .bmp file.
inline QByteArray Bmp() {
    QByteArray bmp("BM", 2);
    bmp.resize(14);
    qToLittleEndian<quint32>(quint32(14 + Dib().size()), bmp.data() + 2);
    qToLittleEndian<quint32>(0, bmp.data() + 6);
    qToLittleEndian<quint32>(54, bmp.data() + 10);
    return bmp + Dib();
}

// A picture of n bytes whose content tells its index (for count and byte limits).
inline QByteArray NumberedPng(int index, int size = 64) {
    QByteArray bytes = Png().left(8);
    while (bytes.size() < size) bytes += char('a' + (bytes.size() + index) % 26);
    return bytes.left(size);
}

inline TRichPicture Picture(const QByteArray& bytes) {
    return TRichPicture{bytes, SniffPictureFormat(bytes)};
}

// A 2 x 2 GIF of two frames (red, then blue), 100 ms each, looping.
inline QByteArray AnimatedGif() {
    return QByteArray::fromHex("47494638396102000200800000ff00000000ff21ff0b4e45545343415045322e300301000000"
                               "21f904000a0000002c0000000002000200000204044110050021f904000a0000002c00000000"
                               "020002000002040cc33005003b");
}

// Builders of documents.
inline TRichFormat Fmt(const char* font, int halfPoints = kDefaultHalfPoints, std::optional<quint32> colour = {},
                       bool bold = false, bool italic = false, bool underline = false) {
    return TRichFormat{QString::fromUtf8(font), halfPoints, colour, bold, italic, underline};
}

inline TRichDocument Doc(std::initializer_list<TRichParagraph> paragraphs) {
    TRichDocument document;
    document.Paragraphs = paragraphs;
    return document;
}

inline TRichRun TextRun(const char* text, const TRichFormat& format = Fmt("Arial")) {
    return TRichRun{format, QString::fromUtf8(text), std::nullopt};
}

inline TRichRun PictureRun(const QByteArray& bytes, const TRichFormat& format = Fmt("Arial")) {
    return TRichRun{format, QString(), Picture(bytes)};
}

} // namespace RichFixtures

// Readable failures: each paragraph with its runs' text (pictures as their
// format and size) and format.
inline void PrintTo(const TRichDocument& document, std::ostream* os) {
    *os << "{";
    for (const TRichParagraph& paragraph : document.Paragraphs) {
        *os << "[";
        for (const TRichRun& run : paragraph.Runs) {
            const TRichFormat& f = run.Format;
            if (run.IsPicture())
                *os << "<" << PictureFormatName(run.Picture->Format) << " " << run.Picture->Bytes.size() << "B>";
            else
                *os << '"' << run.Text.toStdString() << '"';
            *os << "(" << f.FontName.toStdString() << " " << f.HalfPoints;
            if (f.Colour) *os << " #" << std::hex << *f.Colour << std::dec;
            *os << (f.Bold ? " b" : "") << (f.Italic ? " i" : "") << (f.Underline ? " u" : "") << ")";
        }
        *os << "]";
    }
    *os << "}";
}
