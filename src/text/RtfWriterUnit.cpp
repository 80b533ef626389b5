#include "text/RtfWriterUnit.h"

#include "text/OlePictureUnit.h"
#include "text/PngRenditionUnit.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>
#include <charconv>

namespace {

constexpr int kTwipsPerPixel = 15; // at 96 pixels an inch
constexpr int kUnknownSizeTwips = 1440;
constexpr qsizetype kHexLine = 128;

class TRtfWriter {
public:
    explicit TRtfWriter(const TRtfWriteOptions& options)
        : FOptions(options),
          FEncoder(CodePageConverterName(options.CodePage).constData(), QStringConverter::Flag::Stateless),
          FDecoder(CodePageConverterName(options.CodePage).constData(), QStringConverter::Flag::Stateless) {}

    QByteArray Write(const TRichDocument& document);

private:
    void CollectTables(const TRichDocument& document);
    void WriteHeader();
    void WriteFormat(const TRichFormat& format);
    void WriteText(QStringView text, bool fontName = false);
    void WriteUnicode(char16_t unit);
    bool WriteEncoded(QStringView character);
    // The character's bytes in the code page; empty when it has none that read back the same.
    QByteArray Encoded(QStringView character);
    static QByteArray Escaped(const QByteArray& bytes);
    void WritePicture(const TRichPicture& picture);
    // The picture as other readers show it, in a group opened by prefix; nothing when there is none.
    void WriteResult(const TRichPicture& picture, const std::optional<TPictureSize>& size, const char* prefix);
    void WriteHex(const QByteArray& bytes);
    void Word(const char* word, qint64 value) {
        FOut += word;
        char digits[24]; // the number straight into the output, no QByteArray per word
        const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
        FOut.append(digits, end.ptr - digits);
    }

    const TRtfWriteOptions& FOptions;
    QStringEncoder FEncoder;
    QStringDecoder FDecoder;
    QByteArray FOut;
    QHash<char16_t, QByteArray> FEncoded; // \'xx text per character; empty: not in the code page
    QStringList FFonts;
    QHash<QString, int> FFontIndex;
    QList<quint32> FColours;
    QHash<quint32, int> FColourIndex; // index in \colortbl; 0 is automatic
};

QByteArray TRtfWriter::Write(const TRichDocument& document) {
    CollectTables(document);
    WriteHeader();
    for (const TRichParagraph& paragraph : document.Paragraphs) {
        for (const TRichRun& run : paragraph.Runs) {
            FOut += '{';
            WriteFormat(run.Format);
            if (run.IsPicture()) WritePicture(*run.Picture);
            else WriteText(run.Text);
            FOut += '}';
        }
        FOut += "\\par\r\n";
    }
    FOut += "}\r\n";
    return std::move(FOut);
}

void TRtfWriter::CollectTables(const TRichDocument& document) {
    for (const TRichParagraph& paragraph : document.Paragraphs)
        for (const TRichRun& run : paragraph.Runs) {
            if (!FFontIndex.contains(run.Format.FontName)) {
                FFontIndex.insert(run.Format.FontName, int(FFonts.size()));
                FFonts.append(run.Format.FontName);
            }
            if (run.Format.Colour && !FColourIndex.contains(*run.Format.Colour)) {
                FColours.append(*run.Format.Colour);
                FColourIndex.insert(*run.Format.Colour, int(FColours.size()));
            }
        }
    if (FFonts.isEmpty()) FFonts.append(QStringLiteral("Arial"));
}

void TRtfWriter::WriteHeader() {
    FOut += "{\\rtf1\\ansi";
    Word("\\ansicpg", FOptions.CodePage);
    FOut += "\\deff0\\uc1{\\fonttbl";
    const int charset = CharsetOfCodePage(FOptions.CodePage);
    for (qsizetype i = 0; i < FFonts.size(); ++i) {
        Word("{\\f", i);
        Word("\\fnil\\fcharset", charset);
        FOut += ' ';
        WriteText(FFonts[i], true);
        FOut += ";}";
    }
    FOut += "}\r\n{\\colortbl ;";
    for (quint32 colour : FColours) {
        Word("\\red", (colour >> 16) & 0xFF);
        Word("\\green", (colour >> 8) & 0xFF);
        Word("\\blue", colour & 0xFF);
        FOut += ';';
    }
    FOut += "}\r\n\\pard\\plain\r\n";
}

void TRtfWriter::WriteFormat(const TRichFormat& format) {
    Word("\\f", FFontIndex.value(format.FontName));
    Word("\\fs", format.HalfPoints);
    if (format.Colour) Word("\\cf", FColourIndex.value(*format.Colour));
    if (format.Bold) FOut += "\\b";
    if (format.Italic) FOut += "\\i";
    if (format.Underline) FOut += "\\ul";
    FOut += ' ';
}

bool IsPlainCharacter(char16_t c) {
    return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}' && c != ';';
}

void TRtfWriter::WriteText(QStringView text, bool fontName) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (IsPlainCharacter(c)) { // the common case: copied as one piece
            qsizetype end = i + 1;
            while (end < text.size() && IsPlainCharacter(text[end].unicode())) ++end;
            const qsizetype at = FOut.size();
            FOut.resize(at + end - i);
            char* out = FOut.data() + at;
            for (; i < end; ++i) *out++ = char(text[i].unicode());
            --i;
        } else if (c == '\\' || c == '{' || c == '}') {
            FOut += '\\';
            FOut += char(c);
        } else if (fontName && c == ';') {
            FOut += "\\'3b";
        } else if (c >= 0x20 && c < 0x7F) {
            FOut += char(c);
        } else if (c == '\t' && !fontName) {
            FOut += "\\tab ";
        } else if (c == QChar::LineSeparator && !fontName) {
            FOut += "\\line ";
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            if (!WriteEncoded(text.mid(i, 2))) {
                WriteUnicode(c);
                WriteUnicode(text[i + 1].unicode());
            }
            ++i;
        } else if (c < 0x20 || !WriteEncoded(text.mid(i, 1))) {
            WriteUnicode(c);
        }
    }
}

