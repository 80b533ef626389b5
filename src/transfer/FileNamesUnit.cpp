#include "transfer/FileNamesUnit.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace FileNames {

namespace {

// An "extension" longer than this is part of the name: it is shortened too.
constexpr int kMaxExtensionBytes = 64;
// Far more than any folder holds copies of one name; the loop must end.
constexpr int kMaxNumber = 100000;
// Each part of a sender folder's name; a long nickname must not make it unusable.
constexpr int kMaxFolderPart = 100;

bool IsControl(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }

bool IsForbidden(QChar c) {
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    return forbidden.contains(c) || IsControl(c);
}

} // namespace

bool IsSafeName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
    for (const QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || IsControl(c)) return false;
    return true;
}

bool SafeEntryPath(const QString& path, QStringList* parts) {
    QString normal = path;
    normal.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (normal.startsWith(QLatin1Char('/'))) return false;
    // A folder entry ends with one "/"; no other part may be empty.
    if (normal.endsWith(QLatin1Char('/'))) normal.chop(1);
    const QStringList split = normal.split(QLatin1Char('/'));
    QStringList fitted;
    for (const QString& part : split) {
        if (!IsSafeName(part)) return false;
        fitted << FitName(part);
    }
    *parts = fitted;
    return true;
}

QString FitName(const QString& name, int n) {
    const auto bytes = [](const QString& text) { return text.toUtf8().size(); };
    QString full = n > 0 ? NumberedName(name, n) : name;
    if (bytes(full) <= MaxNameBytes) return full;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString stem = name, extension;
    if (dot > 0 && bytes(name.mid(dot)) <= kMaxExtensionBytes) {
        stem = name.left(dot);
        extension = name.mid(dot);
    }
    // No extension: the counter goes in front, as NumberedName puts it.
    const QString tag = n > 0 ? QStringLiteral("(%1)").arg(n) : QString();
    const QString front = extension.isEmpty() ? tag : QString();
    const QString back = (extension.isEmpty() ? QString() : tag) + extension;
    const qsizetype room = MaxNameBytes - bytes(front) - bytes(back);
    qsizetype used = 0, keep = 0;
    while (keep < stem.size()) {
        // A surrogate pair is one character: never cut between its halves.
        const qsizetype step = stem.at(keep).isHighSurrogate() && keep + 1 < stem.size() ? 2 : 1;
        const qsizetype size = bytes(stem.mid(keep, step));
        if (used + size > room) break;
        used += size;
        keep += step;
    }
    return front + stem.left(keep) + back;
}

QString NumberedName(const QString& name, int n) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return QStringLiteral("(%1)%2").arg(n).arg(name);
    return QStringLiteral("%1(%2)%3").arg(name.left(dot)).arg(n).arg(name.mid(dot));
}

QString SenderFolderName(const QString& nickName, const QString& computerName) {
    const auto clean = [](const QString& text) {
        QString out = text.left(kMaxFolderPart);
        for (QChar& c : out)
            if (IsForbidden(c)) c = QLatin1Char('_');
        return out;
    };
    return QStringLiteral("From_%1(%2)").arg(clean(nickName), clean(computerName));
}

std::unique_ptr<QFile> CreateExclusive(const QString& folder, const QString& name, QString* finalName, QString* error) {
    for (int n = 0; n <= kMaxNumber; ++n) {
        const QString candidate = FitName(name, n);
        auto file = std::make_unique<QFile>(folder + candidate);
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            *finalName = candidate;
            return file;
        }
        // Taken (by a file or a folder): the next number. Anything else ends it.
        if (!QFileInfo::exists(folder + candidate)) {
            *error = file->errorString();
            return nullptr;
        }
    }
    *error = QStringLiteral("no free name");
    return nullptr;
}

QString MakeNumberedFolder(const QString& folder, const QString& base, int* counter) {
    QDir dir(folder);
    if (*counter == 0 && dir.mkdir(base)) return base;
    while (*counter < kMaxNumber) {
        ++*counter;
        const QString candidate = QStringLiteral("%1(%2)").arg(base).arg(*counter);
        // mkdir fails on an existing entry: two arrivals never share a folder.
        if (dir.mkdir(candidate)) return candidate;
        if (!QFileInfo::exists(folder + candidate)) return {};
    }
    return {};
}

QString ReplaceForbidden(QString text) {
    for (QChar& c : text)
        if (IsForbidden(c)) c = QLatin1Char('_');
    return text;
}

QStringList ArchiveNames(const QStringList& folders, const QString& displayName, const QString& tempFolder) {
    QStringList names;
    QDir().mkpath(tempFolder);
    for (const QString& folder : folders) {
        QString path = folder;
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
        QString name = path.section(QLatin1Char('/'), -1);
        // A root ("/", "C:") has no last part of its own.
        if (name.isEmpty() || name.endsWith(QLatin1Char(':')) || path == QLatin1String("/"))
            name = folders.size() == 1 ? ReplaceForbidden(displayName) : QString();
        if (name.isEmpty()) name = QStringLiteral("[QLM_AutoCreate]") + ReplaceForbidden(folder);
        const auto taken = [&](const QString& candidate) {
            return QFileInfo::exists(tempFolder + candidate + QLatin1String(".zip")) ||
                   names.contains(candidate, Qt::CaseInsensitive);
        };
        if (taken(name)) {
            int n = 1;
            while (taken(QStringLiteral("%1(%2)").arg(name).arg(n))) ++n;
            name = QStringLiteral("%1(%2)").arg(name).arg(n);
        }
        names << name;
    }
    return names;
}

} // namespace FileNames

bool TDiskGuard::Allows(const QString& folder, qint64 bytes) const {
    const qint64 free = FreeBytes ? FreeBytes(folder) : QStorageInfo(folder).bytesAvailable();
    // An unknown figure (-1) does not stop anything: the writes themselves fail then.
    if (free < 0 && !FreeBytes) return true;
    return free - bytes >= Reserve;
}
