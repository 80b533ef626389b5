#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QMutex>
#include <QWaitCondition>
#include <atomic>
#include <functional>
#include <memory>

// What the packer reports while it writes an archive; called on its thread.
struct TPackProgress {
    std::function<void(const QString& relativePath)> CurrentFile;
    std::function<void(int percent)> Percent; // of the archive's bytes read so far
    // Asked between pieces of every file; false stops the archive (cancel).
    // It may block, which holds the packing (a question on screen).
    std::function<bool()> Proceed;
};

struct TPackResult {
    bool Ok = false;
    bool Canceled = false;
    QString Error;       // the library's or the system's text
    QStringList Skipped; // relative paths left out: unreadable files, symbolic links
    qint64 ArchiveSize = 0;
};

// The ZIP library's text for the error code zip_open gave.
QString ZipOpenErrorText(int code);

// The setting CompressionRatio as a deflate level: 0 stores, a value outside 0..9 reads as 1.
int CompressionLevel(int setting);

// Packs folder (recursively, hidden files and empty folders included, paths
// relative to the folder in UTF-8) into archivePath with the deflate level
// (0: stored). Symbolic links are not followed: a link could lead anywhere.
// On failure or cancel no archive is left.
TPackResult PackFolder(const QString& folder, const QString& archivePath, int level, const TPackProgress& progress);

// Packs a batch of folders on a thread of its own and reports to the main
// thread. Cancel stops it and deletes every archive of the batch; deleting the
// job cancels and waits.
class TFolderPackJob : public QObject {
    Q_OBJECT
public:
    TFolderPackJob(QStringList folders, QStringList archivePaths, int level, QObject* parent = nullptr);
    ~TFolderPackJob() override;

    void Start();
    void Cancel();
    // Holds the packing while the user is asked whether to stop (no progress meanwhile).
    void SetPaused(bool paused);
    const QStringList& ArchivePaths() const { return FArchivePaths; }

signals:
    void FolderStarted(int index, const QString& folder);
    void CurrentFile(const QString& relativePath);
    void Percent(int percent);
    void FolderDone(int index, const TPackResult& result);
    // After the last folder, or after a cancel (the archives are gone then).
    void Finished(bool canceled);

private:
    void Run();
    bool Proceed();

    const QStringList FFolders;
    const QStringList FArchivePaths;
    const int FLevel;
    std::unique_ptr<QThread> FThread;
    std::atomic<bool> FCancel{false};
    QMutex FPauseLock;
    QWaitCondition FResumed;
    bool FPaused = false;
};
