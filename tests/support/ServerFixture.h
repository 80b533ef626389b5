#pragma once
// A TCommServer on 127.0.0.1 with everything it needs, for the listener tests.

#include "core/ParamsUnit.h"
#include "presence/PresenceServiceUnit.h"
#include "core/EventRouterUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "text/MsgLangUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>

// Collects what the listener posts, as the node's router would hand it on.
class TEventSink : public TEventRouter {
public:
    struct TItem {
        int Id;
        TOnlineNotify Record;
    };
    QList<TItem> Items;

    TEventSink() {
        for (const int id : TPresenceService::EventIds())
            Register<TOnlineNotify>(id, [this, id](qintptr, TOnlineNotify record) { Items.append({id, std::move(record)}); });
        RegisterPlain(WM_NETWORK_CONFIRMED, [this](qintptr) { Items.append({WM_NETWORK_CONFIRMED, TOnlineNotify()}); });
    }
};

// Runs the event loop until done() holds or timeoutMs passed; returns done().
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// A listener on 127.0.0.1 and a sender aimed at it, with this node's id "{ME}".
class TServerFixture : public ::testing::Test {
protected:
    TServerFixture() {
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
            std::make_unique<TDatagramDispatcher>(Sink, TListenerIdentity{QStringLiteral("{ME}"), QStringLiteral("MYPC")},
                                                         Local, Lang, Client));
    }
    ~TServerFixture() override { Server->StopListening(); }

    // Loopback options; the header deadline and stall limits short for tests.
    TCommServer::TOptions LoopbackOptions(int headerMs = TRequestReader::HeaderTimeoutMs) const {
        TCommServer::TOptions options;
        options.Port = Port;
        options.MulticastGroup.clear();
        options.BindAddress = QHostAddress(QHostAddress::LocalHost);
        options.HeaderTimeoutMs = headerMs;
        options.StallTimeoutMs = 300;
        return options;
    }
    bool Start(int headerMs = TRequestReader::HeaderTimeoutMs) { return Server->StartListening(LoopbackOptions(headerMs)); }
    // One TCP request as a peer writes it; true once the listener closed the connection.
    bool RawRequest(const QByteArray& bytes) const {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, Port);
        if (!socket.waitForConnected(2000)) return false;
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
        return socket.waitForDisconnected(3000) || socket.state() == QAbstractSocket::UnconnectedState;
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
