#include "text/RtfReaderUnit.h"

#include "text/MsgLangUnit.h"
#include "text/RtfCodePageUnit.h"
#include "text/RtfReaderParser.h"

#include <algorithm>

namespace {

constexpr int kMaxWordLength = 32;
constexpr int kMaxHalfPoints = 3276; // the largest size RTF writers accept

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Destinations whose text is not document text.
constexpr std::string_view SkippedDestinations[] = {
    "stylesheet", "info", "header", "headerl", "headerr", "headerf", "footer", "footerl",
    "footerr", "footerf", "footnote", "listtable", "listoverridetable", "revtbl", "rsidtbl",
    "generator", "xmlnstbl", "themedata", "colorschememapping", "latentstyles", "datastore",
    "fldinst", "pgdsctbl", "nonshppict", "annotation", "atnid", "atnauthor", "filetbl",
    "private", "template", "comment", "title", "subject", "author", "operator", "keywords",
    "doccomm", "company", "bkmkstart", "bkmkend", "objalias", "objsect", "objname", "blipuid",
    "picprop", "pnseclvl", "mmathPr", "userprops", "wgrffmtfilter", "fchars", "lchars"};

} // namespace

TRtfParser::TRtfParser(const QByteArray& rtf, const TRtfReadLimits& limits, TRtfReadNotes* notes)
    : FInput(rtf), FLimits(limits), FNotes(notes) {}

TRichDocument TRtfParser::Run() {
    const char* data = FInput.constData();
    const qsizetype size = FInput.size();
    while (FAt < size) {
        const char c = data[FAt];
        if (RtfHexValue(c) >= 0 && !Skipping() && InData()) {
            FAt = HexRun(FAt);
            continue;
        }
        ++FAt;
        if (c == '{') {
            OpenGroup();
        } else if (c == '}') {
            CloseGroup();
            if (FGroups.empty() && FOverflow == 0) break;
        } else if (c == '\\') {
            if (FAt >= size) break;
            const char next = data[FAt];
            if (IsLetter(next)) {
                const qsizetype start = FAt;
                while (FAt < size && IsLetter(data[FAt])) ++FAt;
                const std::string_view word(data + start, size_t(std::min<qsizetype>(FAt - start, kMaxWordLength)));
                bool hasParam = false;
                bool negative = false;
                qint64 value = 0;
                if (FAt + 1 < size && data[FAt] == '-' && IsDigit(data[FAt + 1])) {
                    negative = true;
                    ++FAt;
                }
                while (FAt < size && IsDigit(data[FAt])) {
                    hasParam = true;
                    if (value < (qint64(1) << 40)) value = value * 10 + (data[FAt] - '0');
                    ++FAt;
                }
                if (FAt < size && data[FAt] == ' ') ++FAt;
                value = std::clamp<qint64>(negative ? -value : value, INT_MIN, INT_MAX);
                if (word == "bin")
                    Binary(hasParam ? qsizetype(value) : 0);
                else
                    ControlWord(word, hasParam, int(value));
            } else if (next == '\'') {
                ++FAt;
                const int high = FAt < size ? RtfHexValue(data[FAt]) : -1;
                const int low = FAt + 1 < size ? RtfHexValue(data[FAt + 1]) : -1;
                if (high >= 0 && low >= 0) {
                    FAt += 2;
                    if (!Skipping()) HexByte(quint8(high * 16 + low));
                }
            } else {
                ++FAt;
                ControlSymbol(next);
            }
        } else if (c != '\r' && c != '\n' && !FGroups.empty() && !Skipping()) {
            FAt = TextSpan(FAt - 1);
        }
    }
    if (!FGroups.empty() || FOverflow > 0) {
        if (FNotes) FNotes->Truncated = true;
        // Data cut short is no picture; an object falls back to its \result.
        FPict.Broken = true;
        FObject.Data.Broken = true;
        FOverflow = 0;
        while (!FGroups.empty()) CloseGroup();
    }
    // A last \par ends the last paragraph rather than opening an empty one.
    if (!FDocument.Paragraphs.isEmpty() && FDocument.Paragraphs.last().Runs.isEmpty())
        FDocument.Paragraphs.removeLast();
    return std::move(FDocument);
}

