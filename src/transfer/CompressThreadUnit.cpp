#include "transfer/CompressThreadUnit.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <zip.h>

namespace {

constexpr qint64 kPiece = 32768;
constexpr zip_uint32_t kUnixFile = 0100000;
constexpr zip_uint32_t kUnixFolder = 0040000;

struct TEntry {
    QString Path;     // absolute
    QString Relative; // with "/" separators
    bool Folder = false;
    qint64 Size = 0;
    QFile::Permissions Permissions;
    QDateTime Modified;
};

// Shared by every file source of one archive.
struct TPackState {
    const TPackProgress& Progress;
    qint64 Total = 0;
    qint64 Done = 0;
    int LastPercent = -1;
    bool Canceled = false;
};

// One file as a libzip source: opened only while the library reads it, so a
// folder of thousands of files never holds more than one open.
struct TFileSource {
    TPackState& State;
    TEntry Entry;
    QFile File;
    zip_error_t Error;
};

zip_uint32_t UnixMode(QFile::Permissions p) {
    zip_uint32_t mode = 0;
    const std::pair<QFile::Permission, zip_uint32_t> bits[] = {
        {QFile::ReadOwner, 0400}, {QFile::WriteOwner, 0200}, {QFile::ExeOwner, 0100},
        {QFile::ReadGroup, 040},  {QFile::WriteGroup, 020},  {QFile::ExeGroup, 010},
        {QFile::ReadOther, 04},   {QFile::WriteOther, 02},   {QFile::ExeOther, 01}};
    for (const auto& [permission, bit] : bits)
        if (p & permission) mode |= bit;
    return mode;
}

zip_int64_t FileSourceCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* source = static_cast<TFileSource*>(userdata);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        if (source->State.Progress.CurrentFile) source->State.Progress.CurrentFile(source->Entry.Relative);
        if (!source->File.open(QIODevice::ReadOnly)) {
            zip_error_set(&source->Error, ZIP_ER_OPEN, 0);
            return -1;
        }
        return 0;
    case ZIP_SOURCE_READ: {
        TPackState& state = source->State;
        if (state.Canceled || (state.Progress.Proceed && !state.Progress.Proceed())) {
            state.Canceled = true;
            zip_error_set(&source->Error, ZIP_ER_CANCELLED, 0);
            return -1;
        }
        const qint64 read = source->File.read(static_cast<char*>(data), qMin<qint64>(qint64(length), kPiece));
        if (read < 0) {
            zip_error_set(&source->Error, ZIP_ER_READ, 0);
            return -1;
        }
        state.Done += read;
        const int percent = state.Total > 0 ? int(qMin<qint64>(100, state.Done * 100 / state.Total)) : 100;
        if (percent != state.LastPercent && state.Progress.Percent) state.Progress.Percent(percent);
        state.LastPercent = percent;
        return read;
    }
    case ZIP_SOURCE_CLOSE:
        source->File.close();
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = zip_uint64_t(source->Entry.Size);
        st->mtime = time_t(source->Entry.Modified.toSecsSinceEpoch());
        st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source->Error, data, length);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&source->Error);
        delete source; // the library owns the source from zip_file_add on
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&source->Error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// Every entry under root; links and unreadable files go to skipped.
QList<TEntry> ListFolder(const QString& root, QStringList* skipped) {
    QList<TEntry> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = base.relativeFilePath(info.filePath());
        if (info.isSymLink() || (!info.isDir() && !info.isFile())) {
            skipped->append(relative);
            continue;
        }
        if (info.isFile() && !QFile(info.filePath()).open(QIODevice::ReadOnly)) {
            skipped->append(relative);
            continue;
        }
        entries.append({info.filePath(), relative, info.isDir(), info.isDir() ? 0 : info.size(), info.permissions(),
                        info.lastModified()});
    }
    return entries;
}

QString ZipErrorText(zip_t* archive) { return QString::fromLocal8Bit(zip_strerror(archive)); }

} // namespace

