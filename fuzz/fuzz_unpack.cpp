// Unpacks arbitrary bytes as a received folder's archive: traversal, links,
// bombs, sizes that lie. Nothing may land outside the target folder, no link
// may be made, and no file may grow past what the guard allows.
#include "transfer/UnpackUnit.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>

namespace {
constexpr qint64 kAllowed = 32ll * 1024 * 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QTemporaryDir sandbox;
    const QString archive = sandbox.path() + QStringLiteral("/in.zip");
    const QString target = sandbox.path() + QStringLiteral("/target/");
    {
        QFile file(archive);
        if (!file.open(QIODevice::WriteOnly)) std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    QDir().mkpath(target);
    TDiskGuard guard;
    guard.Reserve = 0;
    // Free space shrinks as the target fills, so a bomb meets the guard.
    guard.FreeBytes = [&target](const QString&) {
        qint64 used = 0;
        QDirIterator it(target, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) used += QFileInfo(it.next()).size();
        return kAllowed - used;
    };
    (void)UnpackArchive(archive, target, guard);
    qint64 total = 0;
    QDirIterator it(sandbox.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isSymLink()) std::abort();
        if (info.absoluteFilePath() == archive) continue;
        if (!(info.absoluteFilePath() + QLatin1Char('/')).startsWith(target)) std::abort();
        if (info.isFile()) total += info.size();
    }
    // One read piece past the guard at most.
    if (total > kAllowed + 1024 * 1024) std::abort();
    QDir(target).removeRecursively();
    QFile::remove(archive);
    return 0;
}
