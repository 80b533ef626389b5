// Folder packing: a folder of 2,000 files (about 200 MB, mixed sizes, half of
// them compressible) packed by PackFolder at CompressionRatio 1 against
// `zip -1 -r` of the same folder, and unpacked by UnpackArchive against
// `unzip`, in turns within the same run. Prints the times and the ratios
// (target for packing: <= 1.2). Skips (exit 77) without zip and unzip.
#include "transfer/CompressThreadUnit.h"
#include "transfer/UnpackUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kFiles = 2000;
constexpr int kRounds = 3;

bool MakeFolder(const QString& root, qint64* total) {
    quint32 x = 99;
    const auto next = [&x] {
        x = x * 1664525u + 1013904223u;
        return x;
    };
    for (int i = 0; i < kFiles; ++i) {
        const QString dir = root + QStringLiteral("/d%1/e%2").arg(i % 20).arg(i % 7);
        QDir().mkpath(dir);
        // Mostly small files and a few large ones, about 100 KB on average.
        const int size = (i % 50 == 0) ? 2 * 1024 * 1024 + int(next() % 1000000) : int(next() % 120000);
        QByteArray bytes(size, Qt::Uninitialized);
        const bool text = i % 2 == 0;
        for (char& c : bytes) c = text ? char('a' + next() % 8) : char(next() >> 24);
        QFile f(dir + QStringLiteral("/f%1.%2").arg(i).arg(text ? "txt" : "bin"));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != size) return false;
        *total += size;
    }
    return true;
}

double Seconds(const std::function<bool()>& run, bool* ok) {
    QElapsedTimer clock;
    clock.start();
    *ok = run() && *ok;
    return clock.nsecsElapsed() / 1e9;
}

bool Tool(const QString& program, const QStringList& args, const QString& dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty()) {
        std::printf("bench_pack: skipped: zip or unzip is not installed\n");
        return 77;
    }
    QTemporaryDir dir;
    const QString home = dir.path();
    const QString folder = home + QStringLiteral("/Photos");
    qint64 total = 0;
    if (!MakeFolder(folder, &total)) return 1;
    bool ok = true;
    double packOwn = 1e9, packZip = 1e9, unpackOwn = 1e9, unpackZip = 1e9;
    qint64 sizeOwn = 0, sizeZip = 0;
    const TDiskGuard guard{0, {}};
    for (int round = 0; round < kRounds; ++round) {
        const QString own = home + QStringLiteral("/own.zip"), ref = home + QStringLiteral("/ref.zip");
        QFile::remove(ref);
        packOwn = qMin(packOwn, Seconds([&] { return PackFolder(folder, own, CompressionLevel(1), {}).Ok; }, &ok));
        packZip = qMin(packZip, Seconds([&] { return Tool(QStringLiteral("zip"), {"-1", "-r", "-q", ref, "."}, folder); }, &ok));
        sizeOwn = QFileInfo(own).size();
        sizeZip = QFileInfo(ref).size();
        const QString outOwn = home + QStringLiteral("/out-own"), outZip = home + QStringLiteral("/out-zip");
        QDir(outOwn).removeRecursively();
        QDir(outZip).removeRecursively();
        QDir().mkpath(outOwn);
        QDir().mkpath(outZip);
        unpackOwn = qMin(unpackOwn, Seconds([&] { return UnpackArchive(own, outOwn, guard).Refused.isEmpty(); }, &ok));
        unpackZip = qMin(unpackZip, Seconds([&] { return Tool(QStringLiteral("unzip"), {"-q", own, "-d", outZip}, home); }, &ok));
    }
    std::printf("folder: %d files, %.1f MB\n", kFiles, double(total) / 1e6);
    std::printf("pack at level 1: PackFolder %.2f s (%.1f MB), zip -1 -r %.2f s (%.1f MB); time ratio %.2f (target <= 1.2)\n",
                packOwn, double(sizeOwn) / 1e6, packZip, double(sizeZip) / 1e6, packOwn / packZip);
    std::printf("unpack: UnpackArchive %.2f s, unzip %.2f s; time ratio %.2f\n", unpackOwn, unpackZip, unpackOwn / unpackZip);
    return ok ? 0 : 1;
}
