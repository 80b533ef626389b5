#include "update/UpdateServiceUnit.h"

#include "core/EventRouterUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "protocol/DatagramDispatchUnit.h"
#include "protocol/SourceRateUnit.h"
#include "text/MsgLangUnit.h"
#include "update/UpdateCodecUnit.h"
#include "update/UpdateManifestUnit.h"
#include "update/UpdateNamesUnit.h"
#include "update/UpdateOfferUnit.h"
#include "update/UpdateVersionUnit.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString kUpdateIni = QStringLiteral("Update.ini");
} // namespace

TUpdateService::TUpdateService(const TCommClient& client, const TCommLocal& local, const TMessageLang& lang,
                               QObject* parent)
    : QObject(parent), FClient(client), FLocal(local), FLang(lang) {
    FRate = std::make_shared<TSourceRate>(FLimits.QuestionsPerSecond, FLimits.QuestionBurst);
    FPushPool.setMaxThreadCount(FLimits.MaxPushes);
    FFetchTimer.setSingleShot(true);
    connect(&FFetchTimer, &QTimer::timeout, this, [this] {
        {
            QMutexLocker lock(&FLock);
            // Taken meanwhile: the stream's own end will tell.
            if (!FExpect) return;
            FExpect.reset();
        }
        emit FilesDone(TUpdateFilesDone{});
    });
}

TUpdateService::~TUpdateService() { FPushPool.waitForDone(); }

void TUpdateService::SetLimits(const TUpdateLimits& limits) {
    QMutexLocker lock(&FLock);
    FLimits = limits;
    FRate = std::make_shared<TSourceRate>(limits.QuestionsPerSecond, limits.QuestionBurst);
    FPushPool.setMaxThreadCount(limits.MaxPushes);
}

void TUpdateService::SetDiskGuard(const TDiskGuard& guard) {
    QMutexLocker lock(&FLock);
    FGuard = guard;
}

void TUpdateService::SetAnswerIdentity(const QString& nickName, const QString& computerName) {
    QMutexLocker lock(&FLock);
    FNickName = nickName;
    FComputerName = computerName;
}

const QString& TUpdateService::Version() const { return FLocal.VersionText(); }

QString TUpdateService::UpdateFolder() const { return FLocal.ProgramFolder() + QStringLiteral("UPDATE/"); }

bool TUpdateService::PrepareUpdateFolder() const {
    const QString folder = UpdateFolder();
    QDir dir(folder);
    const QFileInfo info(QDir::cleanPath(folder));
    // A link in its place goes, never what it points to.
    if (info.isSymLink() && !QFile::remove(info.absoluteFilePath())) return false;
    if (dir.exists() && !dir.removeRecursively()) return false;
    return QDir().mkpath(folder);
}

QStringList TUpdateService::OfferFor(const QString& peerVersion) const {
    QStringList files = FLocal.GetUpdateFileList(peerVersion).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    if (files.isEmpty()) return files;
    const QString sig = QString::fromLatin1(UpdateSignatureFile);
    // The signature travels with the files it vouches for.
    if (QFileInfo::exists(FLocal.ProgramFolder() + sig) && !files.contains(sig, Qt::CaseInsensitive))
        files.insert(files.size() - 1, sig);
    return files;
}

TUpdateCounts TUpdateService::Counts() const {
    TUpdateCounts c;
    c.StreamsRefused = FStreamsRefused.load();
    c.RequestsRefused = FRequestsRefused.load();
    c.NamesRefused = FNamesRefused.load();
    QMutexLocker lock(&FLock);
    c.QuestionsDropped = FRate->Dropped();
    return c;
}

bool TUpdateService::StartCheck(const QString& computerName, const QString& userId) {
    FAnswered.clear();
    FChecking = true;
    if (Version().isEmpty()) return false;
    return FClient.SendToAll(EncodeCheckNewVersion(computerName, Version(), userId));
}

void TUpdateService::EndCheck() {
    FChecking = false;
    FAnswered.clear();
}

bool TUpdateService::Fetching() const {
    QMutexLocker lock(&FLock);
    return FExpect && !FExpect->Deadline.hasExpired();
}

