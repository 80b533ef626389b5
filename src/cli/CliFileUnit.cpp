#include "cli/CliFileUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "node/NodeUnit.h"
#include "platform/NetworkPolicyUnit.h"
#include "platform/SignalsUnit.h"
#include "platform/TerminalUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/CommServerUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"
#include "transfer/CompressThreadUnit.h"
#include "transfer/SendBatchUnit.h"
#include "transfer/OutgoingTransferUnit.h"
#include "transfer/TransferServiceUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <utility>

namespace {

QString HexId(int id) { return QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0')); }

QJsonObject NotifyJson(int id, const TOnlineNotify& r) {
    return {{QStringLiteral("event"), CommEventName(id)},       {QStringLiteral("id"), HexId(id)},
            {QStringLiteral("SenderHandle"), r.SenderHandle},   {QStringLiteral("ReceiverHandle"), r.ReceiverHandle},
            {QStringLiteral("OnlineState"), r.OnlineState},     {QStringLiteral("NickName"), r.NickName},
            {QStringLiteral("ComputerName"), r.ComputerName},   {QStringLiteral("IPAddress"), r.IPAddress},
            {QStringLiteral("UserId"), r.UserId}};
}

// The offer with what a Quillmate sender said is coming (0 and [] when it did not say).
QJsonObject OfferJson(const TOnlineNotify& offer) {
    QJsonObject o = NotifyJson(WM_PEER_FILEREQUEST, offer);
    o.insert(QStringLiteral("OfferedFiles"), offer.Offered.Files);
    o.insert(QStringLiteral("OfferedBytes"), offer.Offered.Bytes);
    o.insert(QStringLiteral("OfferedNames"), QJsonArray::fromStringList(offer.Offered.Names));
    return o;
}

QJsonObject DataJson(int id, const TBroadcastData& d) {
    return {{QStringLiteral("event"), CommEventName(id)},
            {QStringLiteral("id"), HexId(id)},
            {QStringLiteral("RequestHandle"), d.RequestHandle},
            {QStringLiteral("Accepted"), d.Accepted},
            {QStringLiteral("NickName"), d.NickName},
            {QStringLiteral("ComputerName"), d.ComputerName},
            {QStringLiteral("IPAddress"), d.IPAddress},
            {QStringLiteral("Summary"), TMessageLang::Decode(d.LanguageId, d.Summary)},
            // A refusal's reason is shown converted, as the request window shows it.
            {QStringLiteral("Body"), id == WM_PEER_FILEREPLY ? TMessageLang::Instance().ConvertIncomingText(d.LanguageId, d.Body)
                                                             : TMessageLang::Decode(d.LanguageId, d.Body)},
            {QStringLiteral("LanguageId"), d.LanguageId},
            {QStringLiteral("ReceivedTime"), d.ReceivedTime},
            {QStringLiteral("UserId"), d.UserId}};
}

QJsonObject ArrivalJson(int id, const TFilesArrival& a) {
    QJsonObject o = DataJson(id, a.Data);
    QJsonArray failed;
    for (const TFileFailure& f : a.Failed)
        failed.append(QJsonObject{{QStringLiteral("Name"), f.Name}, {QStringLiteral("Reason"), f.Reason}});
    o.insert(QStringLiteral("Folder"), a.SenderFolder);
    o.insert(QStringLiteral("ReceivedNames"), QJsonArray::fromStringList(a.ReceivedNames));
    o.insert(QStringLiteral("Failed"), failed);
    o.insert(QStringLiteral("Complete"), a.Complete);
    if (id == WM_FILE_TERMINATED) o.insert(QStringLiteral("StoppedHere"), a.StoppedHere);
    return o;
}

QString ArrivalPlain(int id, const TFilesArrival& a) {
    QStringList failed;
    for (const TFileFailure& f : a.Failed) failed << f.Name + QStringLiteral(": ") + f.Reason;
    return QStringLiteral("%1 %2 %3 %4 folder=%5 names=%6%7%8")
        .arg(CommEventName(id), HexId(id), a.Data.NickName, a.Data.IPAddress, a.SenderFolder,
             a.ReceivedNames.join(QLatin1Char('|')), a.Complete ? QString() : QStringLiteral(" incomplete"),
             failed.isEmpty() ? QString() : QStringLiteral(" failed=") + failed.join(QLatin1Char('|')));
}

} // namespace

void TakeFileOptions(QStringList& args, TCliFileOptions* options) {
    options->NoAutoFiles = args.removeAll(QStringLiteral("--no-auto-files")) > 0;
    options->AcceptFiles = args.removeAll(QStringLiteral("--accept-files")) > 0;
}

TCliFileListen::TCliFileListen(TTransferService& service, TCliFileOptions options, TPrint print)
    : FService(service), FPrint(std::move(print)) {
    if (options.NoAutoFiles) Params()[bpAutoFileTrans] = false; // this run only, never saved
    service.RefreshListenerSettings();
    FClock.start();
    FStopWait.setSingleShot(true);
    connect(&FStopWait, &QTimer::timeout, this, [this] {
        FStopping.clear();
        if (auto done = std::exchange(FStopped, {})) done();
    });
    connect(&service, &TTransferService::OfferArrived, this, [&service, options, this](const TOnlineNotify& offer) {
        QString plain = QStringLiteral("WM_PEER_FILEREQUEST %1 %2 %3 handle=%4")
                            .arg(HexId(WM_PEER_FILEREQUEST), offer.NickName, offer.IPAddress)
                            .arg(offer.SenderHandle);
        if (offer.Offered.Files > 0)
            plain += QStringLiteral(" files=%1 bytes=%2 names=%3")
                         .arg(offer.Offered.Files)
                         .arg(offer.Offered.Bytes)
                         .arg(offer.Offered.Names.join(QLatin1Char('|')));
        FPrint(OfferJson(offer), plain);
        // As a receive dialog would: its handle first, then the answer.
        auto* dialog = new QObject(this);
        const qint32 own = service.Handles().Allocate(dialog);
        service.SendDialogHandle(offer, own);
        service.AnswerOffer(offer, own, options.AcceptFiles);
        // The handle the stream must name, which receive-progress and receive-stop name too.
        FPrint({{QStringLiteral("event"), QStringLiteral("file-answer")}, {QStringLiteral("handle"), own},
                {QStringLiteral("SenderHandle"), offer.SenderHandle}, {QStringLiteral("accepted"), options.AcceptFiles}},
               QStringLiteral("file-answer handle=%1 sender-handle=%2 %3")
                   .arg(own)
                   .arg(offer.SenderHandle)
                   .arg(options.AcceptFiles ? QStringLiteral("accepted") : QStringLiteral("declined")));
        if (options.AcceptFiles) FAccepted.insert(own);
        else delete dialog;
    });
    connect(&service, &TTransferService::OfferCanceled, this, [this, &service](const TOnlineNotify& notice, bool) {
        FPrint(NotifyJson(WM_FILE_REQUESTCANCELED, notice),
               QStringLiteral("WM_FILE_REQUESTCANCELED %1 %2 %3").arg(HexId(WM_FILE_REQUESTCANCELED), notice.NickName, notice.IPAddress));
        if (service.Handles().Owner(notice.ReceiverHandle)) Ended(notice.ReceiverHandle);
    });
    // An accepted offer whose stream never began: its stand-in goes with its handle.
    connect(&service, &TTransferService::AcceptedOfferExpired, this, [this](const TOnlineNotify&, qint32 own) { Ended(own); });
    const auto arrived = [this](int id) {
        return [this, id](const TFilesArrival& arrival, bool) {
            FPrint(ArrivalJson(id, arrival), ArrivalPlain(id, arrival));
            if (FService.Handles().Owner(arrival.Data.RequestHandle)) Ended(arrival.Data.RequestHandle);
        };
    };
    connect(&service, &TTransferService::FilesArrived, this, arrived(WM_PEER_FILES));
    connect(&service, &TTransferService::TransferTerminated, this, arrived(WM_FILE_TERMINATED));
    connect(&service, &TTransferService::ReceiveProgress, this, [this](qint32 handle, const TReceiveProgress& p) {
        if (!FAccepted.contains(handle)) return;
        const qint64 now = FClock.elapsed();
        const auto last = FPrinted.constFind(handle);
        if (!p.Final && last != FPrinted.cend() && now - *last < ProgressPrintMs) return;
        FPrinted.insert(handle, now);
        const QString ofFiles = p.TotalFiles > 0 ? QStringLiteral("/%1").arg(p.TotalFiles) : QString();
        const QString ofBytes = p.TotalFiles > 0 ? QStringLiteral("/%1").arg(p.TotalBytes) : QString();
        FPrint({{QStringLiteral("event"), QStringLiteral("receive-progress")}, {QStringLiteral("handle"), handle},
                {QStringLiteral("Bytes"), p.Bytes}, {QStringLiteral("Files"), p.Files},
                {QStringLiteral("TotalBytes"), p.TotalBytes}, {QStringLiteral("TotalFiles"), p.TotalFiles},
                {QStringLiteral("Current"), p.Current}, {QStringLiteral("FileSize"), p.FileSize},
                {QStringLiteral("FileDone"), p.FileDone}, {QStringLiteral("Final"), p.Final}},
               QStringLiteral("receive-progress handle=%1 files=%2%3 bytes=%4%5 file=%6 %7/%8%9")
                   .arg(handle)
                   .arg(p.Files)
                   .arg(ofFiles)
                   .arg(p.Bytes)
                   .arg(ofBytes)
                   .arg(p.Current)
                   .arg(p.FileDone)
                   .arg(p.FileSize)
                   .arg(p.Final ? QStringLiteral(" final") : QString()));
    });
}

void TCliFileListen::Ended(qint32 handle) {
    FAccepted.remove(handle);
    FPrinted.remove(handle);
    delete FService.Handles().Owner(handle);
    if (FStopping.remove(handle) && FStopping.isEmpty() && FStopped) {
        FStopWait.stop();
        std::exchange(FStopped, {})();
    }
}

void TCliFileListen::StopReceiving(std::function<void()> done) {
    for (const qint32 handle : QList<qint32>(FAccepted.cbegin(), FAccepted.cend())) {
        // A running stream ends with WM_FILE_TERMINATED; one not begun is withdrawn now.
        const bool running = FService.StopReceiving(handle);
        FPrint({{QStringLiteral("event"), QStringLiteral("receive-stop")}, {QStringLiteral("handle"), handle},
                {QStringLiteral("running"), running}},
               QStringLiteral("receive-stop handle=%1%2").arg(handle).arg(running ? QStringLiteral(" running") : QString()));
        if (running) FStopping.insert(handle);
        else Ended(handle);
    }
    if (!done) return;
    if (FStopping.isEmpty()) {
        done();
        return;
    }
    FStopped = std::move(done);
    FStopWait.start(StopWaitMs);
}

namespace {

QString Size(qint64 bytes) {
    return bytes >= 1024 * 1024 ? QStringLiteral("%1 MiB").arg(double(bytes) / 1048576.0, 0, 'f', 1)
                                : QStringLiteral("%1 KiB").arg(double(bytes) / 1024.0, 0, 'f', 1);
}

// One sendfile run: pack, offer, wait, stream; the event loop drives it.
class TCliSender : public QObject {
public:
    TCliSender(QTextStream& out, QTextStream& err, bool json, QString host, QStringList paths)
        : FOut(out), FErr(err), FJson(json), FHost(std::move(host)), FPaths(std::move(paths)),
          FTerminal(!json && Platform::StdoutIsTerminal()) {}

