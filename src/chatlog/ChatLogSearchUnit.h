#pragma once

#include <QString>
#include <optional>

// The search index is an SQLite FTS5 table with the trigram tokenizer, which
// finds any substring of three or more characters. Chinese words are mostly
// two characters long, so every character is indexed twice ("ab" becomes
// "aabb"): a query doubled the same way has at least four characters, and a
// doubled text contains a doubled query exactly when the text contains the
// query. The table keeps no text of its own (contentless), only the index.
namespace ChatLog {

// Shortest query (in characters) the index can answer.
constexpr int kMinSearchLength = 2;

// What the index is given for a record's searchable text.
QString IndexForm(const QString& text);
// The MATCH expression for what the user typed; none when it is shorter than
// kMinSearchLength characters once spaces are tidied.
std::optional<QString> MatchExpression(const QString& query);

} // namespace ChatLog
