#include "transfer/OutgoingTransferUnit.h"

#include "core/PostedEventUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "text/MsgLangUnit.h"
#include "transfer/FileCodecUnit.h"
#include "transfer/TransferServiceUnit.h"

#include <QFileInfo>

namespace {

// Hands the sending thread's news to the main thread's object, queued.
class TQueuedObserver final : public TSendObserver {
public:
    TQueuedObserver(TOutgoingTransfer* target, QList<qint64>* sizes) : FTarget(target), FSizes(sizes) {}
    void FileBegin(int index, qint64 size) override {
        Post([t = FTarget, s = FSizes, index, size] {
            (*s)[index] = size;
            emit t->FileBegin(index, size);
        });
    }
    void Progress(int index, qint64 done) override {
        Post([t = FTarget, s = FSizes, index, done] { emit t->Progress(index, done, s->value(index)); });
    }
    void FileDone(int index, const TFileOutcome& outcome) override {
        Post([t = FTarget, index, outcome] { emit t->FileDone(index, outcome); });
    }

private:
    template <typename F> void Post(F f) { QMetaObject::invokeMethod(FTarget, std::move(f), Qt::QueuedConnection); }
    TOutgoingTransfer* FTarget;
    QList<qint64>* FSizes;
};

} // namespace

TOutgoingTransfer::TOutgoingTransfer(TTransferService& service, TRecipient consignee, QList<TSendRow> rows)
    : FService(service), FConsignee(std::move(consignee)), FRows(std::move(rows)), FSizes(FRows.size(), 0) {
    FHandle = FService.Handles().Allocate(this);
}

TOutgoingTransfer::~TOutgoingTransfer() {
    if (FThread) {
        FControl.Abort();
        FThread->wait();
    }
    FService.Handles().Release(FHandle);
}

bool TOutgoingTransfer::Offer() {
    FPeerHandle = 0;
    FResult = TSendResult();
    const bool sent = FService.Client().SendToPeer(
        PeerHost(FConsignee.IPAddress, FConsignee.ComputerName), EncodeFileRequest(FService.Client().Identity(), FHandle, FService.Lang(), DescribeRows(FRows)));
    FState = sent ? tsWaiting : tsComposing;
    return sent;
}

bool TOutgoingTransfer::Withdraw() {
    if (FState != tsWaiting) {
        FState = tsComposing;
        return false;
    }
    FState = tsComposing;
    return FService.Client().SendToPeer(
        PeerHost(FConsignee.IPAddress, FConsignee.ComputerName),
        EncodeFileRequestCanceled(FService.Client().Identity(), FHandle, FPeerHandle, FService.Lang()));
}

void TOutgoingTransfer::Start() {
    if (IsRunning()) return;
    if (FThread) FThread->wait();
    FState = tsTransferring;
    TSendPlan plan;
    plan.Host = PeerHost(FConsignee.IPAddress, FConsignee.ComputerName);
    const TTransportConfig config = FService.Client().Config();
    plan.Port = config.Port;
    plan.Resolver = config.Resolver;
    plan.Self = FService.Client().Identity();
    if (plan.Self.LanguageId == 0) plan.Self.LanguageId = FService.Lang().LanguageId();
    plan.PeerHandle = FPeerHandle;
    plan.Rows = FRows;
    FSizes.fill(0, FRows.size());
    FThread.reset(QThread::create([this, plan] {
        TQueuedObserver observer(this, &FSizes);
        const TSendResult result = SendFiles(plan, FControl, &observer);
        QMetaObject::invokeMethod(this, [this, result] { StreamEnded(result); }, Qt::QueuedConnection);
    }));
    FThread->start();
}

void TOutgoingTransfer::Stop() { FControl.Stop(); }

void TOutgoingTransfer::Abort() { FControl.Abort(); }

void TOutgoingTransfer::StreamEnded(const TSendResult& result) {
    if (FThread) FThread->wait();
    FResult = result;
    FState = tsFinished;
    if (FResult.Success()) emit FService.BatchSent(FConsignee, SentLines());
    emit Finished(FResult);
}

QStringList TOutgoingTransfer::SentLines() const {
    QStringList lines;
    for (qsizetype i = 0; i < FRows.size() && i < FResult.Files.size(); ++i) {
        if (FResult.Files[i].Kind != TFileOutcomeKind::Sent || FResult.Canceled) continue;
        const TSendRow& row = FRows[i];
        lines << (row.IsArchive ? QStringLiteral("<Folder>%1").arg(row.SourceFolder)
                                : QStringLiteral("<File>%1").arg(row.Path));
    }
    return lines;
}

bool TOutgoingTransfer::event(QEvent* e) {
    if (!TPostedEvent::IsPosted(e)) return QObject::event(e);
    auto& posted = static_cast<TPostedEvent&>(*e);
    if (posted.Id() == WM_FILE_PEERHANDLE) {
        if (std::unique_ptr<qint32> value = posted.TakeRecord<qint32>()) {
            FPeerHandle = *value;
            emit PeerHandleArrived(FPeerHandle);
        }
        return true;
    }
    if (posted.Id() == WM_FILE_REPLY) {
        std::unique_ptr<TBroadcastData> reply = posted.TakeRecord<TBroadcastData>();
        // Only the answer to an offer still waiting counts; a late or repeated one changes nothing.
        if (!reply || FState != tsWaiting) return true;
        FState = reply->Accepted ? tsTransferring : tsDeclined;
        emit Replied(reply->Accepted, FService.Lang().ConvertIncomingText(reply->LanguageId, reply->Body));
        return true;
    }
    return QObject::event(e);
}
