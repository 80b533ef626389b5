#include "text/LanguageFileUnit.h"

#include "platform/CodePageUnit.h"
#include "platform/ProfileFileUnit.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

// Names a language file gives its language in [Info] Language or carries in
// its file name, as FoldName leaves them. Western names are listed too, so a
// German file on a Chinese machine is not read in the machine's code page.
struct TLanguageNames {
    qint16 LanguageId;
    const char* Names; // UTF-8, "|" between names
};

constexpr TLanguageNames LanguageNames[] = {
    {2052, "简体中文|中文简体|简体|中文|simplifiedchinese|chinesesimplified|chinese"},
    {1028, "繁體中文|中文繁體|繁體|正體中文|繁体中文|traditionalchinese|chinesetraditional"},
    {1041, "日本語|japanese"},
    {1042, "한국어|korean"},
    {1049, "русский|russian"},
    {1058, "українська|ukrainian"},
    {1026, "български|bulgarian"},
    {1032, "ελληνικά|greek"},
    {1055, "türkçe|turkce|turkish"},
    {1045, "polski|polish"},
    {1029, "čeština|cestina|czech"},
    {1038, "magyar|hungarian"},
    {1031, "deutsch|german"},
    {1036, "français|francais|french"},
    {3082, "español|espanol|spanish"},
    {1040, "italiano|italian"},
    {1043, "nederlands|dutch"},
    {1046, "português|portugues|portuguese"},
    {1033, "english"},
};

// Letters only, case-folded: "Chinese (Simplified)" and "chinese_simplified" agree.
QString FoldName(const QString& name) {
    QString out;
    for (QChar c : name)
        if (c.isLetter()) out += c;
    return out.toCaseFolded();
}

bool HasName(const TLanguageNames& entry, const QString& folded) {
    return !folded.isEmpty() && QString::fromUtf8(entry.Names).split(QLatin1Char('|')).contains(folded);
}

// Whether codePage reads every byte without a replacement; text gets what it read.
bool ReadsEveryByte(const QByteArray& codePage, const QByteArray& bytes, QString* text = nullptr) {
    QStringDecoder decoder(codePage.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) return false;
    const QString decoded = decoder.decode(bytes);
    if (text) *text = decoded;
    return !decoder.hasError();
}

// The [Info] Language value as the file's bytes: Latin-1 gives one character per byte.
QByteArray RawLanguageValue(const QByteArray& bytes) {
    TProfileFile file;
    file.LoadFromBytes(bytes, QByteArrayLiteral("ISO-8859-1"));
    return file.ReadString(QStringLiteral("Info"), QStringLiteral("Language")).toLatin1();
}

} // namespace

QByteArray LanguageFileCodePage(const QByteArray& bytes, const QString& fileName) {
    if (TProfileFile::IsUtf8Text(bytes)) return QByteArrayLiteral("UTF-8");
    const QByteArray value = RawLanguageValue(bytes);
    for (const TLanguageNames& entry : LanguageNames) {
        const QByteArray codePage = Platform::CodePageName(entry.LanguageId);
        QString name;
        if (ReadsEveryByte(codePage, value, &name) && HasName(entry, FoldName(name))) return codePage;
    }
    const QString baseName = FoldName(QFileInfo(fileName).completeBaseName());
    for (const TLanguageNames& entry : LanguageNames)
        if (HasName(entry, baseName)) return Platform::CodePageName(entry.LanguageId);
    const QByteArray machine = Platform::SystemCodePage();
    return ReadsEveryByte(machine, bytes) ? machine : QByteArrayLiteral("windows-1252");
}

bool LoadLanguageFile(const QString& path, TProfileFile* file) {
    QFile raw(path);
    if (raw.exists() && !raw.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = raw.isOpen() ? raw.readAll() : QByteArray();
    file->LoadFromBytes(bytes, LanguageFileCodePage(bytes, QFileInfo(path).fileName()));
    return true;
}
