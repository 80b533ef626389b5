#pragma once

// Memory figures of this process for the benchmarks (Linux /proc).
#include <QByteArray>
#include <QFile>
#include <cstring>

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"); 0 when unknown.
inline long StatusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field)) return line.mid(qsizetype(strlen(field))).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Starts VmHWM afresh from the present RSS (Linux 4.0 and later); false when
// the kernel does not take it.
inline bool ResetPeakRss() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}
