#include "protocol/EnvelopeUnit.h"

#include "core/DottedQuadUnit.h"
#include "platform/ProfileFileUnit.h"
#include "text/MsgLangUnit.h"

#include <QStringView>

namespace {

constexpr char Tab = '\t';

} // namespace

std::optional<TEnvelope> TEnvelope::Parse(const QByteArray& datagram) {
    const qsizetype firstTab = datagram.indexOf(Tab);
    if (firstTab < 0) return std::nullopt;

    TEnvelope e;
    e.FRaw = datagram;
    e.FStarts.append(0);
    for (qsizetype i = firstTab; i >= 0; i = datagram.indexOf(Tab, i + 1)) e.FStarts.append(i + 1);
    e.FType = e.Field(0);
    int version = 0;
    if (!TryStrToInt(QString::fromLatin1(e.Field(1)), &version)) return std::nullopt;
    e.FProtocolVersion = version;
    return e;
}

bool TEnvelope::IsType(const char* typeName) const {
    return FType.compare(QByteArrayView(typeName), Qt::CaseInsensitive) == 0;
}

QByteArray TEnvelope::Field(int index) const {
    if (!HasField(index)) return {};
    const qsizetype start = FStarts[index];
    const qsizetype end = index + 1 < FieldCount() ? FStarts[index + 1] - 1 : FRaw.size();
    return FRaw.mid(start, end - start);
}

QByteArray TEnvelope::Rest(int index) const {
    if (!HasField(index)) return {};
    return FRaw.mid(FStarts[index]);
}

std::optional<int> TEnvelope::IntField(int index) const {
    int value = 0;
    if (!HasField(index) || !TryStrToInt(QString::fromLatin1(Field(index)), &value)) return std::nullopt;
    return value;
}

int TEnvelope::IntFieldDef(int index, int defaultValue) const { return IntField(index).value_or(defaultValue); }

std::optional<qint16> TEnvelope::LanguageIdField(int index) const {
    const std::optional<int> id = IntField(index);
    if (!id) return std::nullopt;
    return qint16(*id);
}

QByteArray BuildDatagram(const QList<QByteArray>& fields) {
    qsizetype size = fields.size();
    for (const QByteArray& f : fields) size += f.size();
    QByteArray out;
    out.reserve(size);
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) out += Tab;
        out += fields[i];
    }
    return out;
}

QByteArray WithoutTabs(QByteArray field) { return field.replace(Tab, ' '); }

QByteArray TextField(const QString& text, const TMessageLang& lang) {
    return lang.EncodeOutgoing(QString(text).replace(QLatin1Char(Tab), QLatin1Char(' ')));
}

std::optional<quint32> ParseDottedQuadPrefix(QStringView text) {
    const QStringView trimmed = text.trimmed();
    qsizetype cut = -1;
    for (int dots = 0; dots < 4; ++dots) {
        cut = trimmed.indexOf(QLatin1Char('.'), cut + 1);
        if (cut < 0) break;
    }
    const QStringView quad = cut < 0 ? trimmed : trimmed.left(cut);
    // A blank before the fourth dot belongs to no piece.
    if (quad.size() != quad.trimmed().size()) return std::nullopt;
    return ParseDottedQuad(quad);
}

QString PeerHost(const QString& address, const QString& computerName) {
    return ParseDottedQuadPrefix(address) ? address : computerName;
}
