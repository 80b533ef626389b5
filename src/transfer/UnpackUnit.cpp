#include "transfer/UnpackUnit.h"

#include "transfer/CompressThreadUnit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <zip.h>

#include <memory>

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

} // namespace

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
        QStringList parts;
        if (!FileNames::SafeEntryPath(name, &parts)) {
            result.Refused << name;
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
            result.Refused << name;
            continue;
        }
        const QString relative = parts.join(QLatin1Char('/'));
        if (folder) {
            if (!QDir(root).mkpath(relative)) result.Refused << name;
            continue;
        }
        const QString parent = parts.size() > 1 ? QStringList(parts.mid(0, parts.size() - 1)).join(QLatin1Char('/')) : QString();
        // Every folder on the way is one this call made, never a link.
        if (!parent.isEmpty() && !QDir(root).mkpath(parent)) {
            result.Refused << name;
            continue;
        }
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive.get(), zip_uint64_t(i), 0, &st) != 0) {
            result.Refused << name;
            continue;
        }
        const qint64 declared = (st.valid & ZIP_STAT_SIZE) ? qint64(qMin<zip_uint64_t>(st.size, zip_uint64_t(1) << 62)) : 0;
        if (!guard.Allows(root, declared)) {
            result.Refused << name;
            result.Error = QStringLiteral("not enough disk space");
            continue;
        }
        QFile out(root + relative);
        // A duplicate entry never replaces the file of the first.
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            result.Refused << name;
            continue;
        }
        std::unique_ptr<zip_file_t, TZipFileCloser> in(zip_fopen_index(archive.get(), zip_uint64_t(i), 0));
        bool written = in != nullptr;
        qint64 total = 0;
        while (written) {
            const zip_int64_t read = zip_fread(in.get(), buffer.data(), zip_uint64_t(buffer.size()));
            if (read < 0) {
                written = false;
                result.Error = QString::fromLocal8Bit(zip_file_strerror(in.get()));
                break;
            }
            if (read == 0) break;
            total += read;
            // The declared size may lie; what really comes out is what counts.
            if (total > declared && !guard.Allows(root, read)) {
                written = false;
                result.Error = QStringLiteral("not enough disk space");
                break;
            }
            if (out.write(buffer.constData(), read) != read) {
                written = false;
                result.Error = out.errorString();
            }
        }
        out.close();
        if (!written || out.error() != QFileDevice::NoError) {
            out.remove();
            result.Refused << name;
            continue;
        }
        if (mode != 0) out.setPermissions(PermissionsOf(mode));
        ++result.Files;
    }
    result.Ok = true;
    return result;
}