bool TRtfParser::Skipping() const {
    return FOverflow > 0 || (!FGroups.empty() && FGroups.back().Dest == TRtfDest::Skip);
}

bool TRtfParser::ConsumeUnicodeSkip() {
    if (FSkipLeft <= 0) return false;
    --FSkipLeft;
    return true;
}

void TRtfParser::OpenGroup() {
    FIgnorable = false;
    FSkipLeft = 0;
    if (FOverflow > 0 || int(FGroups.size()) >= FLimits.MaxDepth) {
        if (FOverflow++ == 0 && FNotes) ++FNotes->SkippedDeepGroups;
        return;
    }
    Flush();
    FGroups.push_back(FGroups.empty() ? TRtfGroup{} : FGroups.back());
}

void TRtfParser::CloseGroup() {
    FIgnorable = false;
    FSkipLeft = 0;
    if (FOverflow > 0) {
        --FOverflow;
        return;
    }
    if (FGroups.empty()) return;
    Flush();
    const TRtfDest closed = FGroups.back().Dest;
    FGroups.pop_back();
    const TRtfDest now = FGroups.empty() ? TRtfDest::Skip : FGroups.back().Dest;
    if (closed == now) return;
    if (closed == TRtfDest::FontTable) CommitFont();
    else if (closed == TRtfDest::Pict) EndPict();
    else if (closed == TRtfDest::Object) EndObject();
}

void TRtfParser::Binary(qsizetype count) {
    if (count <= 0) return;
    // Never trust the count beyond the bytes that are there.
    if (count > FInput.size() - FAt) {
        if (FNotes) FNotes->Truncated = true;
        FAt = FInput.size();
        return;
    }
    if (!Skipping() && InData())
        PictData(FInput.constData() + FAt, count);
    else
        ConsumeUnicodeSkip();
    FAt += count;
}

void TRtfParser::ControlSymbol(char symbol) {
    if (Skipping()) return;
    if (symbol == '*') {
        FIgnorable = true;
        return;
    }
    if (symbol == '\\' || symbol == '{' || symbol == '}') {
        TextByte(symbol);
        return;
    }
    if (ConsumeUnicodeSkip()) return;
    const TRtfDest dest = FGroups.back().Dest;
    if (dest != TRtfDest::Body && dest != TRtfDest::Result) return;
    if (symbol == '~') EmitChar(QChar(0x00A0));
    else if (symbol == '_') EmitChar(QChar(0x2011));
    else if (symbol == '\n' || symbol == '\r') BodyWord("par", false, 0);
}

void TRtfParser::ControlWord(std::string_view word, bool hasParam, int param) {
    if (Skipping()) return;
    const bool ignorable = FIgnorable;
    FIgnorable = false;
    if (ConsumeUnicodeSkip()) return;
    Flush();
    if (StartDestination(word)) return;
    TRtfGroup& group = FGroups.back();
    if (ignorable) {
        group.Dest = TRtfDest::Skip;
        return;
    }
    switch (group.Dest) {
    case TRtfDest::Body:
    case TRtfDest::Result: BodyWord(word, hasParam, param); break;
    case TRtfDest::FontTable:
    case TRtfDest::ColourTable: TableWord(word, hasParam, param); break;
    case TRtfDest::Pict: PictWord(word, hasParam, param); break;
    case TRtfDest::Object:
        if (word == "objemb") FObject.Embedded = true;
        break;
    default: break;
    }
}