bool TUpdateService::FetchFrom(const TUpdateAnswer& answer, const QString& computerName) {
    if (!PrepareUpdateFolder()) return false;
    TExpectation ex;
    ex.Source = answer.IPAddress;
    ex.Stream.Folder = UpdateFolder();
    ex.Stream.LanguageId = answer.LanguageId;
    for (const QString& file : answer.Files) {
        QString normal;
        if (UpdateNames::Normalise(file, &normal)) ex.Stream.Names.insert(normal);
    }
    int waitMs = 0;
    {
        QMutexLocker lock(&FLock);
        ex.Stream.MaxBytes = FLimits.MaxFetchBytes;
        ex.Stream.Guard = FGuard;
        waitMs = FLimits.FetchWaitMs;
        ex.Deadline = QDeadlineTimer(waitMs);
        FExpect = ex;
    }
    FFetchTimer.start(waitMs);
    // Always to the address the answer came from.
    if (FClient.SendToPeer(answer.IPAddress, EncodeUpdateFilesRequest(computerName, answer.RawFiles))) return true;
    QMutexLocker lock(&FLock);
    FExpect.reset();
    FFetchTimer.stop();
    return false;
}

std::optional<TUpdateService::TExpectation> TUpdateService::TakeExpectation(const QString& source) {
    QMutexLocker lock(&FLock);
    if (!FExpect || FExpect->Deadline.hasExpired() || FExpect->Source != source) return std::nullopt;
    std::optional<TExpectation> taken = std::move(FExpect);
    FExpect.reset();
    return taken;
}

void TUpdateService::RegisterEvents(TEventRouter& router) {
    router.Register<TBroadcastData>(WM_UPDATE_PEERREPLY, [this](qintptr, TBroadcastData reply) {
        if (!FChecking) return;
        QMutexLocker lock(&FLock);
        const int maxAnswers = FLimits.MaxAnswersPerCheck;
        lock.unlock();
        if (FAnswered.contains(reply.IPAddress) || FAnswered.size() >= maxAnswers) return;
        const QString version = QString::fromLatin1(reply.Summary);
        // Only a newer node has anything for us.
        if (!IsNewerVersion(version, Version())) return;
        TUpdateAnswer answer;
        answer.NickName = reply.NickName;
        answer.ComputerName = reply.ComputerName;
        answer.IPAddress = reply.IPAddress;
        answer.Version = version;
        answer.RawFiles = reply.Body;
        answer.LanguageId = reply.LanguageId;
        for (const QByteArray& line : SplitFileList(reply.Body)) answer.Files << TMessageLang::Decode(reply.LanguageId, line);
        if (answer.Files.isEmpty()) return;
        FAnswered.insert(reply.IPAddress);
        emit AnswerArrived(answer);
    });
    router.Register<TUpdateFileNotify>(WM_UPDATE_FILERECEIVED,
                                       [this](qintptr, TUpdateFileNotify notify) { emit FileReceived(notify.FileName); });
    router.Register<TUpdateFilesDone>(WM_UPDATE_FILESDONE, [this](qintptr, TUpdateFilesDone done) {
        FFetchTimer.stop();
        emit FilesDone(done);
    });
}

void TUpdateService::Answer(const TEnvelope& e, const QString& source, const TCommClient& replies) {
    const std::optional<TVersionQuestion> q = DecodeCheckNewVersion(e);
    if (!q) return;
    QString nick, computer;
    std::shared_ptr<TSourceRate> rate;
    {
        QMutexLocker lock(&FLock);
        nick = FNickName;
        computer = FComputerName;
        rate = FRate;
    }
    // Never our own question, even looped back.
    const bool own = q->ProtocolVersion == 1 ? q->ComputerName.compare(computer, Qt::CaseInsensitive) == 0
                                             : q->UserId.compare(FUserId, Qt::CaseInsensitive) == 0;
    if (own || Version().isEmpty() || !rate->Allow(source)) return;
    if (!IsNewerVersion(Version(), q->Version)) return;
    const QStringList files = OfferFor(q->Version);
    if (files.isEmpty()) return;
    {
        QMutexLocker lock(&FLock);
        if (!FOffers.contains(source) && FOffers.size() >= FLimits.MaxOfferSources) {
            for (auto it = FOffers.begin(); it != FOffers.end();)
                it = it->Expires.hasExpired() ? FOffers.erase(it) : std::next(it);
            // Too many nodes asking at once: the rest get no answer now.
            if (FOffers.size() >= FLimits.MaxOfferSources) return;
        }
        FOffers.insert(source, TOfferMemory{files, QDeadlineTimer(FLimits.OfferMemoryMs)});
    }
    replies.SendToPeer(source, EncodeReplyCheckNewVersion(nick, computer, Version(), files, FLang));
    QMetaObject::invokeMethod(this, [this, source, version = q->Version, n = int(files.size())] {
        emit QuestionAnswered(source, version, n);
    }, Qt::QueuedConnection);
}

