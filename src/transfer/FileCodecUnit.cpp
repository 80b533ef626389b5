#include "transfer/FileCodecUnit.h"

#include "text/MsgLangUnit.h"

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

} // namespace

QByteArray EncodeFileRequest(const TLocalIdentity& self, qint32 ownHandle, const TMessageLang& lang) {
    const TMessageLang wire = WireLang(self, lang);
    QList<QByteArray> fields = Head(MessageType::FileRequest, wire);
    fields << QByteArray::number(ownHandle) << QByteArray::number(OnlineStateToWire(self.OnlineState))
           << TextField(self.NickName, wire) << TextField(self.ComputerName, wire) << TextField(self.UserId, wire);
    AppendReserved(fields, 4);
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
    return n;
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
