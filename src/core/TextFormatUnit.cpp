#include "core/TextFormatUnit.h"


namespace {

// Calls visit(kind) for each placeholder and append(text) for literal text.
template <typename Visit, typename Append>
void Scan(const QString& pattern, Visit visit, Append append) {
    const qsizetype n = pattern.size();
    qsizetype literalStart = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (pattern[i] != QLatin1Char('%') || i + 1 >= n) continue;
        const QChar next = pattern[i + 1];
        if (next != QLatin1Char('s') && next != QLatin1Char('d') && next != QLatin1Char('%')) continue;
        append(QStringView(pattern).mid(literalStart, i - literalStart));
        if (next == QLatin1Char('%'))
            append(QStringView(u"%"));
        else
            visit(next.toLatin1());
        ++i;
        literalStart = i + 1;
    }
    append(QStringView(pattern).mid(literalStart));
}

} // namespace

QString FormatText(const QString& pattern, std::initializer_list<TFormatArg> args) {
    QString out;
    out.reserve(pattern.size() + 16);
    auto arg = args.begin();
    Scan(
        pattern,
        [&](char) {
            if (arg == args.end()) return;
            if (const auto* text = std::get_if<QString>(&*arg))
                out += *text;
            else
                out += QString::number(std::get<qint64>(*arg));
            ++arg;
        },
        [&](QStringView literal) { out += literal; });
    return out;
}

QString PlaceholderSignature(const QString& text) {
    QString signature;
    Scan(text, [&](char kind) { signature += QLatin1Char(kind); }, [](QStringView) {});
    return signature;
}
