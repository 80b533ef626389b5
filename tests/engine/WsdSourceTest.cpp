// The WS-Discovery client against a fake responder and metadata server on
// 127.0.0.1: wsdd's way (Resolve for the address) and Windows' (XAddrs in the
// match), printers left out, repeats fetched once, floods capped, and a
// metadata server that never answers costs only its own computer.
#include "neighbourhood/WsdSourceUnit.h"
#include "support/TestSupport.h"
#include "support/WsdFixtures.h"

#include <QHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <future>

using namespace WsdFixture;

namespace {

const QString kComputer = QStringLiteral("wsdp:Device pub:Computer");

// Serves pub:Computer texts by path; a path missing from the table is never answered.
class TMetadataServer : public QObject {
public:
    QHash<QString, QString> Computers;   // "/a" -> "HOST/Workgroup:WG"
    QStringList Asked;

    TMetadataServer() {
        FServer.listen(QHostAddress::LocalHost, 0);
        connect(&FServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = FServer.nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { Serve(s); });
            }
        });
    }
    quint16 Port() const { return FServer.serverPort(); }
    QString XAddr(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(Port()).arg(path); }

private:
    void Serve(QTcpSocket* s) {
        QByteArray& b = FBuffers[s];
        b += s->readAll();
        const qsizetype end = b.indexOf("\r\n\r\n");
        if (end < 0) return;
        const auto length = QRegularExpression(QStringLiteral("Content-Length: (\\d+)"), QRegularExpression::CaseInsensitiveOption)
                                .match(QString::fromLatin1(b.left(end)));
        if (!length.hasMatch() || b.size() < end + 4 + length.captured(1).toInt()) return;
        const QString path = QString::fromLatin1(b.split(' ').value(1));
        Asked << path;
        if (!Computers.contains(path)) return;
        const QByteArray body = Metadata(Computers.value(path));
        s->write("HTTP/1.0 200 OK\r\nContent-Type: application/soap+xml\r\n\r\n" + body);
        s->disconnectFromHost();
    }
    QTcpServer FServer;
    QHash<QTcpSocket*, QByteArray> FBuffers;
};

// Answers probes and resolves with what the test script gives.
class TResponder : public QObject {
public:
    std::function<QList<QByteArray>(const QString& messageId)> OnProbe;
    std::function<QList<QByteArray>(const QString& messageId, const QByteArray& resolve)> OnResolve;
    int Probes = 0;
    int Resolves = 0;

    TResponder() {
        FSocket.bind(QHostAddress::LocalHost, 0);
        connect(&FSocket, &QUdpSocket::readyRead, this, [this] {
            while (FSocket.hasPendingDatagrams()) {
                QHostAddress from;
                quint16 port = 0;
                QByteArray d(65536, '\0');
                d.truncate(int(FSocket.readDatagram(d.data(), d.size(), &from, &port)));
                const QString action = WsdFixture::Field(d, "Action");
                const QString id = WsdFixture::Field(d, "MessageID");
                QList<QByteArray> answers;
                if (action.endsWith(QLatin1String("/Probe"))) {
                    ++Probes;
                    if (OnProbe) answers = OnProbe(id);
                } else if (action.endsWith(QLatin1String("/Resolve"))) {
                    ++Resolves;
                    if (OnResolve) answers = OnResolve(id, d);
                }
                for (const QByteArray& a : answers) FSocket.writeDatagram(a, from, port);
            }
        });
    }
    quint16 Port() const { return FSocket.localPort(); }

private:
    QUdpSocket FSocket;
};

TNetBrowseResult Browse(TWsdConfig config, int timeoutMs = 2000) {
    TWsdSource source(config);
    std::atomic<bool> cancel{false};
    auto result = std::async(std::launch::async, [&] { return source.Browse(QString(), timeoutMs, cancel); });
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) QTest::qWait(5);
    return result.get();
}

TWsdConfig Local(const TResponder& responder) {
    TWsdConfig c;
    c.Destination = QHostAddress::LocalHost;
    c.Port = responder.Port();
    return c;
}

QStringList Describe(const TNetBrowseResult& r) {
    QStringList out;
    for (const TNetSighting& s : r.Computers)
        out << QStringLiteral("%1|%2|%3").arg(s.ComputerName, s.Workgroup, s.Address.toString());
    out.sort();
    return out;
}

