#pragma once

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>

// What Windows calls the ANSI code page: the single- or double-byte encoding
// its programs write text in, fixed by the machine's language. Languages are
// Windows language identifiers (LANGIDs). Code-page names are the ones
// QStringEncoder/QStringDecoder take.
namespace Platform {

// QUILLMATE_LANGID (decimal) when set and usable, else the system locale.
qint16 SystemLanguageId();
qint16 LanguageIdOfLocale(const QLocale& locale);
// The ANSI code page of a language.
QByteArray CodePageName(int languageId);
// Whether a language is one of the table of known languages (what a setting may name).
bool IsKnownLanguageId(int languageId);
// The table of known languages, in its order (the options dialog lists them).
struct TKnownLanguage {
    qint16 Id;
    QLocale::Language Language;
    QLocale::Territory Territory; // AnyTerritory: the language's default
};
QList<TKnownLanguage> KnownLanguages();
// The code page of SystemLanguageId(): what this machine's Windows programs would write.
QByteArray SystemCodePage();

} // namespace Platform
