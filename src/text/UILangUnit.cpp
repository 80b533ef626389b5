#include "text/UILangUnit.h"

#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "platform/PathsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "text/LanguageFileUnit.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

namespace {
const QString kInfo = QStringLiteral("Info");
const QString kLanguage = QStringLiteral("Language");
const QString kString = QStringLiteral("String");
} // namespace

TUserInterfaceLang::TUserInterfaceLang(QString languagesFolder, TApplicationParams& params)
    : FFolder(std::move(languagesFolder)), FParams(params) {
    if (!FFolder.endsWith(QLatin1Char('/'))) FFolder += QLatin1Char('/');
    Scan();
}

void TUserInterfaceLang::Scan() {
    FLanguageList.clear();
    QString inUse;
    const QDir dir(FFolder);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& entry : entries) {
        // Sockets, pipes and devices are no language files.
        if (!entry.isFile()) continue;
        TProfileFile file;
        if (!LoadLanguageFile(entry.absoluteFilePath(), &file)) {
            // Not the process-wide table: this may be it, still being built.
            FScanErrors << TranslateFormat(*this, QStringLiteral("Cannot read the language file %s."), {entry.fileName()});
            continue;
        }
        const QString name = file.ReadString(kInfo, kLanguage);
        if (name.isEmpty()) continue;
        FLanguageList.append({name, entry.fileName()});
        if (name == FParams[spUserInterfaceLanguageInUse]) inUse = entry.fileName();
    }
    if (inUse.isEmpty() || !OpenFile(inUse)) FParams[spUserInterfaceLanguageInUse] = QStringLiteral("English");
}

bool TUserInterfaceLang::OpenFile(const QString& fileName) {
    TProfileFile file;
    if (!LoadLanguageFile(FFolder + fileName, &file)) return false;
    QHash<QString, QString> strings;
    for (const auto& [key, value] : file.ReadSectionPairs(kString))
        if (!value.isEmpty()) strings.insert(key.toLower(), value);
    QWriteLocker lock(&FLock);
    FStrings = std::move(strings);
    return true;
}

QString TUserInterfaceLang::Translate(const QString& text) const {
    QReadLocker lock(&FLock);
    const auto it = FStrings.constFind(text.toLower());
    return it == FStrings.cend() ? text : *it;
}

bool TUserInterfaceLang::SwitchLanguage(const QString& name) {
    if (name == FParams[spUserInterfaceLanguageInUse]) return false;
    for (const TLanguageEntry& entry : FLanguageList) {
        if (entry.LanguageName != name) continue;
        if (!OpenFile(entry.LanguageFile)) return false;
        FParams[spUserInterfaceLanguageInUse] = name;
        FParams.SaveSetting(spUserInterfaceLanguageInUse);
        return true;
    }
    return false;
}

TUserInterfaceLang& UserInterfaceLang() {
    static const auto instance =
        std::make_unique<TUserInterfaceLang>(Platform::RuntimeDataFolder() + QStringLiteral("Languages"), Params());
    return *instance;
}

QString Translate(const QString& text) { return UserInterfaceLang().Translate(text); }

QString Translate(const TUserInterfaceLang* lang, const QString& text) {
    return lang ? lang->Translate(text) : Translate(text);
}

QString TranslateFormat(const QString& english, std::initializer_list<TFormatArg> args) {
    return TranslateFormat(UserInterfaceLang(), english, args);
}

QString TranslateFormat(const TUserInterfaceLang& lang, const QString& english, std::initializer_list<TFormatArg> args) {
    QString pattern = lang.Translate(english);
    if (pattern != english && PlaceholderSignature(pattern) != PlaceholderSignature(english)) pattern = english;
    return FormatText(pattern, args);
}

QString TranslateFormat(const TUserInterfaceLang* lang, const QString& english, std::initializer_list<TFormatArg> args) {
    return lang ? TranslateFormat(*lang, english, args) : TranslateFormat(english, args);
}
