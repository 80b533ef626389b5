#include "chatlog/ChatLogSearchUnit.h"

#include <QList>

namespace ChatLog {

QString IndexForm(const QString& text) {
    const qsizetype n = text.size();
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
    // One quoted phrase: the trigram tokenizer matches it as a substring, and
    // nothing the user typed is read as FTS5 query syntax.
    QString phrase = IndexForm(tidy);
    phrase.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + phrase + QLatin1Char('"');
}

} // namespace ChatLog