TEST(WsdSource, FindsWsddAndWindowsComputersButNoPrinters) {
    TLoopbackOnly loopback;
    TMetadataServer http;
    http.Computers.insert("/a", "HOSTA/Workgroup:LAB");
    http.Computers.insert("/b", "hostb/Domain:corp.example");
    http.Computers.insert("/c", "PRINTER/Workgroup:LAB");
    TResponder responder;
    responder.OnProbe = [&](const QString& id) {
        // wsdd repeats its unicast answer.
        const QByteArray wsdd = ProbeMatches(id, Match("ProbeMatch", "urn:uuid:a", kComputer, {}));
        return QList<QByteArray>{wsdd, wsdd,
                                 ProbeMatches(id, Match("ProbeMatch", "urn:uuid:b", kComputer, http.XAddr("/b")) +
                                                      Match("ProbeMatch", "urn:uuid:c", "wsdp:Device wprt:PrintDeviceType",
                                                            http.XAddr("/c")))};
    };
    responder.OnResolve = [&](const QString& id, const QByteArray& resolve) {
        if (!resolve.contains("urn:uuid:a")) return QList<QByteArray>{};
        return QList<QByteArray>{ResolveMatches(id, Match("ResolveMatch", "urn:uuid:a", kComputer, http.XAddr("/a")))};
    };
    const TNetBrowseResult r = Browse(Local(responder));
    EXPECT_TRUE(r.Available);
    EXPECT_EQ(Describe(r), (QStringList{"HOSTA|LAB|127.0.0.1", "hostb|corp.example|127.0.0.1"}));
    EXPECT_GE(responder.Probes, 1);
    EXPECT_EQ(responder.Resolves, 1);
    QStringList asked = http.Asked;
    asked.sort();
    EXPECT_EQ(asked, (QStringList{"/a", "/b"}));
}

TEST(WsdSource, AFloodOfMatchesIsCapped) {
    TLoopbackOnly loopback;
    TMetadataServer http;
    TResponder responder;
    int next = 0;
    responder.OnProbe = [&](const QString& id) {
        QList<QByteArray> answers;
        for (int d = 0; d < 40; ++d) {
            QString matches;
            for (int m = 0; m < 8; ++m, ++next) {
                const QString path = QStringLiteral("/%1").arg(next);
                http.Computers.insert(path, QStringLiteral("PC%1/Workgroup:LAB").arg(next));
                matches += Match("ProbeMatch", QStringLiteral("urn:uuid:%1").arg(next), kComputer, http.XAddr(path));
            }
            answers << ProbeMatches(id, matches);
        }
        return answers;
    };
    TWsdConfig config = Local(responder);
    config.MaxComputers = 20;
    const TNetBrowseResult r = Browse(config, 3000);
    EXPECT_LE(r.Computers.size(), 20);
    EXPECT_GE(r.Computers.size(), 1);
    EXPECT_LE(http.Asked.size(), 20);
}

TEST(WsdSource, AMetadataServerThatNeverAnswersCostsOnlyItsComputer) {
    TLoopbackOnly loopback;
    TMetadataServer http;
    http.Computers.insert("/good", "GOOD/Workgroup:LAB");
    TResponder responder;
    responder.OnProbe = [&](const QString& id) {
        return QList<QByteArray>{ProbeMatches(id, Match("ProbeMatch", "urn:uuid:good", kComputer, http.XAddr("/good")) +
                                                      Match("ProbeMatch", "urn:uuid:mute", kComputer, http.XAddr("/mute")))};
    };
    TWsdConfig config = Local(responder);
    config.FetchMs = 300;
    const TNetBrowseResult r = Browse(config, 5000);
    EXPECT_EQ(Describe(r), QStringList{"GOOD|LAB|127.0.0.1"});
    EXPECT_TRUE(http.Asked.contains("/mute"));
}

TEST(WsdSource, AnswersToAnotherProbeAndXAddrsOutsideThePolicyAreIgnored) {
    TLoopbackOnly loopback;
    TMetadataServer http;
    http.Computers.insert("/x", "X/Workgroup:LAB");
    TResponder responder;
    responder.OnProbe = [&](const QString& id) {
        return QList<QByteArray>{ProbeMatches("urn:uuid:not-yours", Match("ProbeMatch", "urn:uuid:x", kComputer, http.XAddr("/x"))),
                                 ProbeMatches(id, Match("ProbeMatch", "urn:uuid:y", kComputer, "http://10.9.9.9:5357/y"))};
    };
    const TNetBrowseResult r = Browse(Local(responder), 1500);
    EXPECT_TRUE(r.Computers.isEmpty());
    EXPECT_TRUE(http.Asked.isEmpty());
}

TEST(WsdSource, IsUnavailableWhenThePolicyForbidsTheDestination) {
    TNetworkOff off;
    TResponder responder;
    const TNetBrowseResult r = Browse(Local(responder), 500);
    EXPECT_FALSE(r.Available);
    EXPECT_EQ(responder.Probes, 0);
    TWsdSource source;
    std::atomic<bool> cancel{false};
    EXPECT_TRUE(source.Browse(QStringLiteral("LAB"), 500, cancel).Computers.isEmpty());
}

} // namespace
