#pragma once

#include "protocol/CommClientUnit.h"
#include "protocol/CommConstsUnit.h"
#include "transfer/FileNamesUnit.h"
#include "update/UpdateReceiveUnit.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <memory>
#include <optional>

class TCommLocal;
class TCommServer;
class TDatagramDispatcher;
class TEventRouter;
class TMessageLang;
class TSourceRate;

// One answer to our check: a newer node and the files it offers us.
struct TUpdateAnswer {
    QString NickName;
    QString ComputerName;
    QString IPAddress;
    QString Version;
    QStringList Files;   // decoded, as listed
    QByteArray RawFiles; // as received: the request sends them back unchanged
    qint16 LanguageId = 0;
};

// The record of WM_UPDATE_FILESDONE: how the stream we asked for ended.
struct TUpdateFilesDone {
    int Count = 0;
    TUpdateStreamEnd End = TUpdateStreamEnd::Broken;
    QStringList Stored;
    QString Offending;
};

// Bounds of both sides; tests shorten the times.
struct TUpdateLimits {
    int FetchWaitMs = 60 * 1000;           // our request's stream must begin within this
    qint64 MaxFetchBytes = 512ll * 1024 * 1024;
    int MaxAnswersPerCheck = 64;
    int OfferMemoryMs = 10 * 60 * 1000;    // a node we answered may ask for the files this long
    int MaxOfferSources = 256;
    int MaxPushes = 2;                     // streams we send at once, one per requester
    double QuestionsPerSecond = 1;         // per source, checks and requests each
    int QuestionBurst = 5;
    int PushConnectMs = 15 * 1000;
    int PushStallMs = 60 * 1000;
};

// Counted refusals (the CLI's counters).
struct TUpdateCounts {
    quint64 StreamsRefused = 0;   // "QLM_TRANSUPDATEFILE" nobody asked for (or too late, or from another node)
    quint64 RequestsRefused = 0;  // requests from a node we never answered, or beyond the pushes allowed
    quint64 NamesRefused = 0;     // asked-for names not offered, unsafe or missing
    quint64 QuestionsDropped = 0; // checks and requests beyond the rate of a source
};

// Version check and update files, both sides. The asking side sends the check,
// takes the answers of newer nodes while a check is open, asks the chosen
// node for its files and stores that node's stream (only that one, once, in
// time) into UPDATE. The answering side answers checks from Update.ini and
// sends a node that it answered only the files it offered it.
class TUpdateService : public QObject {
    Q_OBJECT
public:
    // local: this node's version and program folder (Update.ini, UPDATE).
    TUpdateService(const TCommClient& client, const TCommLocal& local, const TMessageLang& lang,
                   QObject* parent = nullptr);
    ~TUpdateService() override;

    void RegisterEvents(TEventRouter& router);
    // listenerClient answers from the receiver's thread; userId, computerName: our own.
    void RegisterListener(TDatagramDispatcher& dispatcher, TCommServer& server, const TCommClient& listenerClient,
                          TEventRouter& router, const QString& userId, const QString& computerName);
    void SetLimits(const TUpdateLimits& limits);
    // What the answers say about us; before listening starts and when the nickname changes.
    void SetAnswerIdentity(const QString& nickName, const QString& computerName);
    void SetDiskGuard(const TDiskGuard& guard);

    const QString& Version() const;
    // program folder + "UPDATE/".
    QString UpdateFolder() const;
    // Empties UPDATE (removed with all in it, made again); false when it could not be removed.
    bool PrepareUpdateFolder() const;

    // Sends "QLM_CHECKNEWVERSION" and takes answers until the next check or
    // EndCheck. False when there is no own version or nothing went out.
    bool StartCheck(const QString& computerName, const QString& userId);
    void EndCheck();
    bool Checking() const { return FChecking; }

    // Asks answer's node for its files (UPDATE is prepared first): its stream
    // is taken within FetchWaitMs. False when the request did not go out or
    // UPDATE could not be prepared.
    bool FetchFrom(const TUpdateAnswer& answer, const QString& computerName);
    bool Fetching() const;
    // The offer list for a peer running peerVersion: Update.ini's files, with
    // the signature file before Update.ini when there is one.
    QStringList OfferFor(const QString& peerVersion) const;

    TUpdateCounts Counts() const;

signals:
    void AnswerArrived(const TUpdateAnswer& answer);
    void FileReceived(const QString& name);
    void FilesDone(const TUpdateFilesDone& done);
    // A stream came that we did not ask for (it was refused and counted).
    void StreamRefused(const QString& source);
    // We sent a node its files (answering side).
    void FilesPushed(const QString& requester, const QStringList& sent, const QStringList& refused, const QString& error);
    void QuestionAnswered(const QString& asker, const QString& version, int files);

private:
    struct TOfferMemory {
        QStringList Files;
        QDeadlineTimer Expires;
    };
    struct TExpectation {
        QString Source;
        TUpdateExpectation Stream;
        QDeadlineTimer Deadline;
    };
    void Answer(const class TEnvelope& e, const QString& source, const TCommClient& replies);
    void ServeRequest(const class TEnvelope& e, const QString& source, const TCommClient& replies);
    std::optional<TExpectation> TakeExpectation(const QString& source);

    const TCommClient& FClient;
    const TCommLocal& FLocal;
    const TMessageLang& FLang;
    QString FUserId, FComputerName, FNickName; // FNickName and FComputerName under FLock
    std::atomic<bool> FChecking{false};
    QSet<QString> FAnswered; // sources that answered the open check
    mutable QMutex FLock;    // guards what the listener threads share below
    TUpdateLimits FLimits;
    TDiskGuard FGuard;
    QHash<QString, TOfferMemory> FOffers;
    std::optional<TExpectation> FExpect;
    QSet<QString> FPushing;
    std::shared_ptr<TSourceRate> FRate;
    QThreadPool FPushPool;
    QTimer FFetchTimer; // a stream that never begins ends the fetch
    std::atomic<quint64> FStreamsRefused{0}, FRequestsRefused{0}, FNamesRefused{0};
};
