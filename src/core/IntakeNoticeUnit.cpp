#include "core/IntakeNoticeUnit.h"

#include <QMutexLocker>

TIntakeNotices::TIntakeNotices(qint64 quietMs, QObject* parent) : QObject(parent), FQuietMs(quietMs) { FClock.start(); }

void TIntakeNotices::Note(const QString& source, const QString& reason) {
    const QString key = source + QLatin1Char('\n') + reason;
    {
        QMutexLocker lock(&FLock);
        const qint64 now = FClock.elapsed();
        const auto it = FLast.constFind(key);
        if (it != FLast.cend() && now - *it < FQuietMs) return;
        if (it == FLast.cend() && FLast.size() >= MaxRemembered) {
            FLast.removeIf([&](const auto& entry) { return now - entry.value() >= FQuietMs; });
            // Too many sources at once to tell apart: their counters still say it.
            if (FLast.size() >= MaxRemembered) return;
        }
        FLast[key] = now;
    }
    QMetaObject::invokeMethod(this, [this, source, reason] { emit Noticed(source, reason); }, Qt::QueuedConnection);
}
