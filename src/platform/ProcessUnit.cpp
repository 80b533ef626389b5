#include "platform/ProcessUnit.h"

#include <QFile>

#include <cerrno>
#include <signal.h>

namespace Platform {

bool ProcessAlive(qint64 pid) {
    if (pid <= 0) return false;
    if (::kill(pid_t(pid), 0) != 0 && errno != EPERM) return false;
    // A process that ended but was not yet reaped shows "Z" as its state.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

} // namespace Platform
