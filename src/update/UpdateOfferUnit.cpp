#include "update/UpdateOfferUnit.h"

#include "platform/NetworkPolicyUnit.h"
#include "platform/SocketOptionsUnit.h"
#include "text/MsgLangUnit.h"
#include "transfer/FileCodecUnit.h"
#include "update/UpdateCodecUnit.h"
#include "update/UpdateNamesUnit.h"

#include <QFile>
#include <QNetworkProxy>
#include <QSet>
#include <QTcpSocket>
#include <QtEndian>

TOfferSelection SelectOfferedFiles(const QList<QByteArray>& wanted, const QStringList& offered,
                                   const QString& programFolder, qint16 languageId) {
    QSet<QString> allowed;
    for (const QString& name : offered) {
        QString normal;
        if (UpdateNames::Normalise(name, &normal)) allowed.insert(normal);
    }
    TOfferSelection out;
    QSet<QString> taken;
    for (const QByteArray& line : wanted) {
        const QString name = TMessageLang::Decode(languageId, line);
        QString normal;
        QString path;
        if (UpdateNames::Normalise(name, &normal) && allowed.contains(normal) && !taken.contains(normal))
            path = UpdateNames::ResolveInside(programFolder, normal);
        if (path.isEmpty()) {
            out.Refused.append(name);
            continue;
        }
        taken.insert(normal);
        out.Files.append({line, normal, path});
    }
    return out;
}

namespace {

constexpr qint64 kChunk = 64 * 1024;

bool WriteAll(QTcpSocket& socket, const QByteArray& bytes, int stallMs) {
    if (socket.write(bytes) != bytes.size()) return false;
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(stallMs)) return false;
    return true;
}

} // namespace

TUpdatePushResult PushUpdateFiles(const TUpdatePushPlan& plan) {
    TUpdatePushResult result;
    const QHostAddress address = ResolveAddress(plan.Host, plan.Resolver);
    if (address.isNull() || !Platform::DestinationAllowed(address)) {
        result.Error = QStringLiteral("cannot reach %1").arg(plan.Host);
        return result;
    }
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(address, plan.Port);
    if (!socket.waitForConnected(plan.ConnectTimeoutMs)) {
        result.Error = socket.errorString();
        return result;
    }
    result.Connected = true;
    bool ok = WriteAll(socket, EncodeUpdateStreamHeader(), plan.StallTimeoutMs);
    for (const TOfferedFile& offered : plan.Files) {
        if (!ok) break;
        QFile file(offered.Path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > MaxStreamFileSize) continue;
        const qint64 size = file.size();
        QByteArray head = offered.Line + "\r\n";
        head.resize(head.size() + 4);
        qToBigEndian<qint32>(qint32(size), head.data() + head.size() - 4);
        ok = WriteAll(socket, head, plan.StallTimeoutMs);
        qint64 left = size;
        while (ok && left > 0) {
            QByteArray piece = file.read(qMin(left, kChunk));
            // A file that shrank while it went: the stream could not stay in step.
            if (piece.isEmpty()) {
                ok = false;
                break;
            }
            left -= piece.size();
            ok = WriteAll(socket, piece, plan.StallTimeoutMs);
        }
        if (ok) ++result.Sent;
    }
    if (ok) ok = WriteAll(socket, QByteArray(UpdateStreamEnd) + "\r\n", plan.StallTimeoutMs);
    if (!ok) {
        result.Error = socket.errorString();
        socket.abort();
        return result;
    }
    if (Platform::WaitPeerEnd(socket.socketDescriptor(), plan.EndWaitMs) == Platform::peReset)
        result.Error = QStringLiteral("the requester refused the stream");
    socket.abort();
    return result;
}
