#pragma once

#include <QString>
#include <initializer_list>
#include <variant>

class TUserInterfaceLang;

// One argument of FormatText: text for "%s", a number for "%d".
using TFormatArg = std::variant<QString, qint64>;

// Fills "%s" and "%d" by position ("%%" is a percent sign; any other "%" stays as
// it is). A placeholder without an argument becomes empty, extra arguments are
// ignored: nothing reads past the arguments. A number given for "%s" is written
// in decimal; text given for "%d" is written as it is.
QString FormatText(const QString& pattern, std::initializer_list<TFormatArg> args);

// The placeholders of a text in order, e.g. "sd" for "%s has %d files".
QString PlaceholderSignature(const QString& text);

// Translates english (see UILangUnit) and fills it; a translation whose
// placeholders differ in number, kind or order from the English text is not used.
QString TranslateFormat(const QString& english, std::initializer_list<TFormatArg> args);
// Same over a given language table instead of the process-wide one.
QString TranslateFormat(const TUserInterfaceLang& lang, const QString& english, std::initializer_list<TFormatArg> args);
// Over lang, or the process-wide table when lang is null.
QString TranslateFormat(const TUserInterfaceLang* lang, const QString& english, std::initializer_list<TFormatArg> args);
