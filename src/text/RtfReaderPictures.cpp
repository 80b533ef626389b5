// Pictures and embedded objects of the RTF reader (see RtfReaderParser.h).
#include "text/OlePictureUnit.h"
#include "text/RtfReaderParser.h"

#include <QtEndian>
#include <algorithm>

namespace {

bool IsDataSpace(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

void Put32(QByteArray* out, qsizetype at, quint32 value) {
    qToLittleEndian(value, out->data() + at);
}

// A device-dependent bitmap (\wbitmap: rows top-down, 2-byte aligned) as a
// .bmp file (top-down, 4-byte aligned rows). 1, 24 and 32 bits per pixel.
QByteArray BmpFileFromDdb(const TRtfPict& pict) {
    const int bits = pict.BitsPixel;
    if (pict.Planes != 1 || (bits != 1 && bits != 24 && bits != 32)) return {};
    if (pict.Width <= 0 || pict.Height <= 0 || pict.Width > 1 << 16 || pict.Height > 1 << 16) return {};
    const qint64 rowBytes = (qint64(pict.Width) * bits + 7) / 8;
    const qint64 sourceStride = pict.WidthBytes > 0 ? pict.WidthBytes : (rowBytes + 1) / 2 * 2;
    if (sourceStride < rowBytes || sourceStride * pict.Height > pict.Data.size()) return {};
    const qint64 stride = (rowBytes + 3) / 4 * 4;
    const int palette = bits == 1 ? 8 : 0;
    const qint64 offset = 14 + 40 + palette;
    QByteArray bmp(offset + stride * pict.Height, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    Put32(&bmp, 2, quint32(bmp.size()));
    Put32(&bmp, 10, quint32(offset));
    Put32(&bmp, 14, 40);
    Put32(&bmp, 18, quint32(pict.Width));
    Put32(&bmp, 22, quint32(-pict.Height)); // negative: rows top-down, as in the source
    qToLittleEndian<quint16>(1, bmp.data() + 26);
    qToLittleEndian<quint16>(quint16(bits), bmp.data() + 28);
    Put32(&bmp, 34, quint32(stride * pict.Height));
    if (bits == 1) Put32(&bmp, 58, 0x00FFFFFF); // black, white
    for (int row = 0; row < pict.Height; ++row)
        memcpy(bmp.data() + offset + row * stride, pict.Data.constData() + row * sourceStride, size_t(rowBytes));
    return bmp;
}

} // namespace

bool TRtfParser::InData() const {
    if (FGroups.empty()) return false;
    const TRtfDest dest = FGroups.back().Dest;
    return dest == TRtfDest::Pict || dest == TRtfDest::ObjData;
}

TRtfPict& TRtfParser::DataTarget() {
    return FGroups.back().Dest == TRtfDest::ObjData ? FObject.Data : FPict;
}

void TRtfParser::PictWord(std::string_view word, bool hasParam, int param) {
    if (word == "pngblip") FPict.Kind = TPictKind::Png;
    else if (word == "jpegblip") FPict.Kind = TPictKind::Jpeg;
    else if (word == "dibitmap") FPict.Kind = TPictKind::Dib;
    else if (word == "wbitmap") FPict.Kind = TPictKind::Ddb;
    else if (word == "emfblip" || word == "wmetafile" || word == "macpict" || word == "pmmetafile")
        FPict.Kind = TPictKind::Other;
    else if (!hasParam) return;
    else if (word == "picw") FPict.Width = param;
    else if (word == "pich") FPict.Height = param;
    else if (word == "wbmwidthbytes") FPict.WidthBytes = param;
    else if (word == "wbmbitspixel") FPict.BitsPixel = param;
    else if (word == "wbmplanes") FPict.Planes = param;
}

// Decodes the whole run of digits and spaces into the data at once.
qsizetype TRtfParser::HexRun(qsizetype at) {
    TRtfPict& target = DataTarget();
    const char* data = FInput.constData();
    const qsizetype size = FInput.size();
    qsizetype end = at;
    while (end < size && (RtfHexValue(data[end]) >= 0 || IsDataSpace(data[end]))) ++end;
    if (target.Broken) return end;
    // At most one byte per two characters, and never past the budget.
    const qint64 allowed = std::max<qint64>(0, FLimits.MaxPictureBytes - FPictureBytes);
    const qsizetype room = qsizetype(std::min<qint64>((end - at + 1) / 2, allowed));
    const qsizetype start = target.Data.size();
    target.Data.resize(start + room);
    char* const first = target.Data.data() + start;
    char* const last = first + room;
    char* out = first;
    int high = target.HighNibble;
    for (qsizetype i = at; i < end; ++i) {
        // Two digits at once: a byte lined up between the spaces.
        if (high < 0 && i + 1 < end && out != last) {
            const int pair = RtfHexValue(data[i]) << 4 | RtfHexValue(data[i + 1]);
            if (pair >= 0) {
                *out++ = char(pair);
                ++i;
                continue;
            }
        }
        const int value = RtfHexValue(data[i]);
        if (value < 0) continue;
        if (high < 0) {
            high = value;
            continue;
        }
        if (out == last) {
            FPictureBytes = FLimits.MaxPictureBytes + 1;
            target.Broken = true;
            target.Data = QByteArray();
            return end;
        }
        *out++ = char(high << 4 | value);
        high = -1;
    }
    target.Data.resize(start + (out - first));
    target.HighNibble = high;
    FPictureBytes += out - first;
    return end;
}

void TRtfParser::PictData(const char* data, qsizetype count) {
    TRtfPict& target = DataTarget();
    if (target.Broken) return;
    FPictureBytes += count;
    if (target.HighNibble >= 0 || FPictureBytes > FLimits.MaxPictureBytes) {
        target.Broken = true;
        target.Data = QByteArray();
        return;
    }
    target.Data.append(data, count);
}

void TRtfParser::StartPict() {
    TRtfGroup& group = FGroups.back();
    if (FPictures >= FLimits.MaxPictures) {
        group.Dest = TRtfDest::Skip;
        if (FNotes) ++FNotes->DroppedPictures;
        return;
    }
    group.Dest = TRtfDest::Pict;
    FPict = TRtfPict{};
}

std::optional<TRichPicture> TRtfParser::PictureOf(const TRtfPict& pict) const {
    if (pict.Broken || pict.HighNibble >= 0 || pict.Data.isEmpty()) return std::nullopt;
    QByteArray bytes;
    switch (pict.Kind) {
    case TPictKind::Png:
    case TPictKind::Jpeg: bytes = pict.Data; break;
    case TPictKind::Dib: bytes = BmpFileFromDib(pict.Data); break;
    case TPictKind::Ddb: bytes = BmpFileFromDdb(pict); break;
    default: break;
    }
    if (bytes.isEmpty()) return std::nullopt;
    return TRichPicture{bytes, SniffPictureFormat(bytes)};
}

void TRtfParser::EndPict() {
    const std::optional<TRichPicture> picture = PictureOf(FPict);
    FPict = TRtfPict{};
    if (picture) EmitPicture(*picture);
    else if (FNotes) ++FNotes->DroppedPictures;
}

void TRtfParser::EmitPicture(const TRichPicture& picture) {
    if (!FGroups.empty() && FGroups.back().Dest == TRtfDest::Result && FObject.Active) {
        if (!FObject.ResultPicture) FObject.ResultPicture = picture;
        return;
    }
    if (FPictures >= FLimits.MaxPictures) {
        if (FNotes) ++FNotes->DroppedPictures;
        return;
    }
    ++FPictures;
    FDocument.AppendPicture(picture, FGroups.empty() ? TRichFormat{} : Format());
}

void TRtfParser::StartObject() {
    TRtfGroup& group = FGroups.back();
    if (FPictures >= FLimits.MaxPictures) {
        group.Dest = TRtfDest::Skip;
        if (FNotes) ++FNotes->DroppedPictures;
        return;
    }
    group.Dest = TRtfDest::Object;
    FObject = TRtfObject{};
    FObject.Active = true;
}

void TRtfParser::EndObject() {
    TRtfObject object = std::move(FObject);
    FObject = TRtfObject{};
    const TRtfPict& data = object.Data;
    std::optional<TRichPicture> picture;
    if (object.Embedded && !data.Broken && data.HighNibble < 0 && !data.Data.isEmpty()) {
        const std::optional<QByteArray> bytes = ReadPictureObject(data.Data);
        if (bytes && !bytes->isEmpty()) picture = TRichPicture{*bytes, SniffPictureFormat(*bytes)};
    }
    if (picture) {
        EmitPicture(*picture);
        return;
    }
    // The object's own data failed: what it looked like is all there is.
    if (FNotes) ++FNotes->ObjectsFromResult;
    if (object.ResultPicture) EmitPicture(*object.ResultPicture);
    else if (FNotes) ++FNotes->DroppedPictures;
    if (!object.ResultText.isEmpty() && !FGroups.empty()) FDocument.AppendText(object.ResultText, Format());
}
