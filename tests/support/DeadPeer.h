#pragma once
// A recipient on 127.0.0.1 that neither accepts nor refuses.

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// Listens with a full backlog and never accepts, so the kernel drops every
// further handshake: connecting to it times out, as to a computer that left
// the network without a logoff.
class TDeadPeer {
public:
    TDeadPeer() {
        FServer.setListenBacklogSize(0);
        if (!FServer.listen(QHostAddress::LocalHost, 0)) return;
        FServer.pauseAccepting();
        FFiller.connectToHost(QHostAddress::LocalHost, FServer.serverPort());
        FFiller.waitForConnected(2000);
    }
    quint16 Port() const { return FServer.serverPort(); }

private:
    QTcpServer FServer;
    QTcpSocket FFiller;
};
