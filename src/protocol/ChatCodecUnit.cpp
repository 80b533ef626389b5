#include "protocol/ChatCodecUnit.h"

#include "text/MsgLangUnit.h"

#include <QtEndian>
#include <cmath>

namespace {

constexpr int LanguageIdIndex = 2;
constexpr int NickNameIndex = 3;
constexpr int ComputerNameIndex = 4;
constexpr int MessageUserIdIndex = 5;
constexpr int SummaryIndex = 10; // the rest of a message or refusal, a field of a broadcast
constexpr int BroadcastBodyIndex = 11;
constexpr int MessageReservedPlaces = 4;
constexpr int DatagramReservedPlaces = 5;

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

// The identifier written into the message also picks the code page of its text.
TMessageLang WireLang(const TLocalIdentity& self, const TMessageLang& lang) {
    return TMessageLang(self.LanguageId != 0 ? self.LanguageId : lang.LanguageId());
}

// A field of a header line: neither a tab nor a line break may stand in it.
QByteArray LineField(const QString& text, const TMessageLang& wire) {
    QString clean = text;
    for (QChar& c : clean)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) c = QLatin1Char(' ');
    return wire.EncodeOutgoing(clean);
}

QList<QByteArray> Head(const char* type, const TLocalIdentity& self, const TMessageLang& wire, bool oneLine) {
    const auto field = [&](const QString& text) { return oneLine ? LineField(text, wire) : TextField(text, wire); };
    return {QByteArray(type), QByteArray::number(CurrentProtocolVersion), QByteArray::number(wire.LanguageId()),
            field(self.NickName), field(self.ComputerName)};
}

// Language, nickname and computer name, the part every chat message shares.
std::optional<TBroadcastData> ReadSender(const TEnvelope& e, const TMessageLang& lang) {
    const std::optional<qint16> languageId = e.LanguageIdField(LanguageIdIndex);
    if (!languageId) return std::nullopt;
    TBroadcastData d;
    d.LanguageId = *languageId;
    d.NickName = lang.ConvertIncomingText(*languageId, e.Field(NickNameIndex));
    d.ComputerName = lang.DecodeFrom(*languageId, e.Field(ComputerNameIndex));
    return d;
}

} // namespace

QByteArray EncodeMessageHeader(const TLocalIdentity& self, const QString& summary, const TMessageLang& lang) {
    const TMessageLang wire = WireLang(self, lang);
    QList<QByteArray> fields = Head(MessageType::Message, self, wire, true);
    fields << LineField(self.UserId, wire);
    for (int i = 0; i < MessageReservedPlaces; ++i) fields << ReservedPlace;
    // The summary's own line break is the only tab the rest may hold.
    const QStringList lines = QString(summary).replace(QLatin1Char('\t'), QLatin1Char(' ')).split(QStringLiteral("\r\n"));
    QList<QByteArray> encoded;
    for (const QString& line : lines) encoded << LineField(line, wire);
    fields << encoded.join('\t');
    return BuildDatagram(fields);
}

QByteArray SizedBlockPrefix(qint32 length) {
    QByteArray out(4, '\0');
    qToBigEndian<qint32>(length, out.data());
    return out;
}

QByteArray EncodeMessageHead(const TLocalIdentity& self, const QString& summary, qint64 bodySize,
                             const TMessageLang& lang) {
    return EncodeMessageHeader(self, summary, lang) + kCrLf + SizedBlockPrefix(qint32(bodySize));
}

QByteArray EncodeMessageRequest(const TLocalIdentity& self, const QString& summary, const QByteArray& body,
                                const TMessageLang& lang) {
    return EncodeMessageHead(self, summary, body.size(), lang) + body;
}

QString ChatBodySizeError(qint64 size, qint64 limit) {
    if (size <= limit) return {};
    constexpr double kMiB = 1024.0 * 1024.0;
    return QStringLiteral("The message is %1 MiB (%2 bytes), larger than the %3 MiB (%4 bytes) a message may have")
        .arg(size / kMiB, 0, 'f', 1)
        .arg(size)
        .arg(limit / kMiB, 0, 'f', 1)
        .arg(limit);
}

QByteArray EncodeBroadcast(const TLocalIdentity& self, const QString& summary, const QString& body,
                           const TMessageLang& lang) {
    const TMessageLang wire = WireLang(self, lang);
    QList<QByteArray> fields = Head(MessageType::Broadcast, self, wire, false);
    for (int i = 0; i < DatagramReservedPlaces; ++i) fields << ReservedPlace;
    fields << TextField(summary, wire) << wire.EncodeOutgoing(BroadcastLineBreaks(body));
    return BuildDatagram(fields);
}

QString BroadcastLineBreaks(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            out += QLatin1String("\r\n");
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray EncodeRefuse(const TLocalIdentity& self, const QString& replyText, const TMessageLang& lang) {
    const TMessageLang wire = WireLang(self, lang);
    QList<QByteArray> fields = Head(MessageType::Refuse, self, wire, false);
    for (int i = 0; i < DatagramReservedPlaces; ++i) fields << ReservedPlace;
    fields << wire.EncodeOutgoing(replyText);
    return BuildDatagram(fields);
}

std::optional<TBroadcastData> DecodeMessageHeader(const TEnvelope& header, const TMessageLang& lang) {
    std::optional<TBroadcastData> d = ReadSender(header, lang);
    if (!d) return std::nullopt;
    // Version 1 peers have no identifier; whatever stands in its place is not theirs.
    if (header.ProtocolVersion() != 1) d->UserId = lang.DecodeFrom(d->LanguageId, header.Field(MessageUserIdIndex));
    d->Summary = header.Rest(SummaryIndex).replace('\t', kCrLf);
    return d;
}

std::optional<TBroadcastData> DecodeBroadcast(const TEnvelope& e, const TMessageLang& lang) {
    std::optional<TBroadcastData> d = ReadSender(e, lang);
    if (!d) return std::nullopt;
    d->Summary = e.Field(SummaryIndex);
    d->Body = e.Rest(BroadcastBodyIndex);
    return d;
}

std::optional<TBroadcastData> DecodeRefuse(const TEnvelope& e, const TMessageLang& lang) {
    std::optional<TBroadcastData> d = ReadSender(e, lang);
    if (!d) return std::nullopt;
    const QByteArray rest = e.Rest(SummaryIndex);
    const qsizetype lineEnd = rest.indexOf(kCrLf);
    d->Body = rest + kCrLf;
    d->Summary = (lineEnd < 0 ? rest : rest.left(lineEnd)) + kCrLf;
    return d;
}

namespace {
const QDate kDayZero(1899, 12, 30);
constexpr double kMsPerDay = 24.0 * 60 * 60 * 1000;
} // namespace

double DaysSince1899(const QDateTime& time) {
    const QDateTime local = time.toLocalTime();
    return double(kDayZero.daysTo(local.date())) + local.time().msecsSinceStartOfDay() / kMsPerDay;
}

QDateTime DateTimeFromDays(double days) {
    // Beyond year 9999 either way there is no date to show.
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6) return {};
    const double whole = std::floor(days);
    const int ms = qBound(0, int(std::lround((days - whole) * kMsPerDay)), int(kMsPerDay) - 1);
    return QDateTime(kDayZero.addDays(qint64(whole)), QTime::fromMSecsSinceStartOfDay(ms));
}
