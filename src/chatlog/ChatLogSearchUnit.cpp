#include "chatlog/ChatLogSearchUnit.h"

#include <QList>
#include <QStringList>

namespace ChatLog {

QString IndexForm(const QString& text) {
    qsizetype n = qMin(text.size(), kMaxIndexedChars);
    // Never half a surrogate pair.
    if (n < text.size() && n > 0 && text[n - 1].isHighSurrogate()) --n;
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

std::optional<QString> MatchExpression(const QString& query) {
    const QString tidy = query.simplified();
    if (tidy.toUcs4().size() < kMinSearchLength) return std::nullopt;
    // Each trigram quoted on its own (an index without positions answers no
    // longer phrase), so nothing the user typed is read as FTS5 query syntax.
    // The tokenizer counts code points, not UTF-16 units.
    const QList<uint> points = IndexForm(tidy).toUcs4();
    QStringList terms;
    for (qsizetype i = 0; i + 3 <= points.size(); ++i) {
        QString term = QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData() + i), 3);
        term.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        term = QLatin1Char('"') + term + QLatin1Char('"');
        if (!terms.contains(term)) terms += term;
    }
    return terms.join(QLatin1Char(' '));
}

bool TextHolds(const QString& searchableText, const QString& query) {
    return searchableText.contains(query.simplified(), Qt::CaseInsensitive);
}

} // namespace ChatLog
