#include "transfer/FileSendUnit.h"

#include "platform/NetworkPolicyUnit.h"
#include "platform/SocketOptionsUnit.h"
#include "protocol/CommClientUnit.h"
#include "text/MsgLangUnit.h"
#include "transfer/FileCodecUnit.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QtEndian>
#include <cerrno>
#include <limits>

namespace {

constexpr int kSliceMs = 250;
constexpr int kProgressMs = 200;
constexpr int kPiecesPerSend = 4;

// Writes straight to the socket: no second copy in Qt's buffer, and nothing
// read from the peer meanwhile, so its end is seen only where we look for it.
class TStreamWriter {
public:
    TStreamWriter(QTcpSocket& socket, TSendControl& control, int stallMs)
        : FSocket(socket), FControl(control), FStallMs(stallMs) {}

    bool Write(const char* data, qint64 size) {
        QElapsedTimer stalled;
        stalled.start();
        while (size > 0) {
            if (FControl.AbortRequested()) return false;
            const Platform::TWriteStep step = Platform::WriteSome(FSocket.socketDescriptor(), data, size, kSliceMs);
            if (step.Error != 0) {
                // The receiver never writes: its close mid-stream is its way of stopping.
                FPeerEnded = step.Error == EPIPE || step.Error == ECONNRESET;
                return Fail(qt_error_string(step.Error));
            }
            if (step.Written > 0) {
                data += step.Written;
                size -= step.Written;
                stalled.restart();
            } else if (stalled.hasExpired(FStallMs)) {
                return Fail(QStringLiteral("the peer stopped taking data"));
            }
        }
        return true;
    }
    bool Write(const QByteArray& bytes) { return Write(bytes.constData(), bytes.size()); }
    // Nothing waits in this process: what Write took is in the system's hands.
    bool Drain() const { return true; }
    const QString& Error() const { return FError; }
    bool PeerEnded() const { return FPeerEnded; }

private:
    bool Fail(const QString& text) {
        if (FError.isEmpty()) FError = text;
        return false;
    }

    QTcpSocket& FSocket;
    TSendControl& FControl;
    const int FStallMs;
    QString FError;
    bool FPeerEnded = false;
};

bool Connect(QTcpSocket& socket, const TSendPlan& plan, TSendControl& control, QString* error) {
    const QHostAddress address = ResolveAddress(plan.Host, plan.Resolver);
    if (address.isNull()) {
        *error = QStringLiteral("cannot resolve %1").arg(plan.Host);
        return false;
    }
    if (!Platform::DestinationAllowed(address)) {
        *error = QStringLiteral("%1 is outside this process's network").arg(address.toString());
        return false;
    }
    socket.setProxy(QNetworkProxy::NoProxy);
    // Unbuffered: each piece goes straight to the system, no second copy in the socket.
    socket.connectToHost(address, plan.Port, QIODevice::ReadWrite | QIODevice::Unbuffered);
    const QDeadlineTimer deadline(plan.ConnectTimeoutMs);
    while (!socket.waitForConnected(kSliceMs)) {
        if (socket.state() == QAbstractSocket::UnconnectedState || deadline.hasExpired() || control.AbortRequested()) {
            *error = socket.errorString();
            return false;
        }
    }
    return true;
}

QByteArray LengthBytes(qint32 length) {
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian<qint32>(length, bytes.data());
    return bytes;
}

} // namespace

void TSendControl::Abort() {
    FAbort = true;
    SetPaused(false);
}

void TSendControl::SetPaused(bool paused) {
    std::lock_guard<std::mutex> lock(FLock);
    FPaused = paused;
    if (!paused) FResumed.notify_all();
}

void TSendControl::WaitWhilePaused() {
    std::unique_lock<std::mutex> lock(FLock);
    FResumed.wait(lock, [this] { return !FPaused || FAbort; });
}

int TSendResult::SentCount() const {
    int sent = 0;
    for (const TFileOutcome& f : Files)
        if (f.Kind == TFileOutcomeKind::Sent) ++sent;
    return sent;
}

TOfferedFiles DescribeRows(const QList<TSendRow>& rows) {
    TOfferedFiles offered;
    offered.Files = int(qMin<qsizetype>(rows.size(), std::numeric_limits<int>::max()));
    for (const TSendRow& row : rows) {
        const QFileInfo info(row.Path);
        // A file too large for a block goes as unreadable: none of its bytes come.
        if (info.isFile() && info.size() <= MaxStreamFileSize) offered.Bytes += info.size();
        if (offered.Names.size() < OfferFields::MaxNames)
            offered.Names << (row.IsArchive ? QDir(row.SourceFolder).dirName() : info.fileName());
    }
    return offered;
}

namespace {
// The receiver closes once it has read the end marker; a reset means it did
// not take the stream whole (it refused the connection or stopped on its side).
// One that keeps the connection open longer has everything in its buffers.
bool PeerTookAll(QTcpSocket& socket, const TSendControl& control, int waitMs) {
    return Platform::AwaitPeerEnd(socket.socketDescriptor(), waitMs, [&control] { return control.AbortRequested(); }) !=
           Platform::peReset;
}
} // namespace

