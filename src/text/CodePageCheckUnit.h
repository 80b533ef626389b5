#pragma once

#include <QString>
#include <QStringList>

// What a node's code page can carry: text goes out as bytes of the ANSI code
// page of its network language, and a character without a code there reaches
// every peer as "?". Callers ask before sending instead of losing it silently.
namespace CodePageCheck {

// The distinct characters of text that the code page of languageId has no
// code for, in the order they first appear (a surrogate pair is one character).
QStringList MissingCharacters(int languageId, const QString& text);
// The question put to the user before such a text goes out (naming the code
// page and the characters); empty when every character fits. Rich text keeps
// them in its body (as Unicode escapes); only its summary and readers without
// Unicode lose them, and the question says so.
QString WarningText(int languageId, const QString& text, bool richText = false);

} // namespace CodePageCheck
