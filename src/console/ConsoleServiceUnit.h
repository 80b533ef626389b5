#pragma once

#include "console/ConsoleSendUnit.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <memory>

// What one console send asks for.
struct TConsoleJobRequest {
    QStringList Recipients;
    QString Sender;  // empty: this computer's name goes as the sender
    QString Text;
};

// How one recipient fared, with the text to show for it.
struct TConsoleRecipientResult {
    QString Recipient;
    TConsoleOutcome Outcome;
    QString ErrorText; // translated; empty when sent
};

// One send as the window that started it sees it. The service owns it and
// deletes it after JobFinished.
class TConsoleJob : public QObject {
    Q_OBJECT
public:
    TConsoleJob(quint64 id, QObject* parent) : QObject(parent), FId(id) {}
    quint64 Id() const { return FId; }

signals:
    // In the order the recipients finish, not the order given.
    void RecipientDone(int index, const TConsoleRecipientResult& result);
    void JobFinished(const QList<TConsoleRecipientResult>& results);

private:
    const quint64 FId;
};

// Console messages: each recipient is its own job on a worker, all at once,
// so one silent host delays nobody else; results come back per recipient on
// the service's thread as they arrive.
class TConsoleService : public QObject {
    Q_OBJECT
public:
    // languageId: the code page of the wire text and names; computerName: the
    // default sender and the calling name of the session.
    TConsoleService(int languageId, QString computerName, QObject* parent = nullptr);
    // Cancels running jobs and waits for them (each looks at the flag often).
    ~TConsoleService() override;

    TConsoleJob* StartSend(const TConsoleJobRequest& request);
    int RunningJobs() const { return FRunning; }

    // Tests and the CLI change where and how long.
    void SetNetwork(const TConsoleNetwork& network) { FNetwork = network; }
    void SetLimits(const TConsoleLimits& limits) { FLimits = limits; }
    const TConsoleNetwork& Network() const { return FNetwork; }
    const TConsoleLimits& Limits() const { return FLimits; }

signals:
    void RecipientDone(quint64 job, int index, const TConsoleRecipientResult& result);
    void JobFinished(quint64 job, const QList<TConsoleRecipientResult>& results);

private:
    int FLanguageId;
    QString FComputerName;
    TConsoleNetwork FNetwork;
    TConsoleLimits FLimits;
    quint64 FNextJob = 0;
    int FRunning = 0;
    std::shared_ptr<std::atomic<bool>> FCancel = std::make_shared<std::atomic<bool>>(false);
    QThreadPool FPool;
};

Q_DECLARE_METATYPE(TConsoleRecipientResult)
