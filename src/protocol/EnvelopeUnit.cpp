#include "protocol/EnvelopeUnit.h"

#include "platform/ProfileFileUnit.h"
#include "text/MsgLangUnit.h"

#include <QStringView>

namespace {

constexpr char Tab = '\t';

// The four pieces of a dotted quad; false when any is not a decimal 0..255.
bool SplitDottedQuad(const QString& text, quint32 (&pieces)[4]) {
    const QString trimmed = text.trimmed();
    const QStringView view(trimmed);
    qsizetype start = 0;
    for (quint32& piece : pieces) {
        if (start > view.size()) return false; // fewer than four pieces
        qsizetype end = view.indexOf(QLatin1Char('.'), start);
        if (end < 0) end = view.size();
        const QStringView digits = view.mid(start, end - start);
        if (digits.isEmpty()) return false;
        quint32 value = 0;
        for (QChar c : digits) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
            value = value * 10 + quint32(c.unicode() - '0');
            if (value > 255) return false; // also keeps long runs of digits from overflowing
        }
        piece = value;
        start = end + 1;
    }
    return true;
}

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

bool IsDottedQuad(const QString& text) {
    quint32 pieces[4];
    return SplitDottedQuad(text, pieces);
}

quint32 DottedQuadToInt(const QString& text) {
    quint32 pieces[4];
    if (!SplitDottedQuad(text, pieces)) return 0;
    return pieces[0] << 24 | pieces[1] << 16 | pieces[2] << 8 | pieces[3];
}
