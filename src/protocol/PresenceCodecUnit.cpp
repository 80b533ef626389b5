#include "protocol/PresenceCodecUnit.h"

#include "text/MsgLangUnit.h"

namespace {

// Field numbers of the identity block; the logon has its interfaces before it.
constexpr int LanguageIdIndex = 2;
constexpr int LogonInterfacesIndex = 3;
constexpr int LogonIdentityIndex = 4;
constexpr int PresenceIdentityIndex = 3;

// The identifier written into the datagram also picks the code page of its text.
TMessageLang WireLang(const TLocalIdentity& self, const TMessageLang& lang) {
    return TMessageLang(self.LanguageId != 0 ? self.LanguageId : lang.LanguageId());
}

// online state, nickname, computer name, version, unique id, reserved, two reserved places
void AppendIdentity(QList<QByteArray>& fields, const TLocalIdentity& self, const TMessageLang& wire) {
    fields << QByteArray::number(OnlineStateToWire(self.OnlineState)) << TextField(self.NickName, wire)
           << TextField(self.ComputerName, wire) << TextField(self.Version, wire) << TextField(self.UserId, wire)
           << TextField(self.Reserved, wire) << ReservedPlace << ReservedPlace;
}

QList<QByteArray> Head(const char* type, const TMessageLang& wire) {
    return {QByteArray(type), QByteArray::number(CurrentProtocolVersion), QByteArray::number(wire.LanguageId())};
}

// Fills the identity block that starts at first (the online state).
TOnlineNotify ReadIdentity(const TEnvelope& e, int first, qint16 languageId, const TMessageLang& lang) {
    TOnlineNotify n;
    n.OnlineState = e.IntFieldDef(first, 0);
    n.NickName = lang.ConvertIncomingText(languageId, e.Field(first + 1));
    n.ComputerName = lang.DecodeFrom(languageId, e.Field(first + 2));
    // Version 1 peers have no identity fields; whatever stands there is not theirs.
    if (e.ProtocolVersion() != 1) {
        n.Version = lang.DecodeFrom(languageId, e.Field(first + 3));
        n.UserId = lang.DecodeFrom(languageId, e.Field(first + 4));
        n.Reserved = lang.DecodeFrom(languageId, e.Field(first + 5));
    }
    return n;
}

// These messages carry no language id. UTF-8 gives the same bytes as any
// code page for the usual ASCII identifiers and keeps any other one whole, so
// the own self-check always comes back as it went out.
QByteArray EncodeIdentifierMessage(const char* type, const QString& userId) {
    return BuildDatagram({QByteArray(type), QByteArray::number(CurrentProtocolVersion), userId.toUtf8()});
}

} // namespace

QByteArray EncodeLogon(const TLocalIdentity& self, const TMessageLang& lang) {
    const TMessageLang wire = WireLang(self, lang);
    QString interfaces;
    for (const QString& line : self.Interfaces) interfaces += line + QLatin1String("\r\n");
    QList<QByteArray> fields = Head(MessageType::Logon, wire);
    fields << TextField(interfaces, wire);
    AppendIdentity(fields, self, wire);
    return BuildDatagram(fields);
}

QByteArray EncodePresence(const char* type, const TLocalIdentity& self, const TMessageLang& lang) {
    const TMessageLang wire = WireLang(self, lang);
    QList<QByteArray> fields = Head(type, wire);
    AppendIdentity(fields, self, wire);
    return BuildDatagram(fields);
}

QByteArray EncodeCheckSignal(const QString& userId) { return EncodeIdentifierMessage(MessageType::CheckSignal, userId); }

QByteArray EncodeCheckSignalReply(const QString& userId) {
    return EncodeIdentifierMessage(MessageType::CheckSignalReply, userId);
}

QByteArray EncodeCheckNetworkState(const QString& userId) {
    return EncodeIdentifierMessage(MessageType::CheckNetworkState, userId);
}

std::optional<TDecodedLogon> DecodeLogon(const TEnvelope& e, const TMessageLang& lang) {
    const std::optional<qint16> languageId = e.LanguageIdField(LanguageIdIndex);
    if (!languageId) return std::nullopt;
    TDecodedLogon logon;
    logon.Notify = ReadIdentity(e, LogonIdentityIndex, *languageId, lang);
    logon.SenderInterfaces = lang.DecodeFrom(*languageId, e.Field(LogonInterfacesIndex));
    return logon;
}

std::optional<TOnlineNotify> DecodePresence(const TEnvelope& e, const TMessageLang& lang) {
    const std::optional<qint16> languageId = e.LanguageIdField(LanguageIdIndex);
    if (!languageId) return std::nullopt;
    return ReadIdentity(e, PresenceIdentityIndex, *languageId, lang);
}

TOnlineNotify DecodeCheckSignalReply(const TEnvelope& e) {
    TOnlineNotify n;
    n.UserId = QString::fromUtf8(e.Rest(2));
    return n;
}

QString DecodeCheckNetworkState(const TEnvelope& e) { return QString::fromUtf8(e.Rest(2)); }
