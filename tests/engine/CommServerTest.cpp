#include "core/ParamsUnit.h"
#include "core/EventRouterUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "text/MsgLangUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtEndian>
#include <atomic>
#include <memory>

namespace {

// Collects what the listener posts, as the node's router would hand it on.
class TEventSink : public TEventRouter {
public:
    struct TItem {
        int Id;
        TOnlineNotify Record;
    };
    QList<TItem> Items;

    TEventSink() {
        for (const int id : {int(WM_PEER_LOGON), int(WM_PEER_LOGONREPLY), int(WM_PEER_STATE), int(WM_PEER_NICKNAME),
                             int(WM_PEER_LOGOFF), int(WM_PEER_SIGNALREPLY)})
            Register<TOnlineNotify>(id, [this, id](qintptr, TOnlineNotify record) { Items.append({id, std::move(record)}); });
        RegisterPlain(WM_NETWORK_CONFIRMED, [this](qintptr) { Items.append({WM_NETWORK_CONFIRMED, TOnlineNotify()}); });
    }
};

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Keeps every send of the test on 127.0.0.1.
struct TLoopbackOnly {
    TLoopbackOnly() : Old(qgetenv("QUILLMATE_NETWORK")) { qputenv("QUILLMATE_NETWORK", "loopback"); }
    ~TLoopbackOnly() { qputenv("QUILLMATE_NETWORK", Old); }
    QByteArray Old;
};

// A listener on 127.0.0.1 and a sender aimed at it, with this node's id "{ME}".
class CommServer : public ::testing::Test {
protected:
    CommServer() {
        Local.SetLocalInterfaces({});
        Config.Port = Port;
        Config.UseMulticast = false;
        Config.BroadcastList = {QStringLiteral("127.0.0.1")};
        Config.LocalBroadcast = QStringLiteral("127.0.0.1");
        Self.LanguageId = 1033;
        Self.NickName = QStringLiteral("Me");
        Self.ComputerName = QStringLiteral("MYPC");
        Self.Version = QStringLiteral("1.0.0.1");
        Self.UserId = QStringLiteral("{ME}");
        Server = std::make_unique<TCommServer>(
            &Sink, std::make_unique<TDatagramDispatcher>(Sink, TListenerIdentity{QStringLiteral("{ME}"), QStringLiteral("MYPC")},
                                                         Local, Lang, Client));
    }
    ~CommServer() override { Server->StopListening(); }

