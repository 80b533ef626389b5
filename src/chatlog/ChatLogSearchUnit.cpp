#include "chatlog/ChatLogSearchUnit.h"

#include <QList>
#include <QStringView>

namespace ChatLog {

QString IndexForm(const QString& text) {
    QString out;
    out.reserve(text.size() * 2);
    const QStringView view(text);
    for (qsizetype i = 0; i < view.size();) {
        // A character outside the basic plane is a surrogate pair: doubled whole.
        const qsizetype length =
            view[i].isHighSurrogate() && i + 1 < view.size() && view[i + 1].isLowSurrogate() ? 2 : 1;
        const QStringView character = view.mid(i, length);
        out += character;
        out += character;
        i += length;
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
