#include "platform/FileLockUnit.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Platform {

TFileLock::TFileLock(QString path) : FPath(std::move(path)) {}

TFileLock::~TFileLock() {
    if (FHandle >= 0) ::close(FHandle);
}

bool TFileLock::Open() {
    if (FHandle >= 0) return true;
    FHandle = ::open(QFile::encodeName(FPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FHandle < 0) FError = QString::fromLocal8Bit(std::strerror(errno));
    return FHandle >= 0;
}

bool TFileLock::LockShared() {
    if (!Open()) return false;
    int result;
    do result = ::flock(FHandle, LOCK_SH);
    while (result != 0 && errno == EINTR);
    if (result != 0) FError = QString::fromLocal8Bit(std::strerror(errno));
    FShared = result == 0;
    return FShared;
}

bool TFileLock::TryLockExclusive(int timeoutMs) {
    if (!Open()) return false;
    const QDeadlineTimer deadline(timeoutMs);
    int pauseMs = 5;
    for (;;) {
        if (::flock(FHandle, LOCK_EX | LOCK_NB) == 0) {
            FShared = false;
            return true;
        }
        const int error = errno;
        if ((error != EWOULDBLOCK && error != EINTR) || deadline.hasExpired()) {
            FError = QString::fromLocal8Bit(std::strerror(error));
            // A failed conversion may have dropped the shared lock: take it again.
            if (FShared) LockShared();
            return false;
        }
        // Another handle's reader is usually done within milliseconds.
        QThread::msleep(qMin<qint64>(pauseMs, qMax<qint64>(1, deadline.remainingTime())));
        pauseMs = qMin(pauseMs * 2, 100);
    }
}

void TFileLock::Unlock() {
    if (FHandle >= 0) ::flock(FHandle, LOCK_UN);
    FShared = false;
}

} // namespace Platform