void TRtfWriter::WriteUnicode(char16_t unit) {
    Word("\\u", qint16(unit)); // RTF's parameter is a signed 16-bit number
    FOut += '?';
}

// As \'xx bytes when the code page has the character and gives it back unchanged.
bool TRtfWriter::WriteEncoded(QStringView character) {
    if (!FEncoder.isValid() || !FDecoder.isValid()) return false;
    // Stateless: a character always comes out the same, so each is converted once.
    if (character.size() == 1) {
        auto found = FEncoded.constFind(character[0].unicode());
        if (found == FEncoded.constEnd())
            found = FEncoded.insert(character[0].unicode(), Escaped(Encoded(character)));
        FOut += *found;
        return !found->isEmpty();
    }
    const QByteArray bytes = Encoded(character);
    FOut += Escaped(bytes);
    return !bytes.isEmpty();
}

QByteArray TRtfWriter::Encoded(QStringView character) {
    FEncoder.resetState();
    const QByteArray bytes = FEncoder.encode(character);
    if (FEncoder.hasError() || bytes.isEmpty()) {
        // The error stays with the converter: start a fresh one.
        FEncoder = QStringEncoder(CodePageConverterName(FOptions.CodePage).constData(), QStringConverter::Flag::Stateless);
        return {};
    }
    FDecoder.resetState();
    if (QString(FDecoder.decode(bytes)) != character) return {};
    return bytes;
}

QByteArray TRtfWriter::Escaped(const QByteArray& bytes) {
    static const char digits[] = "0123456789abcdef";
    QByteArray text;
    for (char byte : bytes) {
        text += "\\'";
        text += digits[quint8(byte) >> 4];
        text += digits[quint8(byte) & 0xF];
    }
    return text;
}

void TRtfWriter::WritePicture(const TRichPicture& picture) {
    const std::optional<TPictureSize> size = PictureSizeOf(picture.Bytes);
    const QByteArray object = BuildPictureObject(picture.Bytes);
    if (object.isEmpty()) { // libgsf could not write: the picture alone
        WriteResult(picture, size, "");
        return;
    }
    FOut += "{\\object\\objemb{\\*\\objclass ";
    FOut += kPictureObjectClass;
    FOut += '}';
    Word("\\objw", size ? qint64(size->Width) * kTwipsPerPixel : kUnknownSizeTwips);
    Word("\\objh", size ? qint64(size->Height) * kTwipsPerPixel : kUnknownSizeTwips);
    FOut += "{\\*\\objdata";
    WriteHex(object);
    FOut += '}';
    WriteResult(picture, size, "{\\result");
    FOut += '}';
}

void TRtfWriter::WriteResult(const TRichPicture& picture, const std::optional<TPictureSize>& size,
                             const char* prefix) {
    const TPictureFormat format = SniffPictureFormat(picture.Bytes);
    QByteArray bytes = picture.Bytes;
    const char* kind = "\\pngblip";
    if (format == TPictureFormat::Jpeg) kind = "\\jpegblip";
    else if (format == TPictureFormat::Bmp) {
        kind = "\\dibitmap0";
        bytes = DibFromBmpFile(picture.Bytes);
    } else if (format != TPictureFormat::Png) {
        // A GIF is rendered here, whoever writes; other pictures by the front end's renderer.
        bytes = format == TPictureFormat::Gif ? PngRendition::PngFromGif(picture.Bytes) : QByteArray();
        if (bytes.isEmpty() && FOptions.PngRendition) bytes = FOptions.PngRendition(picture);
    }
    if (bytes.isEmpty()) return;
    const std::optional<TPictureSize> shown = format == TPictureFormat::Png || format == TPictureFormat::Jpeg ||
                                                      format == TPictureFormat::Bmp
                                                  ? size
                                                  : PictureSizeOf(bytes);
    FOut += prefix;
    FOut += "{\\pict";
    FOut += kind;
    if (shown) {
        Word("\\picw", shown->Width);
        Word("\\pich", shown->Height);
        Word("\\picwgoal", qint64(shown->Width) * kTwipsPerPixel);
        Word("\\pichgoal", qint64(shown->Height) * kTwipsPerPixel);
    }
    WriteHex(bytes);
    FOut += '}';
    if (*prefix) FOut += '}';
}

void TRtfWriter::WriteHex(const QByteArray& bytes) {
    static const char digits[] = "0123456789abcdef";
    const qsizetype start = FOut.size();
    FOut.resize(start + 2 + bytes.size() * 2 + (bytes.size() * 2 / kHexLine + 1) * 2);
    char* out = FOut.data() + start;
    *out++ = '\r';
    *out++ = '\n';
    qsizetype column = 0;
    for (char byte : bytes) {
        *out++ = digits[quint8(byte) >> 4];
        *out++ = digits[quint8(byte) & 0xF];
        column += 2;
        if (column == kHexLine) {
            *out++ = '\r';
            *out++ = '\n';
            column = 0;
        }
    }
    FOut.resize(out - FOut.constData());
}

} // namespace

QByteArray WriteRtf(const TRichDocument& document, const TRtfWriteOptions& options) {
    TRtfWriter writer(options);
    return writer.Write(document);
}
