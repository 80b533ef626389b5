#include "transfer/FileOperationUnit.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace {

QString Target(const QString& source, const QString& destination) {
    return QDir(destination).filePath(QFileInfo(source).fileName());
}

bool RemovePath(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) return QDir(path).removeRecursively();
    return QFile::remove(path);
}

bool CopyFile(const QString& from, const QString& to, bool replace) {
    if (QFileInfo::exists(to)) {
        if (!replace || QFileInfo(to).isDir()) return false;
        if (!QFile::remove(to)) return false;
    }
    return QFile::copy(from, to);
}

bool CopyPath(const QString& from, const QString& to, bool replace) {
    const QFileInfo info(from);
    if (!info.isDir() || info.isSymLink()) return CopyFile(from, to, replace);
    if (QFileInfo(to).exists() && !QFileInfo(to).isDir()) return false;
    if (!QDir().mkpath(to)) return false;
    bool ok = true;
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        const QString entry = it.next();
        ok = CopyPath(entry, QDir(to).filePath(it.fileName()), replace) && ok;
    }
    return ok;
}

// destination lies in source (or is it).
bool Inside(const QString& source, const QString& destination) {
    const QString s = QDir::cleanPath(QFileInfo(source).absoluteFilePath()) + QLatin1Char('/');
    const QString d = QDir::cleanPath(QFileInfo(destination).absoluteFilePath()) + QLatin1Char('/');
    return d.startsWith(s);
}

} // namespace

QStringList ExistingTargets(const QStringList& sources, const QString& destination) {
    QStringList existing;
    for (const QString& source : sources)
        if (QFileInfo::exists(Target(source, destination))) existing << source;
    return existing;
}

TFileOperationResult RunFileOperation(TFileOperationKind kind, const QStringList& sources, const QString& destination,
                                      bool replace) {
    TFileOperationResult result;
    for (const QString& source : sources) {
        if (!QFileInfo::exists(source) && !QFileInfo(source).isSymLink()) {
            result.Failed << source;
            continue;
        }
        if (kind == TFileOperationKind::Delete) {
            if (!RemovePath(source)) result.Failed << source;
            continue;
        }
        const QString target = Target(source, destination);
        if (Inside(source, destination)) {
            result.Failed << source;
            continue;
        }
        // Moving onto itself changes nothing.
        if (QFileInfo(source).absoluteFilePath() == QFileInfo(target).absoluteFilePath()) continue;
        if (kind == TFileOperationKind::Move && !QFileInfo::exists(target) && QDir().rename(source, target)) continue;
        if (QFileInfo::exists(target) && QFileInfo(target).isDir() != QFileInfo(source).isDir()) {
            result.Failed << source;
            continue;
        }
        const bool copied = CopyPath(source, target, replace);
        if (!copied) {
            result.Failed << source;
            continue;
        }
        if (kind == TFileOperationKind::Move && !RemovePath(source)) result.Failed << source;
    }
    return result;
}
