#pragma once

#include <QString>
#include <initializer_list>
#include <variant>

// Marks an English text that is shown later through Translate; the language
// file check collects these as it collects the arguments of Translate.
#define QLM_TEXT(text) QStringLiteral(text)

// One argument of FormatText: text for "%s", a number for "%d".
using TFormatArg = std::variant<QString, qint64>;

// Fills "%s" and "%d" by position ("%%" is a percent sign; any other "%" stays as
// it is). A placeholder without an argument becomes empty, extra arguments are
// ignored: nothing reads past the arguments. A number given for "%s" is written
// in decimal; text given for "%d" is written as it is.
QString FormatText(const QString& pattern, std::initializer_list<TFormatArg> args);

// The placeholders of a text in order, e.g. "sd" for "%s has %d files".
QString PlaceholderSignature(const QString& text);
