#pragma once

#include <QByteArray>

// Code pages of RTF text: \fcharset of a font and \ansicpg of the document
// name the Windows code page that \'xx bytes are in.

constexpr int kDefaultCodePage = 1252;

// The code page of a font charset; 0 for ANSI/DEFAULT, which mean the
// document's \ansicpg.
int CodePageOfCharset(int charset);
// The charset a font needs so that readers decode text of codePage; 0 when
// the code page has none of its own.
int CharsetOfCodePage(int codePage);
// The name QStringDecoder/QStringEncoder take for a code page; "windows-950"
// and "windows-949", not ICU's IBM tables "CP950"/"CP949".
QByteArray CodePageConverterName(int codePage);
// The Windows code page number of a language's ANSI code page (936 for
// Simplified Chinese, 1252 for English ...): what \ansicpg names.
int CodePageOfLanguage(int languageId);
