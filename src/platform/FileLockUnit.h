#pragma once

#include <QString>

// An advisory lock on a file that processes share: many holders of the shared
// lock, or one of the exclusive lock. It stays with the open handle and goes
// when the object (or the process) goes.
namespace Platform {

class TFileLock {
public:
    // The file is created (readable by the user alone) when missing.
    explicit TFileLock(QString path);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    // Waits while another handle holds the exclusive lock.
    bool LockShared();
    // Tries until timeoutMs has passed; a shared lock held here is converted.
    // False when other handles keep theirs.
    bool TryLockExclusive(int timeoutMs);
    void Unlock();
    const QString& ErrorString() const { return FError; }

private:
    bool Open();

    QString FPath;
    QString FError;
    int FHandle = -1;
    bool FShared = false;
};

} // namespace Platform
