#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>

// Tells once in a while that a peer's traffic is being dropped for its rate or
// its share: the user hears of it once per source and reason, not once per
// datagram. Note() from any thread; Noticed is emitted on the object's thread.
class TIntakeNotices : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 DefaultQuietMs = 10 * 60 * 1000;
    static constexpr int MaxRemembered = 1024;

    explicit TIntakeNotices(qint64 quietMs = DefaultQuietMs, QObject* parent = nullptr);

    // reason: the counter's name ("broadcast-rate", "source-share").
    void Note(const QString& source, const QString& reason);

signals:
    void Noticed(const QString& source, const QString& reason);

private:
    const qint64 FQuietMs;
    QMutex FLock;
    QElapsedTimer FClock;
    QHash<QString, qint64> FLast; // source + reason -> when last told
};
