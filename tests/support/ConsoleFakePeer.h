#pragma once
// Fake console message peers for tests: a session service on 127.0.0.1 that
// follows a script, and the script of an honest messenger.

#include "console/ConsoleCodecUnit.h"

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtEndian>

#include <atomic>
#include <functional>

namespace ConsoleFake {

using namespace ConsoleWire;

inline QByteArray SmbReply(quint8 command, quint32 dosStatus, QList<quint16> words = {}) {
    QByteArray h(32, '\0');
    h[0] = char(0xFF);
    h[1] = 'S';
    h[2] = 'M';
    h[3] = 'B';
    h[4] = char(command);
    h[5] = char(dosStatus >> 16);
    h[7] = char(dosStatus & 0xFF);
    h[8] = char((dosStatus >> 8) & 0xFF);
    h[9] = char(0x80);
    h.append(char(words.size()));
    for (quint16 w : words) {
        h.append(char(w & 0xFF));
        h.append(char(w >> 8));
    }
    h.append(QByteArray(2, '\0'));
    return h;
}

// What a fake peer does with each packet it reads: the bytes to answer
// (nothing: stay silent), and whether to close afterwards.
struct TPeerAnswer {
    QByteArray Bytes;
    bool Close = false;
};
using TPeerScript = std::function<TPeerAnswer(quint8 type, const QByteArray& body)>;

// The honest messenger: accepts the session, the dialect and every message
// command, and keeps the text it got.
// With negotiated given it acts as Samba does: a single-block message before
// a negotiation ends the connection.
inline TPeerAnswer Honest(quint8 type, const QByteArray& body, QByteArray* text, QByteArray* from,
                          bool* negotiated = nullptr) {
    if (type == stRequest) {
        if (negotiated) *negotiated = false;
        return {QByteArray::fromHex("82000000")};
    }
    if (negotiated && quint8(body[4]) == scNegotiate) *negotiated = true;
    if (negotiated && !*negotiated && quint8(body[4]) == scSendSingle) return {{}, true};
    const quint8 command = quint8(body[4]);
    const QByteArray bytes = body.mid(35);
    if (command == scSendSingle || command == scSendStart) {
        const int fromEnd = int(bytes.indexOf('\0'));
        *from = bytes.mid(1, fromEnd - 1);
        if (command == scSendSingle) {
            const int toEnd = int(bytes.indexOf('\0', fromEnd + 1));
            *text += bytes.mid(toEnd + 4);
        }
    }
    if (command == scSendText) *text += body.mid(32 + 1 + 2 + 2 + 3);
    const QList<quint16> words = command == scNegotiate ? QList<quint16>{0} : QList<quint16>{};
    return {WrapSessionMessage(SmbReply(command, 0, words))};
}

// A session peer on 127.0.0.1 that follows a script, one packet at a time.
class TFakePeer : public QObject {
public:
    explicit TFakePeer(TPeerScript script) : FScript(std::move(script)) {
        FServer.listen(QHostAddress::LocalHost, 0);
        connect(&FServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = FServer.nextPendingConnection()) {
                ++Connections;
                connect(s, &QTcpSocket::readyRead, this, [this, s] { Serve(s); });
            }
        });
    }
    quint16 Port() const { return FServer.serverPort(); }
    int Connections = 0;

private:
    void Serve(QTcpSocket* s) {
        QByteArray& buffer = FBuffers[s];
        buffer += s->readAll();
        while (buffer.size() >= 4) {
            const int length = qFromBigEndian<quint16>(buffer.constData() + 2) | ((quint8(buffer[1]) & 1) << 16);
            if (buffer.size() < 4 + length) return;
            const quint8 type = quint8(buffer[0]);
            const QByteArray body = buffer.mid(4, length);
            buffer.remove(0, 4 + length);
            const TPeerAnswer answer = FScript(type, body);
            if (!answer.Bytes.isEmpty()) s->write(answer.Bytes);
            if (answer.Close) {
                s->disconnectFromHost();
                return;
            }
        }
    }
    TPeerScript FScript;
    QTcpServer FServer;
    QHash<QTcpSocket*, QByteArray> FBuffers;
};

// A name server on 127.0.0.1 answering every query with the given datagrams
// (built from the query's transaction id).
class TFakeNameServer : public QObject {
public:
    using TAnswers = std::function<QList<QByteArray>(quint16 id, const QByteArray& query)>;
    explicit TFakeNameServer(TAnswers answers) : FAnswers(std::move(answers)) {
        FSocket.bind(QHostAddress::LocalHost, 0);
        connect(&FSocket, &QUdpSocket::readyRead, this, [this] {
            while (FSocket.hasPendingDatagrams()) {
                QHostAddress from;
                quint16 port = 0;
                QByteArray d(2048, '\0');
                d.truncate(int(FSocket.readDatagram(d.data(), d.size(), &from, &port)));
                ++Queries;
                if (d.size() < 2) continue;
                for (const QByteArray& a : FAnswers(qFromBigEndian<quint16>(d.constData()), d))
                    FSocket.writeDatagram(a, from, port);
            }
        });
    }
    quint16 Port() const { return FSocket.localPort(); }
    int Queries = 0;

private:
    TAnswers FAnswers;
    QUdpSocket FSocket;
};

// A name query response about name<suffix> with these 4-byte addresses.
inline QByteArray Answer(quint16 id, QList<QByteArray> addresses, bool negative = false, const QByteArray& name = "PEER",
                         quint8 suffix = kMessengerSuffix) {
    QByteArray d;
    d.append(char(id >> 8));
    d.append(char(id & 0xFF));
    d.append(QByteArray::fromHex(negative ? "8583" : "8500"));
    d.append(QByteArray::fromHex(negative ? "0000000000000000" : "0000000100000000"));
    if (negative) return d;
    d.append(EncodeName(name, suffix));
    d.append(QByteArray::fromHex("00200001000493e0"));
    d.append(char(0));
    d.append(char(6 * addresses.size()));
    for (const QByteArray& a : addresses) d.append(QByteArray::fromHex("0000") + a);
    return d;
}

} // namespace ConsoleFake