QString ZipOpenErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromLocal8Bit(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

int CompressionLevel(int setting) { return setting >= 0 && setting <= 9 ? setting : 1; }

TPackResult PackFolder(const QString& folder, const QString& archivePath, int level, const TPackProgress& progress) {
    TPackResult result;
    const QFileInfo rootInfo(folder);
    if (!rootInfo.isDir()) {
        result.Error = QStringLiteral("not a folder: %1").arg(folder);
        return result;
    }
    const QList<TEntry> entries = ListFolder(rootInfo.absoluteFilePath(), &result.Skipped);
    TPackState state{progress};
    for (const TEntry& e : entries) state.Total += e.Size;

    int error = 0;
    QFile::remove(archivePath);
    zip_t* archive = zip_open(QFile::encodeName(archivePath).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        result.Error = ZipOpenErrorText(error);
        return result;
    }
    const zip_int32_t method = level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    for (const TEntry& e : entries) {
        const QByteArray name = e.Relative.toUtf8();
        zip_int64_t index = -1;
        if (e.Folder) {
            index = zip_dir_add(archive, name.constData(), ZIP_FL_ENC_UTF_8);
        } else {
            auto* source = new TFileSource{state, e, QFile(e.Path), {}}; // freed by ZIP_SOURCE_FREE
            zip_error_init(&source->Error);
            zip_source_t* zs = zip_source_function(archive, FileSourceCallback, source);
            if (!zs) {
                zip_error_fini(&source->Error);
                delete source;
                result.Error = ZipErrorText(archive);
                break;
            }
            index = zip_file_add(archive, name.constData(), zs, ZIP_FL_ENC_UTF_8);
            if (index < 0) {
                zip_source_free(zs);
            } else {
                zip_set_file_compression(archive, zip_uint64_t(index), method, zip_uint32_t(level));
            }
        }
        if (index < 0) {
            result.Error = ZipErrorText(archive);
            break;
        }
        const zip_uint32_t type = e.Folder ? kUnixFolder : kUnixFile;
        zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                         (type | UnixMode(e.Permissions)) << 16);
        zip_file_set_mtime(archive, zip_uint64_t(index), time_t(e.Modified.toSecsSinceEpoch()), 0);
    }
    // The library writes everything here, into a temporary file it renames at the end.
    if (!result.Error.isEmpty() || zip_close(archive) != 0) {
        if (result.Error.isEmpty()) result.Error = ZipErrorText(archive);
        zip_discard(archive);
        QFile::remove(archivePath);
        result.Canceled = state.Canceled;
        return result;
    }
    // An empty folder gives no archive file at all; it must still arrive as a folder.
    if (!QFileInfo::exists(archivePath)) {
        QFile empty(archivePath);
        static const char kEmptyZip[22] = {'P', 'K', 5, 6};
        if (!empty.open(QIODevice::WriteOnly) || empty.write(kEmptyZip, sizeof kEmptyZip) != sizeof kEmptyZip) {
            result.Error = empty.errorString();
            return result;
        }
    }
    result.Ok = true;
    result.ArchiveSize = QFileInfo(archivePath).size();
    if (progress.Percent && state.LastPercent != 100) progress.Percent(100);
    return result;
}

TFolderPackJob::TFolderPackJob(QStringList folders, QStringList archivePaths, int level, QObject* parent)
    : QObject(parent), FFolders(std::move(folders)), FArchivePaths(std::move(archivePaths)), FLevel(level) {}

TFolderPackJob::~TFolderPackJob() {
    Cancel();
    if (FThread) FThread->wait();
}

void TFolderPackJob::Start() {
    if (FThread) return;
    FThread.reset(QThread::create([this] { Run(); }));
    FThread->start();
}

void TFolderPackJob::Cancel() {
    FCancel = true;
    SetPaused(false);
}

void TFolderPackJob::SetPaused(bool paused) {
    QMutexLocker lock(&FPauseLock);
    FPaused = paused;
    if (!paused) FResumed.wakeAll();
}

bool TFolderPackJob::Proceed() {
    QMutexLocker lock(&FPauseLock);
    while (FPaused && !FCancel) FResumed.wait(&FPauseLock);
    return !FCancel;
}

void TFolderPackJob::Run() {
    // Results reach the main thread queued; this object outlives the thread (the destructor waits).
    const auto post = [this](auto f) { QMetaObject::invokeMethod(this, f, Qt::QueuedConnection); };
    TPackProgress progress;
    progress.CurrentFile = [&](const QString& path) { post([this, path] { emit CurrentFile(path); }); };
    progress.Percent = [&](int percent) { post([this, percent] { emit Percent(percent); }); };
    progress.Proceed = [this] { return Proceed(); };
    for (qsizetype i = 0; i < FFolders.size() && !FCancel; ++i) {
        post([this, i] { emit FolderStarted(int(i), FFolders[i]); });
        const TPackResult result = PackFolder(FFolders[i], FArchivePaths.value(i), FLevel, progress);
        post([this, i, result] { emit FolderDone(int(i), result); });
    }
    const bool canceled = FCancel;
    // A cancelled batch leaves nothing behind, finished archives included.
    if (canceled)
        for (const QString& path : FArchivePaths) QFile::remove(path);
    post([this, canceled] { emit Finished(canceled); });
}