bool TRtfParser::StartDestination(std::string_view word) {
    TRtfGroup& group = FGroups.back();
    const TRtfDest dest = group.Dest;
    if (word == "fonttbl") {
        group.Dest = TRtfDest::FontTable;
    } else if (word == "colortbl") {
        group.Dest = TRtfDest::ColourTable;
        FRed = FGreen = FBlue = -1;
    } else if (word == "pict") {
        if (dest == TRtfDest::Body || dest == TRtfDest::Result) StartPict();
        else group.Dest = TRtfDest::Skip;
    } else if (word == "object") {
        if (dest == TRtfDest::Body && !FObject.Active) StartObject();
        else group.Dest = TRtfDest::Skip;
    } else if (word == "objdata") {
        group.Dest = dest == TRtfDest::Object ? TRtfDest::ObjData : TRtfDest::Skip;
    } else if (word == "objclass") {
        group.Dest = TRtfDest::ObjClass;
    } else if (word == "result") {
        group.Dest = dest == TRtfDest::Object ? TRtfDest::Result : dest;
    } else if (word == "shppict" || word == "fldrslt") {
        // Their content is the document's own: read as the group around them.
    } else if (std::find(std::begin(SkippedDestinations), std::end(SkippedDestinations), word) !=
               std::end(SkippedDestinations)) {
        group.Dest = TRtfDest::Skip;
    } else {
        return false;
    }
    return true;
}

bool TRtfParser::BodyWord(std::string_view word, bool hasParam, int param) {
    TRtfGroup& group = FGroups.back();
    const bool on = !hasParam || param != 0;
    if (word == "par") {
        if (group.Dest == TRtfDest::Result) FObject.ResultText += QLatin1Char('\n');
        else {
            if (FDocument.Paragraphs.isEmpty()) FDocument.NewParagraph();
            FDocument.NewParagraph();
        }
    } else if (word == "line") EmitChar(QChar::LineSeparator);
    else if (word == "tab") EmitChar(QLatin1Char('\t'));
    else if (word == "u" && hasParam) Unicode(param);
    else if (word == "uc" && hasParam && param >= 0 && param <= 16) group.UnicodeSkip = param;
    else if (word == "b") group.Bold = on;
    else if (word == "i") group.Italic = on;
    else if (word == "ulnone") group.Underline = false;
    else if (word == "ul") group.Underline = on;
    else if (word.starts_with("ul") && word != "ulc") group.Underline = true; // \uldb, \ulw, ...
    else if (word == "plain") {
        const int skip = group.UnicodeSkip;
        const TRtfDest dest = group.Dest;
        group = TRtfGroup{};
        group.UnicodeSkip = skip;
        group.Dest = dest;
    } else if (word == "fs") {
        if (!hasParam) group.HalfPoints = kDefaultHalfPoints;
        else if (param > 0 && param <= kMaxHalfPoints) group.HalfPoints = param;
    } else if (word == "cf" && hasParam && param >= 0) group.Colour = param;
    else if (word == "f" && hasParam && param >= 0) group.Font = param;
    else if (word == "deff" && hasParam && param >= 0) FDefaultFont = param;
    else if (word == "ansicpg" && hasParam && param > 0 && param < 70000) FDocCodePage = param;
    else if (word == "mac") FDocCodePage = 10000;
    else if (word == "pc") FDocCodePage = 437;
    else if (word == "pca") FDocCodePage = 850;
    else if (word == "emdash") EmitChar(QChar(0x2014));
    else if (word == "endash") EmitChar(QChar(0x2013));
    else if (word == "bullet") EmitChar(QChar(0x2022));
    else if (word == "lquote") EmitChar(QChar(0x2018));
    else if (word == "rquote") EmitChar(QChar(0x2019));
    else if (word == "ldblquote") EmitChar(QChar(0x201C));
    else if (word == "rdblquote") EmitChar(QChar(0x201D));
    else return false;
    return true;
}

