#include "platform/FileSyncUnit.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace Platform {
namespace {

// Past this many files one flush of the whole file system is cheaper than
// flushing each (every flush of a new file commits the file system's journal).
constexpr qsizetype kFilesForWholeSync = 3;

bool SyncPath(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

bool SyncFiles(const QList<int>& handles) {
    if (handles.isEmpty()) return true;
#ifdef __linux__
    if (handles.size() >= kFilesForWholeSync) return ::syncfs(handles.first()) == 0;
#endif
    bool ok = true;
    for (int fd : handles) ok = ::fdatasync(fd) == 0 && ok;
    return ok;
}

bool SyncFile(const QString& path) { return SyncPath(path, O_RDONLY); }

bool SyncFolder(const QString& path) { return SyncPath(path, O_RDONLY | O_DIRECTORY); }

qint64 FreeBytes(const QString& path) {
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0) return -1;
    return qint64(info.f_bavail) * qint64(info.f_frsize);
}

bool ReplaceFile(const QString& source, const QString& target, QString* error) {
    if (::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0) return true;
    if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

} // namespace Platform
