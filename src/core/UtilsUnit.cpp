#include "core/UtilsUnit.h"

#include "VersionInfo.h"
#include "core/ParamsUnit.h"
#include "core/TextFormatUnit.h"
#include "platform/IdentityUnit.h"
#include "platform/PathsUnit.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>

namespace {

// The version block every Quillmate executable carries, found by
// ReadVersionInfo in the file's bytes (the way a version resource would be).
// Kept even though nothing refers to it by name.
[[gnu::used]] const char kVersionBlock[] =
    "QLM-VERSION-INFO{" QLM_VERSION_TEXT
    "|CompanyName=Quillmate developers"
    "|FileDescription=Quillmate LAN messenger"
    "|FileVersion=" QLM_VERSION_TEXT
    "|InternalName=quillmate"
    "|LegalCopyright=Copyright (C) Quillmate developers"
    "|LegalTradeMarks="
    "|OriginalFilename=quillmate"
    "|ProductName=Quillmate"
    "|ProductVersion=" QLM_VERSION_TEXT
    "|Comments=Serverless messenger for the local network}";

bool ParseVersionBlock(const QByteArray& block, const QString& valueName, TFileInfo* result) {
    // Filled aside: a block that turns out broken leaves nothing half read.
    TFileInfo parsed;
    TFileInfo* info = &parsed;
    const QList<QByteArray> fields = block.split('|');
    const QList<QByteArray> numbers = fields.value(0).split('.');
    if (numbers.size() != 4) return false;
    quint16* parts[] = {&info->Major, &info->Minor, &info->Release, &info->Build};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint n = numbers[i].toUInt(&ok);
        if (!ok || n > 0xFFFF) return false;
        *parts[i] = quint16(n);
    }
    struct { const char* Name; QString TFileInfo::*Field; } const named[] = {
        {"CompanyName", &TFileInfo::CompanyName}, {"FileDescription", &TFileInfo::FileDescription},
        {"FileVersion", &TFileInfo::FileVersion}, {"InternalName", &TFileInfo::InternalName},
        {"LegalCopyright", &TFileInfo::LegalCopyright}, {"LegalTradeMarks", &TFileInfo::LegalTradeMarks},
        {"OriginalFilename", &TFileInfo::OriginalFilename}, {"ProductName", &TFileInfo::ProductName},
        {"ProductVersion", &TFileInfo::ProductVersion}, {"Comments", &TFileInfo::Comments},
    };
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const qsizetype eq = fields[i].indexOf('=');
        if (eq <= 0) continue;
        const QString name = QString::fromUtf8(fields[i].left(eq));
        const QString value = QString::fromUtf8(fields[i].mid(eq + 1));
        for (const auto& field : named)
            if (name == QLatin1String(field.Name)) info->*field.Field = value;
        if (!valueName.isEmpty() && name.compare(valueName, Qt::CaseInsensitive) == 0) info->Value = value;
    }
    *result = std::move(parsed);
    return true;
}

// Names that no resolver could answer are refused before anyone is asked:
// blanks, control characters, empty labels, over-long names, and dotted
// numbers that are no address (resolvers would send those to a name server).
bool LooksLikeHostName(const QString& name) {
    if (name.isEmpty() || name.size() > 253) return false;
    bool numeric = true;
    for (QChar c : name) {
        if (c.isSpace() || c.category() == QChar::Other_Control) return false;
        numeric = numeric && (c.isDigit() || c == QLatin1Char('.'));
    }
    if (numeric) return false;
    const QStringList labels = name.endsWith(QLatin1Char('.')) ? name.chopped(1).split(QLatin1Char('.'))
                                                               : name.split(QLatin1Char('.'));
    for (const QString& label : labels)
        if (label.isEmpty() || label.size() > 63) return false;
    return true;
}

} // namespace

namespace Utils {

QString ProgramFolder() { return Platform::DataFolder(); }
QString RuntimeFolder() { return Platform::RuntimeDataFolder(); }

QString WithTrailingSlash(const QString& path) {
    // No folder stays no folder: "" must not turn into the root folder.
    if (path.isEmpty()) return path;
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString GetTempFolder() {
    const QString folder = ProgramFolder() + QStringLiteral("TempFolder/");
    QDir().mkpath(folder);
    return folder;
}

QString LocalComputerName() { return Platform::ComputerName(); }
QString LocalUserName() { return Platform::UserName(); }

QString DisplayName(bool hasNickname, const QString& nickname, const QString& computerName, bool onlyUserNickname) {
    if (!hasNickname) return computerName;
    if (onlyUserNickname) return nickname;
    return FormatText(QStringLiteral("%s(%s)"), {nickname, computerName});
}

QString DisplayName(bool hasNickname, const QString& nickname, const QString& computerName) {
    return DisplayName(hasNickname, nickname, computerName, Params()[bpOnlyUserNickname]);
}

bool ResolveHost(const QString& name, QString* address) {
    QHostAddress direct;
    if (direct.setAddress(name)) {
        if (direct.protocol() != QAbstractSocket::IPv4Protocol) return false;
        *address = direct.toString();
        return true;
    }
    if (!LooksLikeHostName(name)) return false;
    const QHostInfo info = QHostInfo::fromName(name);
    for (const QHostAddress& a : info.addresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            *address = a.toString();
            return true;
        }
    return false;
}

bool ReadVersionInfo(const QString& fileName, const QString& valueName, TFileInfo* info) {
    *info = TFileInfo{};
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return false;
    // Built from two pieces so that this search text is not itself a match.
    const QByteArray marker = QByteArray("QLM-VERSION") + QByteArray("-INFO{");
    const QByteArray bytes = file.readAll();
    const qsizetype start = bytes.indexOf(marker);
    if (start < 0) return false;
    const qsizetype end = bytes.indexOf('}', start);
    if (end < 0) return false;
    const qsizetype from = start + marker.size();
    return ParseVersionBlock(bytes.mid(from, end - from), valueName, info);
}

QString VersionText() {
    return FormatText(QStringLiteral("%d.%d.%d.%d"),
                      {qint64(QLM_VERSION_MAJOR), qint64(QLM_VERSION_MINOR), qint64(QLM_VERSION_RELEASE), qint64(QLM_VERSION_BUILD)});
}

} // namespace Utils
