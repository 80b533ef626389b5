#include "core/DottedQuadUnit.h"

#include "core/TextFormatUnit.h"

std::optional<quint32> ParseDottedQuad(QStringView text) {
    const QStringView trimmed = text.trimmed();
    quint32 address = 0;
    int pieces = 0;
    qsizetype start = 0;
    while (start <= trimmed.size()) {
        qsizetype end = trimmed.indexOf(QLatin1Char('.'), start);
        if (end < 0) end = trimmed.size();
        const QStringView digits = trimmed.mid(start, end - start);
        if (digits.isEmpty() || digits.size() > 3 || ++pieces > 4) return std::nullopt;
        quint32 value = 0;
        for (QChar c : digits) {
            // Only ASCII digits: QChar::isDigit would take other scripts' digits too.
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
            value = value * 10 + quint32(c.unicode() - '0');
        }
        if (value > 255) return std::nullopt;
        address = address << 8 | value;
        start = end + 1;
    }
    if (pieces != 4) return std::nullopt;
    return address;
}

QString FormatDottedQuad(quint32 address) {
    return FormatText(QStringLiteral("%d.%d.%d.%d"), {qint64(address >> 24), qint64((address >> 16) & 0xFF),
                                                     qint64((address >> 8) & 0xFF), qint64(address & 0xFF)});
}