    int Run();

private:
    void Print(QJsonObject object, const QString& plain) {
        if (FBarShown) {
            FOut << "\r\033[K";
            FBarShown = false;
        }
        if (FJson) FOut << QJsonDocument(object).toJson(QJsonDocument::Compact) << "\n";
        else FOut << plain << "\n";
        FOut.flush();
    }
    void FileResult(const QString& path, bool sent, const QString& error) {
        if (!sent) FFailed = true;
        Print({{QStringLiteral("event"), QStringLiteral("file")}, {QStringLiteral("path"), path},
               {QStringLiteral("result"), sent ? QStringLiteral("sent") : QStringLiteral("failed")},
               {QStringLiteral("error"), sent ? QString() : error}},
              sent ? QStringLiteral("sent %1").arg(path) : QStringLiteral("failed %1: %2").arg(path, error));
    }
    void Finish(int status) {
        if (FStatus < 0) FStatus = status;
        QCoreApplication::quit();
    }
    void Collect();
    void PackFolders();
    void OfferWhenListening();
    void Offer();
    void Stream();
    void ShowProgress(int index, qint64 done, qint64 size);
    void Interrupt();

    QTextStream& FOut;
    QTextStream& FErr;
    const bool FJson;
    const QString FHost;
    const QStringList FPaths;
    const bool FTerminal;
    std::unique_ptr<TNode> FNode;
    QList<TSendRow> FRows;
    QStringList FFolders, FArchives;
    TSendBatch FBatch; // the archives go with the run, sent or not
    std::unique_ptr<TFolderPackJob> FPack;
    std::unique_ptr<TOutgoingTransfer> FTransfer;
    QTimer FPoll;
    QElapsedTimer FProgressClock;
    qint64 FTotal = 0, FBefore = 0;
    bool FFailed = false;
    bool FBarShown = false;
    int FInterrupts = 0;
    int FStatus = -1;
};

void TCliSender::Collect() {
    const TSendPaths sorted = TSendBatch::Sort(FPaths);
    for (const QString& path : sorted.Missing) FileResult(path, false, TTransferService::CheckSendable(path));
    for (const auto& [path, why] : sorted.Refused) FileResult(path, false, why);
    for (const QString& file : sorted.Files) FRows.append({file, false, {}});
    FFolders = sorted.Folders;
}

void TCliSender::PackFolders() {
    if (FFolders.isEmpty()) return OfferWhenListening();
    FPack = FBatch.Pack(FFolders, {}, Params()[ipCompressionRatio]);
    FArchives = FPack->ArchivePaths();
    connect(FPack.get(), &TFolderPackJob::FolderStarted, this, [this](int, const QString& folder) {
        Print({{QStringLiteral("event"), QStringLiteral("packing")}, {QStringLiteral("folder"), folder}},
              QStringLiteral("packing %1").arg(folder));
    });
    connect(FPack.get(), &TFolderPackJob::FolderDone, this, [this](int index, const TPackResult& result) {
        const QString folder = FFolders[index];
        for (const QString& skipped : result.Skipped)
            Print({{QStringLiteral("event"), QStringLiteral("left-out")}, {QStringLiteral("path"), folder + "/" + skipped}},
                  QStringLiteral("left out %1/%2 (unreadable or a link)").arg(folder, skipped));
        if (!result.Ok) return FileResult(folder, false, result.Error);
        if (const QString problem = TTransferService::CheckSendable(FArchives[index]); !problem.isEmpty())
            return FileResult(folder, false, problem);
        FRows.append({FArchives[index], true, folder});
    });
    connect(FPack.get(), &TFolderPackJob::Finished, this, [this](bool canceled) {
        if (canceled) return Finish(1);
        OfferWhenListening();
    });
    FPack->Start();
}

void TCliSender::OfferWhenListening() {
    if (FRows.isEmpty()) return Finish(1);
    if (FNode->IsListening()) return Offer();
    // The answer comes to our port: without listening there is nothing to wait for.
    if (Platform::NetworkPolicy() == Platform::TNetworkPolicy::Off) {
        FErr << "quillmate-cli: the network is off here (QUILLMATE_NETWORK=off)\n";
        FErr.flush();
        return Finish(1);
    }
    connect(&FPoll, &QTimer::timeout, this, [this] {
        if (!FNode->IsListening()) return;
        FPoll.stop();
        Offer();
    });
    FPoll.start(20);
}

void TCliSender::Offer() {
    TRecipient consignee;
    consignee.ComputerName = FHost;
    consignee.IPAddress = FHost;
    FTransfer = FNode->Transfer().CreateOutgoing(consignee, FRows);
    connect(FTransfer.get(), &TOutgoingTransfer::Replied, this, [this](bool accepted, const QString& reason) {
        Print({{QStringLiteral("event"), accepted ? QStringLiteral("accepted") : QStringLiteral("declined")},
               {QStringLiteral("reason"), reason}},
              accepted ? QStringLiteral("accepted by %1").arg(FHost)
                       : QStringLiteral("declined by %1%2").arg(FHost, reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
        if (!accepted) {
            for (const TSendRow& row : FRows) FileResult(row.IsArchive ? row.SourceFolder : row.Path, false, QStringLiteral("declined"));
            return Finish(1);
        }
        Stream();
    });
    if (!FTransfer->Offer()) {
        FErr << "quillmate-cli: " << TranslateFormat(QStringLiteral("Can not connect to %s."), {FHost}) << "\n";
        FErr.flush();
        return Finish(1);
    }
    Print({{QStringLiteral("event"), QStringLiteral("offered")}, {QStringLiteral("handle"), FTransfer->Handle()},
           {QStringLiteral("files"), FRows.size()}},
          QStringLiteral("offered %1 file(s) to %2, waiting for the answer").arg(FRows.size()).arg(FHost));
}

void TCliSender::ShowProgress(int index, qint64 done, qint64 size) {
    const qint64 all = FBefore + done;
    if (FJson) {
        if (FProgressClock.isValid() && !FProgressClock.hasExpired(1000) && done < size) return;
        FProgressClock.restart();
        FOut << QJsonDocument(QJsonObject{{QStringLiteral("event"), QStringLiteral("progress")},
                                          {QStringLiteral("file"), index + 1},
                                          {QStringLiteral("files"), FRows.size()},
                                          {QStringLiteral("done"), done},
                                          {QStringLiteral("size"), size},
                                          {QStringLiteral("total_done"), all},
                                          {QStringLiteral("total"), FTotal}})
                    .toJson(QJsonDocument::Compact)
             << "\n";
        FOut.flush();
        return;
    }
    if (!FTerminal) return;
    constexpr int kWidth = 30;
    const int filled = FTotal > 0 ? int(all * kWidth / FTotal) : kWidth;
    FOut << "\r\033[K[" << QString(filled, QLatin1Char('#')) << QString(kWidth - filled, QLatin1Char('.')) << "] "
         << (FTotal > 0 ? all * 100 / FTotal : 100) << "% " << index + 1 << "/" << FRows.size() << " "
         << Size(all) << " of " << Size(FTotal);
    FOut.flush();
    FBarShown = true;
}

void TCliSender::Stream() {
    for (const TSendRow& row : FRows) FTotal += QFileInfo(row.Path).size();
    connect(FTransfer.get(), &TOutgoingTransfer::Progress, this, &TCliSender::ShowProgress);
    connect(FTransfer.get(), &TOutgoingTransfer::FileDone, this, [this](int index, const TFileOutcome&) {
        FBefore += QFileInfo(FRows[index].Path).size();
    });
    connect(FTransfer.get(), &TOutgoingTransfer::Finished, this, [this](const TSendResult& result) {
        for (int i = 0; i < FRows.size(); ++i) {
            const TSendRow& row = FRows[i];
            const TFileOutcome outcome = result.Files.value(i);
            const bool sent = outcome.Kind == TFileOutcomeKind::Sent && !result.Canceled;
            QString error = TTransferService::OutcomeText(outcome);
            if (result.Canceled) error = QStringLiteral("the transfer was cancelled; the receiver deletes what arrived");
            if (!sent && !result.Connected) error = result.Error;
            FileResult(row.IsArchive ? row.SourceFolder : row.Path, sent, error);
        }
        Finish(FFailed ? 1 : 0);
    });
    FTransfer->Start();
}

void TCliSender::Interrupt() {
    ++FInterrupts;
    if (FPack && !FTransfer) {
        FPack->Cancel();
        return;
    }
    if (!FTransfer || FTransfer->State() == TOutgoingTransfer::tsWaiting || !FTransfer->IsRunning()) {
        if (FTransfer) FTransfer->Withdraw();
        Print({{QStringLiteral("event"), QStringLiteral("withdrawn")}}, QStringLiteral("offer withdrawn"));
        for (const TSendRow& row : FRows) FileResult(row.IsArchive ? row.SourceFolder : row.Path, false, QStringLiteral("withdrawn"));
        return Finish(1);
    }
    if (FInterrupts == 1) {
        FTransfer->Stop();
        Print({{QStringLiteral("event"), QStringLiteral("stopping")}},
              QStringLiteral("stopping after the current file (Ctrl+C again to stop at once)"));
    } else {
        FTransfer->Abort();
    }
}

int TCliSender::Run() {
    FNode = std::make_unique<TNode>();
    connect(FNode.get(), &TNode::ListenFailed, this, [this](const QString& text) {
        FErr << "quillmate-cli: " << QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")) << "\n";
        FErr.flush();
        FFailed = true;
        Finish(1);
    });
    TQuitSignals quit([this] { Interrupt(); });
    Collect();
    FNode->Start();
    QTimer::singleShot(0, this, [this] { PackFolders(); });
    QCoreApplication::exec();
    FPack.reset();
    FTransfer.reset();
    for (const QString& archive : FArchives) QFile::remove(archive);
    FNode->Stop();
    return FStatus < 0 ? 1 : FStatus;
}

} // namespace

int RunSendFile(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QStringList args = arguments;
    QString host;
    bool json = false;
    QStringList paths;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--to") || a == QLatin1String("--nickname")) {
            if (i + 1 >= args.size()) {
                err << "quillmate-cli: " << a << " needs a value\n";
                return 2;
            }
            if (a == QLatin1String("--to")) host = args[++i];
            else Params()[spNickname] = TApplicationParams::CleanNickname(args[++i]);
        } else if (a == QLatin1String("--json")) {
            json = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            err << "quillmate-cli: unknown option: " << a << "\n";
            return 2;
        } else {
            paths << a;
        }
    }
    if (host.isEmpty()) {
        err << "quillmate-cli: sendfile needs --to HOST\n";
        return 2;
    }
    if (paths.isEmpty()) {
        err << "quillmate-cli: sendfile needs at least one file or folder\n";
        return 2;
    }
    TCliSender sender(out, err, json, host, paths);
    return sender.Run();
}
