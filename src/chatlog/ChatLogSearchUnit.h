#pragma once

#include <QString>
#include <optional>

// The search index is an SQLite FTS5 table with the trigram tokenizer, which
// finds any substring of three or more characters. Chinese words are mostly
// two characters long, so every character is indexed twice ("ab" becomes
// "aabb"): a query doubled the same way has at least four characters, and a
// doubled text contains a doubled query exactly when the text contains the
// query. A single character is often a whole Chinese word (钱, 会, 票): each
// distinct character of a text is indexed once more three times over, after
// a line break ("\naaa\nbbb"), which neither the tidied text nor a query
// holds, so those trigrams meet one-character queries only. The table keeps
// no text of its own (contentless) and no positions (detail=none): the index
// answers which records hold every trigram of the query, and the store then
// checks each such record's text for the query itself (the trigrams of
// "report" also occur in "repo port").
namespace ChatLog {

// Shortest query (in characters) the index can answer.
constexpr int kMinSearchLength = 1;
// Distinct characters of one record findable alone; a record of more (a long
// text in many scripts) is still found by every longer query.
constexpr qsizetype kMaxSingleChars = 4096;

// Characters of one record's text that are indexed: a huge message would
// otherwise cost several times its size in memory while it is indexed, for
// words nobody searches past its first pages.
constexpr qsizetype kMaxIndexedChars = 1024 * 1024;
// Bytes of a record's content read for its indexed text: that many characters
// take far fewer bytes of markup (unless pictures come first, whose text after
// them is then not indexed).
constexpr qsizetype kMaxIndexedBytes = 8 * 1024 * 1024;

// What the index is given for a record's searchable text (its first
// kMaxIndexedChars characters, doubled, then its distinct characters).
QString IndexForm(const QString& text);
// The MATCH expression for what the user typed (every trigram of its index
// form); none when it is shorter than kMinSearchLength characters once spaces
// are tidied.
std::optional<QString> MatchExpression(const QString& query);
// Whether a record's searchable text holds what the user typed, as the index
// compares (letter case aside).
bool TextHolds(const QString& searchableText, const QString& query);

} // namespace ChatLog