void TRtfParser::TableWord(std::string_view word, bool hasParam, int param) {
    if (FGroups.back().Dest == TRtfDest::ColourTable) {
        const int value = std::clamp(param, 0, 255);
        if (word == "red") FRed = value;
        else if (word == "green") FGreen = value;
        else if (word == "blue") FBlue = value;
        return;
    }
    if (word == "u" && hasParam && FFontId >= 0) {
        FFontNameText += Decode(FFontName, FFontCpg > 0 ? FFontCpg : FFontCharsetPage > 0 ? FFontCharsetPage : FDocCodePage);
        FFontName.clear();
        FFontNameText += QChar(char16_t(param & 0xFFFF));
        FSkipLeft = FGroups.back().UnicodeSkip;
    } else if (word == "f" && hasParam) {
        CommitFont();
        FFontId = param;
    } else if (word == "fcharset" && hasParam) {
        FFontCharsetPage = CodePageOfCharset(param);
    } else if (word == "cpg" && hasParam && param > 0 && param < 70000) {
        FFontCpg = param;
    }
}

void TRtfParser::TableText(char byte) {
    if (FGroups.back().Dest == TRtfDest::ColourTable) {
        if (byte != ';') return;
        if (FRed < 0 && FGreen < 0 && FBlue < 0) FColours.append(std::nullopt);
        else FColours.append(quint32(std::max(FRed, 0) << 16 | std::max(FGreen, 0) << 8 | std::max(FBlue, 0)));
        FRed = FGreen = FBlue = -1;
        return;
    }
    if (ConsumeUnicodeSkip()) return;
    if (byte == ';') CommitFont();
    else if (FFontId >= 0) FFontName.append(byte);
}

void TRtfParser::CommitFont() {
    FPageFont = -1;
    if (FFontId >= 0) {
        TRtfFont font;
        font.CodePage = FFontCpg > 0 ? FFontCpg : FFontCharsetPage;
        font.Name = (FFontNameText + Decode(FFontName, font.CodePage ? font.CodePage : FDocCodePage)).trimmed();
        FFonts.insert(FFontId, font);
    }
    FFontId = -1;
    FFontCharsetPage = 0;
    FFontCpg = 0;
    FFontName.clear();
    FFontNameText.clear();
}

void TRtfParser::TextByte(char byte) {
    const TRtfDest dest = FGroups.back().Dest;
    if (dest == TRtfDest::FontTable || dest == TRtfDest::ColourTable) {
        TableText(byte);
        return;
    }
    if (InData()) {
        if (byte != ' ' && byte != '\t') DataTarget().Broken = true;
        return;
    }
    HexByte(quint8(byte));
}

void TRtfParser::HexByte(quint8 byte) {
    const TRtfDest dest = FGroups.back().Dest;
    if (dest == TRtfDest::FontTable) {
        if (!ConsumeUnicodeSkip() && FFontId >= 0) FFontName.append(char(byte));
        return;
    }
    if (dest != TRtfDest::Body && dest != TRtfDest::Result) return;
    if (ConsumeUnicodeSkip()) return;
    const char one = char(byte);
    TextBytes(&one, 1);
}

void TRtfParser::TextBytes(const char* bytes, qsizetype count) {
    const int codePage = CodePage();
    if (codePage != FPendingPage && !FPending.isEmpty()) {
        FText += Decode(FPending, FPendingPage);
        FPending.clear();
    }
    FPendingPage = codePage;
    FPending.append(bytes, count);
}

// Plain text up to the next markup or line end goes in as one piece; bytes a
// \u still has to skip, tables and picture data go byte by byte.
qsizetype TRtfParser::TextSpan(qsizetype at) {
    const TRtfDest dest = FGroups.back().Dest;
    if (FSkipLeft > 0 || (dest != TRtfDest::Body && dest != TRtfDest::Result)) {
        TextByte(FInput.at(at));
        return at + 1;
    }
    const char* data = FInput.constData();
    const qsizetype size = FInput.size();
    qsizetype end = at + 1;
    while (end < size) {
        const char c = data[end];
        if (c == '{' || c == '}' || c == '\\' || c == '\r' || c == '\n') break;
        ++end;
    }
    TextBytes(data + at, end - at);
    return end;
}

