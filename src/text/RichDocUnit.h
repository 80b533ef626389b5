#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

// A GUI-free rich text document: paragraphs of runs, a run being text in one
// format or one picture. The GUI turns it into a QTextDocument and back; the
// RTF codec (RtfReaderUnit, RtfWriterUnit) reads and writes it.

// Font size in half-points, as RTF's \fs counts it (24 = 12 pt).
constexpr int kDefaultHalfPoints = 24;

struct TRichFormat {
    QString FontName;              // empty: the reader's default font had no name
    int HalfPoints = kDefaultHalfPoints;
    std::optional<quint32> Colour; // 0xRRGGBB; none = the reader's automatic colour
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;

    bool operator==(const TRichFormat&) const = default;
};

// Told from the file's own first bytes, never from a name.
enum class TPictureFormat { Unknown, Gif, Png, Jpeg, Bmp };

struct TRichPicture {
    QByteArray Bytes; // the image file, exactly
    TPictureFormat Format = TPictureFormat::Unknown;

    bool operator==(const TRichPicture&) const = default;
};

// Text runs hold no paragraph breaks: a line break inside a paragraph is
// QChar::LineSeparator (RTF \line), a tab is '\t'.
struct TRichRun {
    TRichFormat Format;
    QString Text;
    std::optional<TRichPicture> Picture; // set: the run is this picture, Text is empty

    bool IsPicture() const { return Picture.has_value(); }
    bool operator==(const TRichRun&) const = default;
};

struct TRichParagraph {
    QList<TRichRun> Runs;
    bool operator==(const TRichParagraph&) const = default;
};

class TRichDocument {
public:
    QList<TRichParagraph> Paragraphs;

    // Appends to the last paragraph (opening one if there is none), joining a
    // run of the same format; '\n' starts a new paragraph.
    void AppendText(const QString& text, const TRichFormat& format);
    void AppendPicture(const TRichPicture& picture, const TRichFormat& format = {});
    void NewParagraph();

    // Text with '\n' between paragraphs and U+FFFC for each picture.
    QString PlainText() const;
    QList<TRichPicture> Pictures() const;

    bool operator==(const TRichDocument&) const = default;

private:
    TRichParagraph& LastParagraph();
};

TPictureFormat SniffPictureFormat(const QByteArray& bytes);
const char* PictureFormatName(TPictureFormat format);

// Width and height in pixels read from the file's header (no decoding); none
// when the header is not there or not understood.
struct TPictureSize {
    int Width = 0;
    int Height = 0;
};
std::optional<TPictureSize> PictureSizeOf(const QByteArray& bytes);

// A packed DIB (BITMAPINFOHEADER, palette, pixels) as a .bmp file: the
// 14-byte BITMAPFILEHEADER in front. Empty when the DIB header is unusable.
QByteArray BmpFileFromDib(const QByteArray& dib);
// The packed DIB inside a .bmp file; empty when it is not one.
QByteArray DibFromBmpFile(const QByteArray& bmp);
