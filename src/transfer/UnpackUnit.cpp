#include "transfer/UnpackUnit.h"

#include "transfer/CompressThreadUnit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <zip.h>

#include <memory>
#include <optional>

namespace {

constexpr qint64 kPiece = 32768;
constexpr zip_uint32_t kTypeMask = 0170000;
constexpr zip_uint32_t kLinkType = 0120000;
constexpr zip_uint32_t kFolderType = 0040000;
constexpr zip_uint32_t kRegularType = 0100000;

struct TZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct TZipFileCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

QFile::Permissions PermissionsOf(zip_uint32_t mode) {
    // Never more than read/write for the owner plus what the archive grants;
    // set-id bits are not carried.
    QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    if (mode & 0040) p |= QFile::ReadGroup;
    if (mode & 0004) p |= QFile::ReadOther;
    if (mode & 0100) p |= QFile::ExeOwner | QFile::ExeUser;
    if (mode & 0010) p |= QFile::ExeGroup;
    if (mode & 0001) p |= QFile::ExeOther;
    return p;
}

// Whether a path of the first count parts is taken by something that is not
// a folder (a file an earlier entry wrote), so nothing can be made under it.
bool TakenByFile(const QString& root, const QStringList& parts, qsizetype count) {
    QString path = root;
    for (qsizetype i = 0; i < count; ++i) {
        path += parts[i];
        const QFileInfo info(path);
        if (info.exists() && !info.isDir()) return true;
        path += QLatin1Char('/');
    }
    return false;
}

} // namespace

QStringList TUnpackResult::RefusedNames() const {
    QStringList names;
    for (const TRefusedEntry& entry : Refused) names << entry.Name;
    return names;
}

TUnpackResult UnpackArchive(const QString& archivePath, const QString& targetFolder, const TDiskGuard& guard) {
    TUnpackResult result;
    int error = 0;
    std::unique_ptr<zip_t, TZipCloser> archive(zip_open(QFile::encodeName(archivePath).constData(), ZIP_RDONLY, &error));
    if (!archive) {
        result.Error = ZipOpenErrorText(error);
        return result;
    }
    const QString root = QDir(targetFolder).absolutePath() + QLatin1Char('/');
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    QByteArray buffer(kPiece, Qt::Uninitialized);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* rawName = zip_get_name(archive.get(), zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        const QString name = rawName ? QString::fromUtf8(rawName) : QString();
        const auto refuse = [&](TEntryRefusal reason, const QString& detail = {}) {
            result.Refused.append({name, reason, detail});
        };
        QStringList parts;
        if (!FileNames::SafeEntryPath(name, &parts)) {
            refuse(TEntryRefusal::Outside);
            continue;
        }
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        zip_file_get_external_attributes(archive.get(), zip_uint64_t(i), 0, &system, &attributes);
        const zip_uint32_t mode = system == ZIP_OPSYS_UNIX ? attributes >> 16 : 0;
        const zip_uint32_t type = mode & kTypeMask;
        const bool folder = name.endsWith(QLatin1Char('/')) || name.endsWith(QLatin1Char('\\')) || type == kFolderType;
        // Links (and devices, pipes) are never made: a link could point anywhere.
        if (type != 0 && type != kFolderType && type != kRegularType) {
            refuse(TEntryRefusal::Link);
            continue;
        }
        // Every folder on the way is one this call made, never a link.
        const qsizetype folderParts = folder ? parts.size() : parts.size() - 1;
        if (folderParts > 0 && !QDir(root).mkpath(QStringList(parts.mid(0, folderParts)).join(QLatin1Char('/')))) {
            if (TakenByFile(root, parts, folderParts)) refuse(TEntryRefusal::NameTaken);
            else refuse(TEntryRefusal::WriteError, QStringLiteral("cannot create the folder"));
            continue;
        }
        if (folder) continue;
        const QString relative = parts.join(QLatin1Char('/'));
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive.get(), zip_uint64_t(i), 0, &st) != 0) {
            refuse(TEntryRefusal::WriteError, QString::fromLocal8Bit(zip_strerror(archive.get())));
            continue;
        }
        const qint64 declared = (st.valid & ZIP_STAT_SIZE) ? qint64(qMin<zip_uint64_t>(st.size, zip_uint64_t(1) << 62)) : 0;
        if (!guard.Allows(root, declared)) {
            refuse(TEntryRefusal::DiskSpace);
            continue;
        }
        QFile out(root + relative);
        // A duplicate entry never replaces the file of the first.
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(out.fileName()) || QFileInfo(out.fileName()).isSymLink()) refuse(TEntryRefusal::NameTaken);
            else refuse(TEntryRefusal::WriteError, out.errorString());
            continue;
        }
        std::unique_ptr<zip_file_t, TZipFileCloser> in(zip_fopen_index(archive.get(), zip_uint64_t(i), 0));
        std::optional<TRefusedEntry> failed;
        if (!in) failed = TRefusedEntry{name, TEntryRefusal::WriteError, QString::fromLocal8Bit(zip_strerror(archive.get()))};
        qint64 total = 0;
        while (!failed) {
            const zip_int64_t read = zip_fread(in.get(), buffer.data(), zip_uint64_t(buffer.size()));
            if (read < 0) {
                failed = TRefusedEntry{name, TEntryRefusal::WriteError, QString::fromLocal8Bit(zip_file_strerror(in.get()))};
                break;
            }
            if (read == 0) break;
            total += read;
            // The declared size may lie; more than the guard allowed is never written.
            if (total > declared) {
                failed = TRefusedEntry{name, TEntryRefusal::TooLarge, {}};
                break;
            }
            if (out.write(buffer.constData(), read) != read) failed = TRefusedEntry{name, TEntryRefusal::WriteError, out.errorString()};
        }
        out.close();
        if (!failed && out.error() != QFileDevice::NoError)
            failed = TRefusedEntry{name, TEntryRefusal::WriteError, out.errorString()};
        if (failed) {
            out.remove();
            result.Refused.append(*failed);
            continue;
        }
        if (mode != 0) out.setPermissions(PermissionsOf(mode));
        ++result.Files;
    }
    result.Ok = true;
    return result;
}
