#include "core/SingleInstanceUnit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QLockFile>

namespace {
const QByteArray kActivate = "ACTIVATE\n";
constexpr int kConnectTimeoutMs = 2000;
} // namespace

TSingleInstance::TSingleInstance(QString serverName, QObject* parent)
    : QObject(parent), FServerName(std::move(serverName)) {
    connect(&FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = FServer.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > 64) socket->abort(); // not one of ours
                    return;
                }
                const bool activate = socket->readLine(64) == kActivate;
                socket->write("OK\n");
                socket->disconnectFromServer();
                if (activate) emit ActivationRequested();
            });
        }
    });
}

QString TSingleInstance::ServerNameFor(const QString& windowClass, const QString& userName, const QString& programFolder) {
    // Socket names are file names: keep them short and free of blanks.
    const QByteArray digest = QCryptographicHash::hash((windowClass + QLatin1Char('|') + userName + QLatin1Char('|') +
                                                        QDir::cleanPath(programFolder)).toUtf8(),
                                                       QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("quillmate-%1").arg(QString::fromLatin1(digest));
}

bool TSingleInstance::AskRunningCopy() const {
    QLocalSocket socket;
    socket.connectToServer(FServerName);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.write(kActivate);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    // The answer tells a live copy from one that hangs on a stale socket.
    while (!socket.canReadLine() && socket.waitForReadyRead(kConnectTimeoutMs)) {}
    return socket.canReadLine();
}

bool TSingleInstance::Claim() {
    // Two copies started at the same moment must not both become the first.
    QLockFile lock(QDir::tempPath() + QLatin1Char('/') + FServerName + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    lock.tryLock(10000);
    if (AskRunningCopy()) return false;
    QLocalServer::removeServer(FServerName);
    FServer.setSocketOptions(QLocalServer::UserAccessOption);
    // Should listening fail (no writable runtime folder) this copy still runs;
    // it just cannot be found by later ones.
    FServer.listen(FServerName);
    return true;
}
