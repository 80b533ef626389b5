#pragma once

#include <QByteArray>
#include <QString>

class TProfileFile;

// A language file saved by a Windows program is in the ANSI code page of the
// language it translates to, not of the machine it is used on.

// "UTF-8" when bytes read as UTF-8. Else the code page of the language that
// the raw [Info] Language value names, or failing that the file name (the
// table in the .cpp: native and English names); else the machine's code page
// when it reads every byte, else windows-1252.
QByteArray LanguageFileCodePage(const QByteArray& bytes, const QString& fileName);
// TProfileFile::Load with LanguageFileCodePage as the fallback.
bool LoadLanguageFile(const QString& path, TProfileFile* file);