void TRtfParser::Unicode(int value) {
    if (!FPending.isEmpty()) {
        FText += Decode(FPending, FPendingPage);
        FPending.clear();
    }
    FText += QChar(char16_t(value & 0xFFFF));
    FSkipLeft = FGroups.back().UnicodeSkip;
}

void TRtfParser::EmitChar(QChar c) {
    if (!FPending.isEmpty()) {
        FText += Decode(FPending, FPendingPage);
        FPending.clear();
    }
    FText += c;
}

void TRtfParser::Flush() {
    if (!FPending.isEmpty()) {
        FText += Decode(FPending, FPendingPage);
        FPending.clear();
    }
    if (FText.isEmpty() || FGroups.empty()) return;
    if (FGroups.back().Dest == TRtfDest::Result) FObject.ResultText += FText;
    else FDocument.AppendText(FText, Format());
    FText.clear();
}

int TRtfParser::CodePage() {
    const TRtfGroup& group = FGroups.back();
    const int id = group.Font >= 0 ? group.Font : FDefaultFont;
    // Looked up once per font, not per byte of text.
    if (id != FPageFont) {
        const auto font = FFonts.constFind(id);
        FPageOfFont = font != FFonts.constEnd() ? font->CodePage : 0;
        FPageFont = id;
    }
    return FPageOfFont > 0 ? FPageOfFont : FDocCodePage;
}

QString TRtfParser::Decode(const QByteArray& bytes, int codePage) {
    auto found = FDecoders.find(codePage);
    if (found == FDecoders.end()) {
        QStringDecoder decoder(CodePageConverterName(codePage).constData(), QStringConverter::Flag::Stateless);
        if (!decoder.isValid())
            decoder = QStringDecoder(CodePageConverterName(kDefaultCodePage).constData(),
                                     QStringConverter::Flag::Stateless);
        found = FDecoders.emplace(codePage, std::move(decoder)).first;
    }
    if (!found->second.isValid()) return QString::fromLatin1(bytes);
    found->second.resetState();
    return found->second.decode(bytes);
}

TRichFormat TRtfParser::Format() const {
    const TRtfGroup& group = FGroups.back();
    TRichFormat format;
    format.FontName = FFonts.value(group.Font >= 0 ? group.Font : FDefaultFont).Name;
    format.HalfPoints = group.HalfPoints;
    if (group.Colour > 0 && group.Colour < FColours.size()) format.Colour = FColours[group.Colour];
    format.Bold = group.Bold;
    format.Italic = group.Italic;
    format.Underline = group.Underline;
    return format;
}

std::optional<TRichDocument> ReadRtf(const QByteArray& rtf, const TRtfReadLimits& limits, TRtfReadNotes* notes) {
    if (!rtf.startsWith("{\\rtf")) return std::nullopt;
    TRtfParser parser(rtf, limits, notes);
    return parser.Run();
}

std::optional<TRichDocument> ReadRtfFrom(const QByteArray& body, int languageId) {
    std::optional<TRichDocument> rich = ReadRtf(body);
    const TMessageLang& lang = TMessageLang::Instance();
    if (rich && lang.NeedsConversion(languageId))
        for (TRichParagraph& paragraph : rich->Paragraphs)
            for (TRichRun& run : paragraph.Runs)
                if (!run.IsPicture()) run.Text = lang.ConvertDecoded(languageId, run.Text);
    return rich;
}

TRichDocument ReadBody(const QByteArray& body, int languageId) {
    if (std::optional<TRichDocument> rich = ReadRtfFrom(body, languageId)) return std::move(*rich);
    TRichDocument plain;
    plain.AppendText(TMessageLang::Instance().ConvertIncomingText(languageId, body), {});
    return plain;
}
