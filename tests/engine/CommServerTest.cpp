#include "core/ParamsUnit.h"
#include "core/EventRouterUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "text/MsgLangUnit.h"
#include "support/ServerFixture.h"
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
#include <thread>
#include <vector>

#include <QElapsedTimer>
#include <QThread>

namespace {

// The shared listener fixture, with the helpers these cases use.
class CommServer : public TServerFixture {
protected:
    // Runs the event loop until count events arrived or 5 s passed.
    bool WaitFor(int count) {
        return WaitUntil([&] { return Sink.Items.size() >= count; });
    }
    void Settle() {
        QDeadlineTimer deadline(300);
        while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    void SendRaw(const QByteArray& datagram) {
        QUdpSocket socket;
        ASSERT_EQ(socket.writeDatagram(datagram, QHostAddress::LocalHost, Port), datagram.size());
    }
    QByteArray Presence(const char* type, const QString& id, const QString& nick) {
        TLocalIdentity peer = Self;
        peer.UserId = id;
        peer.NickName = nick;
        return EncodePresence(type, peer, Lang);
    }
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
    TCommServer second(std::make_unique<TDatagramDispatcher>(other, TListenerIdentity{}, Local, Lang, Client));
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
    // The listener closes the connection when it is done with the request.
    const auto request = [this](const QByteArray& bytes) { return RawRequest(bytes); };
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

TEST_F(CommServer, AtMostThePoolsWorkersServeAtOnce) {
    std::atomic<int> running{0}, peak{0}, served{0};
    std::atomic<bool> release{false};
    Server->RegisterRequest("QLM_TEST", [&](TRequestContext&) {
        const int now = ++running;
        for (int seen = peak.load(); now > seen && !peak.compare_exchange_weak(seen, now);) {}
        while (!release.load()) QThread::msleep(5);
        --running;
        ++served;
    });
    // One host here, so its own limits are lifted to reach the pool's.
    constexpr int kPool = TCommServer::MaxConcurrentRequests;
    constexpr int kRequests = kPool + 6;
    TCommServer::TOptions options = LoopbackOptions();
    options.MaxRequestsPerHost = kRequests + 30;
    options.MaxConnectionsPerHost = kRequests + 30;
    ASSERT_TRUE(Server->StartListening(options));
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < kRequests; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, Port);
        ASSERT_TRUE(socket->waitForConnected(2000));
        socket->write("QLM_TEST\t2\r\n");
        socket->flush();
        sockets.push_back(std::move(socket));
    }
    QDeadlineTimer deadline(5000);
    while (running.load() < kPool && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    Settle();
    EXPECT_EQ(running.load(), kPool);
    release = true;
    deadline = QDeadlineTimer(10000);
    while (served.load() < kRequests && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(served.load(), kRequests); // the others waited in the backlog and were served after
    EXPECT_LE(peak.load(), kPool);
}

// A steady flood of datagrams must not keep the receiver from closing: the
// listener is stopped while three senders keep its socket full.
TEST_F(CommServer, StopsWhileDatagramsKeepComing) {
    ASSERT_TRUE(Start());
    std::atomic<bool> flood{true};
    std::vector<std::thread> senders;
    for (int i = 0; i < 3; ++i)
        senders.emplace_back([&] {
            QUdpSocket out;
            const QByteArray junk("QLM_NOSUCHTYPE\t2\tflood");
            while (flood.load()) out.writeDatagram(junk, QHostAddress::LocalHost, Port);
        });
    QThread::msleep(300);
    QElapsedTimer clock;
    clock.start();
    Server->StopListening();
    // A liveness bound, not a speed target: the stop takes milliseconds, a
    // receiver that reads until its socket is empty took up to 47 s.
    const qint64 took = clock.elapsed();
    flood = false;
    for (std::thread& t : senders) t.join();
    EXPECT_LT(took, 5000) << "the receiver went on reading the flood instead of closing";
    EXPECT_FALSE(Server->IsListening());
}

} // namespace
