#include "chatlog/ChatLogSearchUnit.h"

#include <QList>
#include <QSet>
#include <QStringList>

namespace ChatLog {

namespace {

// The first n UTF-16 units of text, each character twice.
QString Doubled(const QString& text, qsizetype n) {
    QString out(n * 2, Qt::Uninitialized);
    const QChar* in = text.constData();
    QChar* to = out.data();
    for (qsizetype i = 0; i < n;) {
        // A character outside the basic plane is a surrogate pair: doubled whole.
        if (in[i].isHighSurrogate() && i + 1 < n && in[i + 1].isLowSurrogate()) {
            to[0] = to[2] = in[i];
            to[1] = to[3] = in[i + 1];
            to += 4;
            i += 2;
        } else {
            to[0] = to[1] = in[i];
            to += 2;
            ++i;
        }
    }
    return out;
}

QString Tripled(char32_t point) { return QString::fromUcs4(&point, 1).repeated(3); }

} // namespace

QString IndexForm(const QString& text) {
    qsizetype n = qMin(text.size(), kMaxIndexedChars);
    // Never half a surrogate pair.
    if (n < text.size() && n > 0 && text[n - 1].isHighSurrogate()) --n;
    QString out = Doubled(text, n);
    QSet<char32_t> seen;
    for (const char32_t point : QStringView(text).left(n).toUcs4()) {
        if (seen.size() >= kMaxSingleChars) break;
        if (QChar::isSpace(point) || seen.contains(point)) continue;
        seen.insert(point);
        out += QLatin1Char('\n') + Tripled(point);
    }
    return out;
}

std::optional<QString> MatchExpression(const QString& query) {
    const QString tidy = query.simplified();
    const QList<uint> typed = tidy.toUcs4();
    if (typed.size() < kMinSearchLength) return std::nullopt;
    const auto quoted = [](QString term) {
        term.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + term + QLatin1Char('"');
    };
    // One character: its own trigram, which no longer query asks for.
    if (typed.size() == 1) return quoted(Tripled(char32_t(typed[0])));
    // Each trigram quoted on its own (an index without positions answers no
    // longer phrase), so nothing the user typed is read as FTS5 query syntax.
    // The tokenizer counts code points, not UTF-16 units.
    const QList<uint> points = Doubled(tidy, tidy.size()).toUcs4();
    QStringList terms;
    for (qsizetype i = 0; i + 3 <= points.size(); ++i) {
        const QString term = quoted(QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData() + i), 3));
        if (!terms.contains(term)) terms += term;
    }
    return terms.join(QLatin1Char(' '));
}

bool TextHolds(const QString& searchableText, const QString& query) {
    return searchableText.contains(query.simplified(), Qt::CaseInsensitive);
}

} // namespace ChatLog
