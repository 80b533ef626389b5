#include "transfer/FileCodecUnit.h"

#include "text/MsgLangUnit.h"

#include <QStringDecoder>

namespace {

constexpr char kCrLf[] = "\r\n";

TMessageLang WireLang(const TLocalIdentity& self, const TMessageLang& lang) {
    return TMessageLang(self.LanguageId != 0 ? self.LanguageId : lang.LanguageId());
}

QList<QByteArray> Head(const char* type, const TMessageLang& wire) {
    return {QByteArray(type), QByteArray::number(CurrentProtocolVersion), QByteArray::number(wire.LanguageId())};
}

void AppendReserved(QList<QByteArray>& fields, int count) {
    for (int i = 0; i < count; ++i) fields << ReservedPlace;
}

// Shown as one line: control characters become blanks.
bool IsControl(uint c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

// One name for the offer: percent-encoded UTF-8 (no "/", "%" or tab left
// bare); a long one is cut after a whole character and ends in an ellipsis.
QByteArray OfferNameField(const QString& name) {
    QList<uint> chars = name.toUcs4();
    for (uint& c : chars)
        if (IsControl(c)) c = ' ';
    const auto encode = [](const QList<uint>& text, bool cut) {
        QString s = QString::fromUcs4(reinterpret_cast<const char32_t*>(text.constData()), text.size());
        if (cut) s += QChar(0x2026);
        return s.toUtf8().toPercentEncoding();
    };
    QByteArray field = encode(chars, false);
    if (field.size() <= OfferFields::MaxNameBytes) return field;
    // A character takes at least one encoded byte: no more than MaxNameBytes of them fit.
    chars.resize(qMin<qsizetype>(chars.size(), OfferFields::MaxNameBytes));
    do {
        chars.removeLast();
        field = encode(chars, true);
    } while (field.size() > OfferFields::MaxNameBytes && !chars.isEmpty());
    return chars.isEmpty() ? QByteArray() : field;
}

// A decimal of at most maxDigits digits and nothing else (no sign, no blank).
std::optional<qint64> Digits(QByteArrayView text, int maxDigits) {
    if (text.isEmpty() || text.size() > maxDigits) return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Strict percent-decoding: unreserved characters or "%XX", valid UTF-8, no
// control character; nullopt otherwise.
std::optional<QString> OfferName(QByteArrayView field) {
    if (field.isEmpty() || field.size() > OfferFields::MaxNameBytes) return std::nullopt;
    QByteArray bytes;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '%') {
            if (i + 2 >= field.size()) return std::nullopt;
            const int high = HexValue(field[i + 1]);
            const int low = HexValue(field[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            bytes += char(high * 16 + low);
            i += 2;
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                   c == '.' || c == '_' || c == '~') {
            bytes += c;
        } else {
            return std::nullopt;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = utf8.decode(bytes);
    if (utf8.hasError()) return std::nullopt;
    for (const uint c : name.toUcs4())
        if (IsControl(c)) return std::nullopt;
    return name;
}

} // namespace

QByteArray EncodeFileRequest(const TLocalIdentity& self, qint32 ownHandle, const TMessageLang& lang,
                             const TOfferedFiles& offered) {
    const TMessageLang wire = WireLang(self, lang);
    QList<QByteArray> fields = Head(MessageType::FileRequest, wire);
    fields << QByteArray::number(ownHandle) << QByteArray::number(OnlineStateToWire(self.OnlineState))
           << TextField(self.NickName, wire) << TextField(self.ComputerName, wire) << TextField(self.UserId, wire);
    QList<QByteArray> plain = fields;
    AppendReserved(plain, 4);
    const QByteArray reservedOnly = BuildDatagram(plain);
    if (offered.Files <= 0 || offered.Files > OfferFields::MaxFiles || offered.Bytes < 0 ||
        offered.Bytes > offered.Files * MaxStreamFileSize)
        return reservedOnly;
    fields << QByteArray(OfferFields::Marker) << QByteArray::number(offered.Files) + ':' + QByteArray::number(offered.Bytes)
           << QByteArray() << QByteArray(ReservedPlace);
    const QByteArray bare = BuildDatagram(fields);
    // Never push past the size every receiver takes an offer that fits without them.
    if (bare.size() > MaxDatagramSize) return reservedOnly;
    QByteArray names;
    const qsizetype listed = qMin<qsizetype>(offered.Names.size(), qMin(offered.Files, OfferFields::MaxNames));
    for (qsizetype i = 0; i < listed; ++i) {
        const QByteArray name = OfferNameField(offered.Names[i]);
        const qsizetype grown = names.size() + (names.isEmpty() ? 0 : 1) + name.size();
        if (name.isEmpty() || bare.size() + grown > MaxDatagramSize) break;
        if (!names.isEmpty()) names += '/';
        names += name;
    }
    fields[10] = names;
    return BuildDatagram(fields);
}

QByteArray EncodeFileRequestDialogHandle(qint32 requesterHandle, qint32 ownHandle) {
    QList<QByteArray> fields{QByteArray(MessageType::FileRequestDialogHandle),
                             QByteArray::number(CurrentProtocolVersion), QByteArray::number(requesterHandle),
                             QByteArray::number(ownHandle)};
    AppendReserved(fields, 5);
    return BuildDatagram(fields);
}

QByteArray EncodeFileRequestReply(const TLocalIdentity& self, qint32 requesterHandle, bool accept, bool busy,
                                  const QString& reason, const TMessageLang& lang) {
    const TMessageLang wire = WireLang(self, lang);
    QList<QByteArray> fields = Head(MessageType::FileRequestReply, wire);
    fields << QByteArray::number(requesterHandle) << QByteArray(accept && !busy ? "+" : "-")
           << TextField(self.NickName, wire) << TextField(self.ComputerName, wire);
    AppendReserved(fields, 5);
    // The rest may hold anything, tabs included.
    fields << wire.EncodeOutgoing(reason);
    return BuildDatagram(fields);
}

QByteArray EncodeFileRequestCanceled(const TLocalIdentity& self, qint32 ownHandle, qint32 receiverHandle,
                                     const TMessageLang& lang) {
    const TMessageLang wire = WireLang(self, lang);
    QList<QByteArray> fields = Head(MessageType::FileRequestCanceled, wire);
    fields << QByteArray::number(ownHandle) << QByteArray::number(receiverHandle)
           << QByteArray::number(OnlineStateToWire(self.OnlineState)) << TextField(self.NickName, wire)
           << TextField(self.ComputerName, wire) << TextField(self.UserId, wire);
    AppendReserved(fields, 4);
    return BuildDatagram(fields);
}

QByteArray EncodeFileHeader(const TLocalIdentity& self, qint32 receiverHandle, const TMessageLang& lang) {
    const TMessageLang wire = WireLang(self, lang);
    QList<QByteArray> fields = Head(MessageType::File, wire);
    // A line break in a name would end the header early.
    const auto inLine = [&wire](const QString& text) {
        QString clean = text;
        clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        return TextField(clean, wire);
    };
    fields << inLine(self.NickName) << inLine(self.ComputerName) << QByteArray::number(receiverHandle);
    AppendReserved(fields, 5);
    return BuildDatagram(fields) + kCrLf;
}

QByteArray EncodeNameLine(const QString& name, bool archive, qint16 languageId) {
    QString clean = name;
    for (QChar& c : clean)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) c = QLatin1Char(' ');
    QByteArray line = TMessageLang::Encode(languageId, clean);
    if (archive) line.prepend('\t');
    return line + kCrLf;
}

std::optional<TOnlineNotify> DecodeFileRequest(const TEnvelope& e, const TMessageLang& lang) {
    const std::optional<qint16> languageId = e.LanguageIdField(2);
    const std::optional<int> handle = e.IntField(3);
    if (!languageId || !handle) return std::nullopt;
    TOnlineNotify n;
    n.SenderHandle = *handle;
    n.OnlineState = e.IntFieldDef(4, 0);
    n.NickName = lang.ConvertIncomingText(*languageId, e.Field(5));
    n.ComputerName = lang.DecodeFrom(*languageId, e.Field(6));
    if (e.ProtocolVersion() != 1) n.UserId = lang.DecodeFrom(*languageId, e.Field(7));
    n.Offered = DecodeOfferedFiles(e);
    return n;
}

TOfferedFiles DecodeOfferedFiles(const TEnvelope& e) {
    if (e.Field(8) != OfferFields::Marker) return {};
    const QByteArray counts = e.Field(9);
    const qsizetype colon = counts.indexOf(':');
    if (colon < 0) return {};
    const std::optional<qint64> files = Digits(QByteArrayView(counts).first(colon), 6);
    const std::optional<qint64> bytes = Digits(QByteArrayView(counts).sliced(colon + 1), 16);
    if (!files || !bytes || *files < 1 || *files > OfferFields::MaxFiles || *bytes > *files * MaxStreamFileSize)
        return {};
    TOfferedFiles offered;
    offered.Files = int(*files);
    offered.Bytes = *bytes;
    const QByteArray names = e.Field(10);
    if (names.isEmpty()) return offered;
    const QList<QByteArray> pieces = names.split('/');
    if (pieces.size() > OfferFields::MaxNames || pieces.size() > offered.Files) return {};
    for (const QByteArray& piece : pieces) {
        const std::optional<QString> name = OfferName(piece);
        if (!name) return {};
        offered.Names << *name;
    }
    return offered;
}

std::optional<TFilePeerHandle> DecodeFileRequestDialogHandle(const TEnvelope& e) {
    const std::optional<int> target = e.IntField(2);
    if (!target) return std::nullopt;
    return TFilePeerHandle{*target, e.IntFieldDef(3, 0)};
}

std::optional<TBroadcastData> DecodeFileRequestReply(const TEnvelope& e, const TMessageLang& lang) {
    const std::optional<qint16> languageId = e.LanguageIdField(2);
    const std::optional<int> handle = e.IntField(3);
    if (!languageId || !handle) return std::nullopt;
    TBroadcastData d;
    d.LanguageId = *languageId;
    d.RequestHandle = *handle;
    d.Accepted = e.Field(4) == "+";
    d.NickName = lang.ConvertIncomingText(*languageId, e.Field(5));
    d.ComputerName = lang.DecodeFrom(*languageId, e.Field(6));
    // Bytes in the sender's code page until shown (ConvertIncomingText then).
    d.Body = e.Rest(12);
    return d;
}

std::optional<TOnlineNotify> DecodeFileRequestCanceled(const TEnvelope& e, const TMessageLang& lang) {
    const std::optional<qint16> languageId = e.LanguageIdField(2);
    const std::optional<int> sender = e.IntField(3);
    const std::optional<int> receiver = e.IntField(4);
    if (!languageId || !sender || !receiver) return std::nullopt;
    TOnlineNotify n;
    n.SenderHandle = *sender;
    n.ReceiverHandle = *receiver;
    n.OnlineState = e.IntFieldDef(5, 0);
    n.NickName = lang.ConvertIncomingText(*languageId, e.Field(6));
    n.ComputerName = lang.DecodeFrom(*languageId, e.Field(7));
    if (e.ProtocolVersion() != 1) n.UserId = lang.DecodeFrom(*languageId, e.Field(8));
    return n;
}

std::optional<TBroadcastData> DecodeFileHeader(const TEnvelope& e, const TMessageLang& lang) {
    const std::optional<qint16> languageId = e.LanguageIdField(2);
    const std::optional<int> handle = e.IntField(5);
    if (!languageId || !handle) return std::nullopt;
    TBroadcastData d;
    d.LanguageId = *languageId;
    d.NickName = lang.ConvertIncomingText(*languageId, e.Field(3));
    d.ComputerName = lang.DecodeFrom(*languageId, e.Field(4));
    d.RequestHandle = *handle;
    return d;
}

TNameLine DecodeNameLine(const QByteArray& line, qint16 languageId) {
    TNameLine result;
    QByteArray bytes = line;
    if (bytes.contains('\t')) {
        result.Archive = true;
        bytes.remove(0, 1);
    }
    result.Name = TMessageLang::Decode(languageId, bytes);
    return result;
}
