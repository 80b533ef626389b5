#include "text/SummaryUnit.h"

#include <QStringList>

namespace {

constexpr qsizetype kSummaryChars = 255;
const QString kNoText = QStringLiteral("<space or object>");

bool IsLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

QString MakeFirst2Line(const QString& plainText) {
    qsizetype cut = qMin(plainText.size(), kSummaryChars);
    // Never half a character.
    if (cut > 0 && cut < plainText.size() && plainText[cut - 1].isHighSurrogate()) --cut;
    QString text = plainText.left(cut);
    text.remove(QLatin1Char('\t'));
    // A picture reads as a blank, so a line of pictures alone counts as empty.
    text.replace(QChar::ObjectReplacementCharacter, QLatin1Char(' '));

    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size() && lines.size() < 2; ++i) {
        if (!IsLineBreak(text[i])) continue;
        lines << text.mid(start, i - start);
        // CR LF is one break.
        if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
        start = i + 1;
    }
    if (lines.size() < 2) lines << text.mid(start);
    QString first = lines.value(0);
    if (first.trimmed().isEmpty()) first = kNoText;
    return first + QStringLiteral("\r\n") + lines.value(1);
}
