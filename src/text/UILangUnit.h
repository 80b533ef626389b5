#pragma once

#include "core/TextFormatUnit.h"

#include <QHash>
#include <QList>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>

class TApplicationParams;


struct TLanguageEntry {
    QString LanguageName;
    QString LanguageFile; // file name inside the languages folder
};

// The interface language table. English is built in; a language file maps
// English texts (section "String") to translations and names its language in
// section "Info", key "Language".
class TUserInterfaceLang {
public:
    // Scans languagesFolder at once; the setting UserInterfaceLanguageInUse
    // picks the file in use (or becomes "English" in memory).
    TUserInterfaceLang(QString languagesFolder, TApplicationParams& params);

    // Thread-safe: workers translate while the main thread may switch.
    QString Translate(const QString& text) const;
    // Main thread only. False when name is already in use or not found.
    bool SwitchLanguage(const QString& name);
    const QList<TLanguageEntry>& LanguageList() const { return FLanguageList; }
    // Texts of the errors met while scanning (already translated to English
    // form; the caller shows them).
    const QStringList& ScanErrors() const { return FScanErrors; }
    const QString& LanguagesFolder() const { return FFolder; }

private:
    void Scan();
    bool OpenFile(const QString& fileName);

    QString FFolder;
    TApplicationParams& FParams;
    QList<TLanguageEntry> FLanguageList;
    QStringList FScanErrors;
    mutable QReadWriteLock FLock;
    QHash<QString, QString> FStrings; // lower-cased English text -> translation
};

// The process-wide table over Params() and the shipped "Languages" folder.
TUserInterfaceLang& UserInterfaceLang();
// Shortcut for UserInterfaceLang().Translate(text).
QString Translate(const QString& text);
// Through lang, or the process-wide table when lang is null (objects that
// tests give a table of their own).
QString Translate(const TUserInterfaceLang* lang, const QString& text);

// Translates english and fills it; a translation whose
// placeholders differ in number, kind or order from the English text is not used.
QString TranslateFormat(const QString& english, std::initializer_list<TFormatArg> args);
// Same over a given language table instead of the process-wide one.
QString TranslateFormat(const TUserInterfaceLang& lang, const QString& english, std::initializer_list<TFormatArg> args);
// Over lang, or the process-wide table when lang is null.
QString TranslateFormat(const TUserInterfaceLang* lang, const QString& english, std::initializer_list<TFormatArg> args);
