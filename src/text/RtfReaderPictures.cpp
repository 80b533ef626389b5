// Pictures and embedded objects of the RTF reader (see RtfReaderParser.h).
#include "text/OlePictureUnit.h"
#include "text/RtfReaderParser.h"

#include <QtEndian>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
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

void TRtfParser::PictWord(const QByteArray& word, bool hasParam, int param) {
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

qsizetype TRtfParser::HexRun(qsizetype at) {
    TRtfPict& target = DataTarget();
    const char* data = FInput.constData();
    const qsizetype size = FInput.size();
    for (; at < size; ++at) {
        const char c = data[at];
        const int value = HexDigit(c);
        if (value < 0) {
            if (c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
            break;
        }
        if (target.Broken) continue;
        if (target.HighNibble < 0) {
            target.HighNibble = value;
            continue;
        }
        if (++FPictureBytes > FLimits.MaxPictureBytes) {
            target.Broken = true;
            target.Data = QByteArray();
            continue;
        }
        target.Data.append(char(target.HighNibble << 4 | value));
        target.HighNibble = -1;
    }
    return at;
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
