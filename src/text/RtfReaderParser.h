#pragma once

// The RTF reader's state machine, shared by RtfReaderUnit.cpp (tokens, text,
// tables) and RtfReaderPictures.cpp (pictures and objects). Not for use
// outside the reader.
#include "text/RichDocUnit.h"
#include "text/RtfCodePageUnit.h"
#include "text/RtfReaderUnit.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringDecoder>
#include <array>
#include <map>
#include <string_view>
#include <vector>

// Value of a hex digit, -1 for any other byte: a table, as every byte of
// picture data passes here.
inline constexpr std::array<qint8, 256> kRtfHexValues = [] {
    std::array<qint8, 256> values{};
    values.fill(-1);
    for (int c = '0'; c <= '9'; ++c) values[size_t(c)] = qint8(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) values[size_t(c)] = qint8(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) values[size_t(c)] = qint8(c - 'A' + 10);
    return values;
}();

inline int RtfHexValue(char c) {
    return kRtfHexValues[quint8(c)];
}

enum class TRtfDest { Body, Skip, FontTable, ColourTable, Pict, Object, ObjData, ObjClass, Result };

struct TRtfGroup {
    TRtfDest Dest = TRtfDest::Body;
    int Font = -1; // -1: \deff
    int HalfPoints = kDefaultHalfPoints;
    int Colour = 0;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    int UnicodeSkip = 1;
};

struct TRtfFont {
    QString Name;
    int CodePage = 0; // 0: the document's
};

enum class TPictKind { None, Png, Jpeg, Dib, Ddb, Other };

struct TRtfPict {
    TPictKind Kind = TPictKind::None;
    QByteArray Data;
    bool Broken = false; // bad hex, odd digit count or over the byte budget
    int HighNibble = -1;
    int Width = 0, Height = 0, WidthBytes = 0, BitsPixel = 1, Planes = 1;
};

struct TRtfObject {
    bool Active = false;
    bool Embedded = false;
    TRtfPict Data; // \objdata: hex like a picture's
    std::optional<TRichPicture> ResultPicture;
    QString ResultText;
};

class TRtfParser {
public:
    TRtfParser(const QByteArray& rtf, const TRtfReadLimits& limits, TRtfReadNotes* notes);
    TRichDocument Run();

private:
    // Tokens
    void ControlWord(std::string_view word, bool hasParam, int param);
    void ControlSymbol(char symbol);
    void TextByte(char byte);
    void HexByte(quint8 byte);
    void TextBytes(const char* bytes, qsizetype count);
    qsizetype TextSpan(qsizetype at);
    void Unicode(int value);
    void Binary(qsizetype count);
    void OpenGroup();
    void CloseGroup();
    bool Skipping() const;
    bool ConsumeUnicodeSkip();

    // Text
    void Flush();
    void EmitText(const QString& text);
    void EmitChar(QChar c);
    int CodePage();
    QString Decode(const QByteArray& bytes, int codePage);
    TRichFormat Format() const;
    bool BodyWord(std::string_view word, bool hasParam, int param);
    bool StartDestination(std::string_view word);
    void TableWord(std::string_view word, bool hasParam, int param);
    void TableText(char byte);
    void CommitFont();

    // Pictures and objects (RtfReaderPictures.cpp)
    void PictWord(std::string_view word, bool hasParam, int param);
    void PictData(const char* data, qsizetype count);
    qsizetype HexRun(qsizetype at);
    void StartPict();
    void EndPict();
    void StartObject();
    void EndObject();
    void EmitPicture(const TRichPicture& picture);
    TRtfPict& DataTarget();
    bool InData() const;
    std::optional<TRichPicture> PictureOf(const TRtfPict& pict) const;

    const QByteArray& FInput;
    qsizetype FAt = 0;
    TRtfReadLimits FLimits;
    TRtfReadNotes* FNotes;
    TRichDocument FDocument;
    std::vector<TRtfGroup> FGroups;
    int FOverflow = 0;
    bool FIgnorable = false; // \* seen, waiting for its control word
    int FSkipLeft = 0;       // characters still to skip after \u
    int FDocCodePage = kDefaultCodePage;
    int FDefaultFont = 0;
    int FPageFont = -1; // font whose code page FPageOfFont holds; -1: none
    int FPageOfFont = 0;
    QHash<int, TRtfFont> FFonts;
    int FFontId = -1;
    int FFontCharsetPage = 0;
    int FFontCpg = 0; // \cpg wins over \fcharset
    QByteArray FFontName;    // bytes not yet decoded
    QString FFontNameText;   // decoded before a \u
    QList<std::optional<quint32>> FColours;
    int FRed = -1, FGreen = -1, FBlue = -1;
    QByteArray FPending; // text bytes not yet decoded
    int FPendingPage = 0;
    QString FText;        // decoded text not yet in the document
    TRichFormat FTextFormat;
    std::map<int, QStringDecoder> FDecoders;
    TRtfPict FPict;
    TRtfObject FObject;
    int FPictures = 0;
    qint64 FPictureBytes = 0;
};