TSendResult SendFiles(const TSendPlan& plan, TSendControl& control, TSendObserver* observer) {
    TSendResult result;
    result.Files.resize(plan.Rows.size());
    QTcpSocket socket;
    if (!Connect(socket, plan, control, &result.Error)) return result;
    result.Connected = true;
    const qint16 languageId = plan.Self.LanguageId;
    TStreamWriter out(socket, control, plan.StallTimeoutMs);
    bool broken = !out.Write(EncodeFileHeader(plan.Self, plan.PeerHandle, TMessageLang(languageId)));
    // Read in pieces of StreamChunkSize, handed to the socket kPiecesPerSend at
    // a time: on a fast link a send per 32 KiB piece costs a third of the speed.
    QByteArray buffer(StreamChunkSize * kPiecesPerSend, Qt::Uninitialized);
    for (int i = 0; i < plan.Rows.size() && !broken; ++i) {
        if (control.StopRequested()) {
            result.Canceled = true;
            break;
        }
        const TSendRow& row = plan.Rows[i];
        TFileOutcome& outcome = result.Files[i];
        if (!out.Write(EncodeNameLine(QFileInfo(row.Path).fileName(), row.IsArchive, languageId))) {
            broken = true;
            break;
        }
        // Others may go on reading and writing the file meanwhile.
        QFile file(row.Path);
        const bool opened = file.open(QIODevice::ReadOnly);
        const qint64 size = opened ? file.size() : 0;
        if (!opened || size > MaxStreamFileSize) {
            outcome.Kind = opened ? TFileOutcomeKind::TooLarge : TFileOutcomeKind::ReadError;
            outcome.Detail = opened ? QString() : file.errorString();
            broken = !out.Write(QByteArray(FileMarker::ReadError) + "\r\n");
            if (observer) observer->FileDone(i, outcome);
            continue;
        }
        if (!out.Write(QByteArray(FileMarker::Start) + "\r\n" + LengthBytes(qint32(size)))) {
            broken = true;
            break;
        }
        if (observer) observer->FileBegin(i, size);
        qint64 done = 0;
        QElapsedTimer sinceProgress;
        sinceProgress.start();
        while (done < size) {
            control.WaitWhilePaused();
            qint64 filled = 0, got = 0;
            while (filled < buffer.size() && done + filled < size) {
                got = file.read(buffer.data() + filled, qMin<qint64>(StreamChunkSize, size - done - filled));
                if (got <= 0) break;
                filled += got;
            }
            if (got <= 0) {
                // Shorter than announced: the block can no longer be completed.
                outcome.Kind = TFileOutcomeKind::Broken;
                outcome.Detail = got < 0 ? file.errorString() : QStringLiteral("the file became shorter while it was sent");
                broken = true;
                break;
            }
            if (!out.Write(buffer.constData(), filled)) {
                outcome.Kind = control.AbortRequested() ? TFileOutcomeKind::NotSent : TFileOutcomeKind::Broken;
                outcome.Detail = out.Error();
                broken = true;
                break;
            }
            done += filled;
            if (observer && (sinceProgress.hasExpired(kProgressMs) || done == size)) {
                observer->Progress(i, done);
                sinceProgress.restart();
            }
        }
        if (!broken) outcome.Kind = TFileOutcomeKind::Sent;
        if (observer) observer->FileDone(i, outcome);
    }
    if (!broken && !control.AbortRequested()) {
        if (result.Canceled) broken = !out.Write(QByteArray(FileMarker::Canceled) + "\r\n");
        else if (result.SentCount() > 0) broken = !out.Write(QByteArray(FileMarker::End) + "\r\n");
        broken = broken || !out.Drain();
        if (!broken && !PeerTookAll(socket, control, plan.EndWaitMs)) {
            // Which of the files it kept only the receiver knows: none counts as sent.
            for (TFileOutcome& outcome : result.Files) {
                if (outcome.Kind != TFileOutcomeKind::Sent) continue;
                outcome.Kind = TFileOutcomeKind::Broken;
                outcome.Detail = QStringLiteral("the recipient closed the connection before taking everything");
            }
            result.Error = QStringLiteral("The recipient closed the connection before taking everything");
            socket.abort();
            return result;
        }
    }
    if (control.AbortRequested()) {
        result.Aborted = true;
        socket.abort();
    } else if (broken && out.PeerEnded()) {
        result.StoppedByRecipient = true;
        result.Error = QStringLiteral("The recipient stopped the transfer");
        // It keeps nothing of the stream, as on our cancel.
        for (TFileOutcome& outcome : result.Files)
            if (outcome.Kind == TFileOutcomeKind::Sent) outcome.Kind = TFileOutcomeKind::NotSent;
        socket.abort();
    } else if (broken) {
        result.Error = out.Error();
        socket.abort();
    } else {
        socket.disconnectFromHost();
        if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(1000);
    }
    return result;
}