    bool Start(int headerMs = TRequestReader::HeaderTimeoutMs) {
        TCommServer::TOptions options;
        options.Port = Port;
        options.MulticastGroup.clear();
        options.BindAddress = QHostAddress(QHostAddress::LocalHost);
        options.HeaderTimeoutMs = headerMs;
        options.StallTimeoutMs = 300;
        return Server->StartListening(options);
    }
    // Runs the event loop until count events arrived or 5 s passed.
    bool WaitFor(int count) {
        QDeadlineTimer deadline(5000);
        while (Sink.Items.size() < count && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return Sink.Items.size() >= count;
    }
    void Settle() {
        QDeadlineTimer deadline(300);
        while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    void SendRaw(const QByteArray& datagram) {
        QUdpSocket socket;
        ASSERT_EQ(socket.writeDatagram(datagram, QHostAddress::LocalHost, Port), datagram.size());
    }
    TOnlineNotify PeerPresence(const char* type, const QString& id, const QString& nick) {
        TLocalIdentity peer = Self;
        peer.UserId = id;
        peer.NickName = nick;
        return {};
    }
    QByteArray Presence(const char* type, const QString& id, const QString& nick) {
        TLocalIdentity peer = Self;
        peer.UserId = id;
        peer.NickName = nick;
        return EncodePresence(type, peer, Lang);
    }

    TLoopbackOnly Loopback;
    TTempHome Home;
    quint16 Port = FreePort();
    TApplicationParams Settings{Home.File(QStringLiteral("Config.ini")), Home.Path(),
                                TUserStore(Home.File(QStringLiteral("u.ini")), Home.File(QStringLiteral("a.desktop")))};
    TCommLocal Local{Settings, Home.Path(), QStringLiteral("1.0.0.1")};
    TMessageLang Lang{1033};
    TTransportConfig Config;
    TLocalIdentity Self;
    TCommClient Client{[this] { return Config; }, [this] { return Self; }, Lang};
    TEventSink Sink;
    std::unique_ptr<TCommServer> Server;
};

TEST_F(CommServer, OwnSelfCheckConfirmsTheNetworkOthersDoNot) {
    ASSERT_TRUE(Start()) << Server->ErrorText().toStdString();
    SendRaw(EncodeCheckNetworkState(QStringLiteral("{OTHER}")));
    ASSERT_TRUE(Client.SendCheckNetworkState());
    ASSERT_TRUE(WaitFor(1));
    Settle();
    ASSERT_EQ(Sink.Items.size(), 1);
    EXPECT_EQ(Sink.Items[0].Id, WM_NETWORK_CONFIRMED);
}

TEST_F(CommServer, LogonIsPostedWithTheSourceAddressWhenNoSubnetMatches) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Client.SendLogon());
    ASSERT_TRUE(WaitFor(1));
    EXPECT_EQ(Sink.Items[0].Id, WM_PEER_LOGON);
    EXPECT_EQ(Sink.Items[0].Record.IPAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(Sink.Items[0].Record.UserId, QStringLiteral("{ME}"));
    EXPECT_EQ(Sink.Items[0].Record.NickName, QStringLiteral("Me"));
}

TEST_F(CommServer, OversizedDatagramIsDroppedAndTheNextOneHandled) {
    ASSERT_TRUE(Start());
    // Valid apart from its length: taken as its first 4096 bytes it would be handled.
    SendRaw("QLM_CHECKSIGNALREPLY\t2\t" + QByteArray(5000, 'B'));
    SendRaw("QLM_CHECKSIGNALREPLY\t2\t" + QByteArray(4096 - 23, 'C')); // exactly 4096 bytes
    SendRaw("qlm_checksignalreply\t2\tSMALL");
    ASSERT_TRUE(WaitFor(2));
    Settle();
    ASSERT_EQ(Sink.Items.size(), 2);
    EXPECT_EQ(Sink.Items[0].Record.UserId, QString(4096 - 23, QLatin1Char('C')));
    EXPECT_EQ(Sink.Items[1].Record.UserId, QStringLiteral("SMALL"));
}

TEST_F(CommServer, OwnLogoffIsDroppedOthersArePostedInOrder) {
    ASSERT_TRUE(Start());
    SendRaw(Presence(MessageType::Logoff, QStringLiteral("{me}"), QStringLiteral("Me")));
    for (int i = 0; i < 30; ++i)
        SendRaw(Presence(MessageType::Nickname, QStringLiteral("{P}"), QStringLiteral("n%1").arg(i)));
    SendRaw(Presence(MessageType::Logoff, QStringLiteral("{P}"), QStringLiteral("Peer")));
    ASSERT_TRUE(WaitFor(31));
    Settle();
    ASSERT_EQ(Sink.Items.size(), 31);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(Sink.Items[i].Id, WM_PEER_NICKNAME);
        EXPECT_EQ(Sink.Items[i].Record.NickName, QStringLiteral("n%1").arg(i));
    }
    EXPECT_EQ(Sink.Items[30].Id, WM_PEER_LOGOFF);
}

TEST_F(CommServer, CheckSignalIsAnsweredFromTheReceiver) {
    ASSERT_TRUE(Start());
    // The answer goes to port P of the asker, which here is this listener.
    SendRaw(EncodeCheckSignal(QStringLiteral("{ASKER}")));
    ASSERT_TRUE(WaitFor(1));
    EXPECT_EQ(Sink.Items[0].Id, WM_PEER_SIGNALREPLY);
    EXPECT_EQ(Sink.Items[0].Record.UserId, QStringLiteral("{ME}"));
}

TEST_F(CommServer, MalformedDatagramsNeverStopTheReceiver) {
    ASSERT_TRUE(Start());
    for (const QByteArray& junk : {QByteArray("QLM_LOGON"), QByteArray("QLM_LOGON\tx\t1033"), QByteArray("\t\t\t"),
                                   QByteArray("QLM_LOGON\t2\tnotanumber"), QByteArray("UNKNOWN\t2\tx"), QByteArray(),
                                   QByteArray(4096, '\t'), QByteArray("\xFF\xFE\t2\t\x00", 7)})
        SendRaw(junk);
    SendRaw("QLM_CHECKSIGNALREPLY\t2\tAFTER");
    ASSERT_TRUE(WaitFor(1));
    Settle();
    ASSERT_EQ(Sink.Items.size(), 1);
    EXPECT_EQ(Sink.Items[0].Record.UserId, QStringLiteral("AFTER"));
}

TEST_F(CommServer, SecondListenerOnTheSamePortFailsWithAReason) {
    ASSERT_TRUE(Start());
    TEventSink other;
    TCommServer second(&other, std::make_unique<TDatagramDispatcher>(other, TListenerIdentity{}, Local, Lang, Client));
    TCommServer::TOptions options;
    options.Port = Port;
    options.MulticastGroup.clear();
    options.BindAddress = QHostAddress(QHostAddress::LocalHost);
    EXPECT_FALSE(second.StartListening(options));
    EXPECT_FALSE(second.ErrorText().isEmpty());
    EXPECT_FALSE(second.IsListening());
}

QByteArray Block(const QByteArray& data) {
    QByteArray out(4, '\0');
    qToBigEndian<qint32>(qint32(data.size()), out.data());
    return out + data;
}

TEST_F(CommServer, RequestsAreFramedAndLimited) {
    std::atomic<int> served{0};
    QByteArray lastBody;
    Server->RegisterRequest("QLM_TEST", [&](TRequestContext& c) {
        QByteArray body;
        if (c.Reader.ReadBlock(&body, 1024, c.StallMs) == TRequestReader::rrOk) {
            lastBody = body;
            ++served;
        }
    });
    ASSERT_TRUE(Start(300));
    const auto request = [this](const QByteArray& bytes) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, Port);
        if (!socket.waitForConnected(2000)) return false;
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
        // The listener closes the connection when it is done with the request.
        return socket.waitForDisconnected(3000) || socket.state() == QAbstractSocket::UnconnectedState;
    };
    EXPECT_TRUE(request("qlm_test\t2\r\n" + Block("hello")));
    EXPECT_EQ(served.load(), 1);
    EXPECT_EQ(lastBody, "hello");
    EXPECT_TRUE(request("QLM_TEST\t2\r\n" + Block(QByteArray(2000, 'x')))); // body above the handler's limit
    EXPECT_TRUE(request(QByteArray(20000, 'L') + "\r\n"));                   // header line too long
    EXPECT_TRUE(request("QLM_TEST\t2"));                                     // header never finished: closed after its timeout
    EXPECT_TRUE(request("QLM_TEST\t2\r\n\x00\x00"));                          // body stalls
    EXPECT_TRUE(request("NOTAB\r\n"));
    EXPECT_EQ(served.load(), 1);
    EXPECT_TRUE(request("QLM_TEST\t2\r\n" + Block("again")));
    EXPECT_EQ(served.load(), 2);
}

TEST_F(CommServer, AtMost64RequestsAreServedAtOnce) {
    std::atomic<int> running{0}, peak{0}, served{0};
    std::atomic<bool> release{false};
    Server->RegisterRequest("QLM_TEST", [&](TRequestContext&) {
        const int now = ++running;
        for (int seen = peak.load(); now > seen && !peak.compare_exchange_weak(seen, now);) {}
        while (!release.load()) QThread::msleep(5);
        --running;
        ++served;
    });
    ASSERT_TRUE(Start());
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < 70; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, Port);
        ASSERT_TRUE(socket->waitForConnected(2000));
        socket->write("QLM_TEST\t2\r\n");
        socket->flush();
        sockets.push_back(std::move(socket));
    }
    QDeadlineTimer deadline(5000);
    while (running.load() < 64 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    Settle();
    EXPECT_EQ(running.load(), 64);
    release = true;
    deadline = QDeadlineTimer(10000);
    while (served.load() < 70 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(served.load(), 70); // the others waited in the backlog and were served after
    EXPECT_LE(peak.load(), 64);
}

} // namespace