void TUpdateService::ServeRequest(const TEnvelope& e, const QString& source, const TCommClient& replies) {
    const TUpdateFilesRequest request = DecodeUpdateFilesRequest(e);
    TUpdatePushPlan plan;
    QStringList offered;
    {
        QMutexLocker lock(&FLock);
        if (!FRate->Allow(source)) return;
        const auto it = FOffers.constFind(source);
        // Files go only to a node we answered, lately, one stream at a time.
        if (it == FOffers.cend() || it->Expires.hasExpired() || FPushing.contains(source) ||
            FPushing.size() >= FLimits.MaxPushes) {
            ++FRequestsRefused;
            return;
        }
        offered = it->Files;
        FPushing.insert(source);
        plan.ConnectTimeoutMs = FLimits.PushConnectMs;
        plan.StallTimeoutMs = FLimits.PushStallMs;
    }
    const TOfferSelection selection = SelectOfferedFiles(request.Files, offered, FLocal.ProgramFolder(), FLang.LanguageId());
    FNamesRefused += quint64(selection.Refused.size());
    const TTransportConfig config = replies.Config();
    plan.Host = source;
    plan.Port = config.Port;
    plan.Resolver = config.Resolver;
    plan.Files = selection.Files;
    QStringList sent;
    for (const TOfferedFile& f : selection.Files) sent << f.Name;
    FPushPool.start([this, plan, source, sent, refused = selection.Refused] {
        const TUpdatePushResult result = PushUpdateFiles(plan);
        {
            QMutexLocker lock(&FLock);
            FPushing.remove(source);
        }
        QMetaObject::invokeMethod(this, [this, source, sent, refused, error = result.Error] {
            emit FilesPushed(source, sent, refused, error);
        }, Qt::QueuedConnection);
    });
}

void TUpdateService::RegisterListener(TDatagramDispatcher& dispatcher, TCommServer& server,
                                      const TCommClient& listenerClient, TEventRouter& router, const QString& userId,
                                      const QString& computerName) {
    FUserId = userId;
    {
        QMutexLocker lock(&FLock);
        FComputerName = computerName;
    }
    const TCommClient* replies = &listenerClient;
    dispatcher.Register(MessageType::CheckNewVersion,
                        [this, replies](const TDatagramContext& c) { Answer(c.Envelope, c.SourceAddress, *replies); });
    dispatcher.Register(MessageType::UpdateFilesTransferRequest,
                        [this, replies](const TDatagramContext& c) { ServeRequest(c.Envelope, c.SourceAddress, *replies); });
    TEventRouter* events = &router;
    dispatcher.Register(MessageType::ReplyCheckNewVersion, [this, events](const TDatagramContext& c) {
        // Nobody is asking: nothing to hold.
        if (!FChecking) return;
        std::optional<TBroadcastData> reply = DecodeReplyCheckNewVersion(c.Envelope, FLang);
        if (!reply) return;
        reply->IPAddress = c.SourceAddress;
        events->PostFrom(c.SourceAddress, WM_UPDATE_PEERREPLY, 0, 0, std::move(*reply));
    });
    server.RegisterRequest(MessageType::TransUpdateFile, [this, events](TRequestContext& c) {
        std::optional<TExpectation> expected = TakeExpectation(c.PeerAddress);
        if (!expected) {
            ++FStreamsRefused;
            c.Refused = true;
            QMetaObject::invokeMethod(this, [this, source = c.PeerAddress] { emit StreamRefused(source); },
                                      Qt::QueuedConnection);
            return;
        }
        const TUpdateReceiveResult result =
            ReceiveUpdateFiles(c.Reader, expected->Stream, c.StallMs, [events](const QString& name, qint64) {
                events->Post(WM_UPDATE_FILERECEIVED, 0, 0, TUpdateFileNotify{name});
            });
        if (result.End == TUpdateStreamEnd::NotOffered) {
            ++FStreamsRefused;
            c.Refused = true;
        }
        events->Post(WM_UPDATE_FILESDONE, 0, qintptr(result.Stored.size()),
                     TUpdateFilesDone{int(result.Stored.size()), result.End, result.Stored, result.Offending});
    });
}
