#include "core/EventRouterUnit.h"

#include "core/ParamsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "node/NodeUnit.h"
#include "presence/PresenceServiceUnit.h"
#include "presence/UserGroupUnit.h"
#include "protocol/CommConstsUnit.h"
#include "support/PresenceFixtures.h"
#include "support/TestSupport.h"
#include "transfer/TransferServiceUnit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThreadPool>
#include <atomic>
#include <memory>

namespace {

void Drain() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

TEST(EventRouter, DeliversTheRecordToItsOwner) {
    TEventRouter router;
    QList<QPair<qintptr, QString>> seen;
    router.Register<TOnlineNotify>(WM_PEER_STATE, [&](qintptr wParam, TOnlineNotify r) { seen.append({wParam, r.NickName}); });
    int plain = 0;
    router.RegisterPlain(WM_NETWORK_CONFIRMED, [&](qintptr) { ++plain; });
    ASSERT_TRUE(router.Post(WM_PEER_STATE, 7, 0, NamedPeer(QStringLiteral("Ann"))));
    ASSERT_TRUE(router.Post(WM_NETWORK_CONFIRMED));
    Drain();
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].first, 7);
    EXPECT_EQ(seen[0].second, QStringLiteral("Ann"));
    EXPECT_EQ(plain, 1);
    EXPECT_EQ(router.Pending(), 0);
    const TRouterCounts counts = router.Counts();
    EXPECT_EQ(counts.Unrouted + counts.Mistyped + counts.Overflowed, 0u);
}

TEST(EventRouter, MistypedAndUnknownEventsAreDroppedAndCounted) {
    TEventRouter router;
    int handled = 0;
    router.Register<TOnlineNotify>(WM_PEER_LOGON, [&](qintptr, TOnlineNotify) { ++handled; });
    router.RegisterPlain(WM_NETWORK_CONFIRMED, [&](qintptr) { ++handled; });
    router.Post(WM_PEER_LOGON, 0, 0, TBroadcastData());    // wrong record
    router.Post(WM_PEER_LOGON);                             // no record at all
    router.Post(WM_NETWORK_CONFIRMED, 0, 0, TOnlineNotify()); // a record where none belongs
    router.Post(0x1499, 0, 0, TOnlineNotify());             // nobody owns it
    Drain();
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(router.Counts().Mistyped, 3u);
    EXPECT_EQ(router.Counts().Unrouted, 1u);
    EXPECT_EQ(router.Pending(), 0);
}

// One id carrying two kinds of record: each goes to the handler of its type,
// whatever wParam says, and a plain handler of the same id takes only plain events.
TEST(EventRouter, KindsSharingAnIdAreRoutedByTheirRecordType) {
    TEventRouter router;
    QStringList seen;
    router.Register<TOnlineNotify>(WM_PEER_STATE, [&](qintptr, TOnlineNotify r) { seen << "notify:" + r.NickName; });
    router.Register<TBroadcastData>(WM_PEER_STATE, [&](qintptr, TBroadcastData r) { seen << "data:" + r.NickName; });
    router.RegisterPlain(WM_PEER_STATE, [&](qintptr) { seen << QStringLiteral("plain"); });
    // Registering a type again replaces its handler instead of adding a second.
    router.Register<TBroadcastData>(WM_PEER_STATE, [&](qintptr, TBroadcastData r) { seen << "data2:" + r.NickName; });
    TBroadcastData data;
    data.NickName = QStringLiteral("Bob");
    router.Post(WM_PEER_STATE, 1, 0, data);
    router.Post(WM_PEER_STATE, 0, 0, NamedPeer(QStringLiteral("Ann")));
    router.Post(WM_PEER_STATE, 1);
    router.Post(WM_PEER_STATE, 0, 0, TUpdateFileNotify());
    Drain();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("data2:Bob"), QStringLiteral("notify:Ann"), QStringLiteral("plain")}));
    EXPECT_EQ(router.Counts().Mistyped, 1u);
}

// A flooding source is dropped at its own share; another source, and the
// node itself, are still taken, and the flooder gets its share back as its
// events are handled.
TEST(EventRouter, OneSourceBeyondItsShareNeverCrowdsOutAnother) {
    TEventRouter router(80);
    ASSERT_EQ(router.SourceShare(), 10);
    QStringList seen;
    router.Register<TOnlineNotify>(WM_PEER_STATE, [&](qintptr, TOnlineNotify r) { seen << r.NickName; });
    router.RegisterPlain(WM_NETWORK_CONFIRMED, [&](qintptr) { seen << QStringLiteral("self"); });
    int admitted = 0;
    for (int i = 0; i < 15; ++i)
        admitted += router.PostFrom(QStringLiteral("10.0.0.66"), WM_PEER_STATE, 0, 0, NamedPeer(QStringLiteral("m"))) ? 1 : 0;
    EXPECT_EQ(admitted, 10);
    EXPECT_EQ(router.PendingFrom(QStringLiteral("10.0.0.66")), 10);
    EXPECT_TRUE(router.PostFrom(QStringLiteral("10.0.0.7"), WM_PEER_STATE, 0, 0, NamedPeer(QStringLiteral("honest"))));
    EXPECT_TRUE(router.Post(WM_NETWORK_CONFIRMED));
    EXPECT_EQ(router.Counts().Throttled, 5u);
    EXPECT_EQ(router.Counts().Overflowed, 0u);
    Drain();
    EXPECT_EQ(seen.count(QStringLiteral("m")), 10);
    EXPECT_TRUE(seen.contains(QStringLiteral("honest")));
    EXPECT_TRUE(seen.contains(QStringLiteral("self")));
    EXPECT_EQ(router.PendingFrom(QStringLiteral("10.0.0.66")), 0);
    EXPECT_EQ(router.Pending(), 0);
    EXPECT_TRUE(router.PostFrom(QStringLiteral("10.0.0.66"), WM_PEER_STATE, 0, 0, NamedPeer(QStringLiteral("m"))));
    Drain();
}

// With every source within its share, the total bound still holds.
TEST(EventRouter, ManySourcesStillMeetTheTotalBound) {
    TEventRouter router(16); // share 2
    router.Register<TOnlineNotify>(WM_PEER_STATE, [](qintptr, TOnlineNotify) {});
    int admitted = 0;
    for (int source = 0; source < 12; ++source)
        for (int i = 0; i < 2; ++i)
            admitted += router.PostFrom(QStringLiteral("10.0.1.%1").arg(source), WM_PEER_STATE, 0, 0, TOnlineNotify()) ? 1 : 0;
    EXPECT_EQ(admitted, 16);
    EXPECT_EQ(router.Counts().Overflowed, 8u);
    EXPECT_EQ(router.Counts().Throttled, 0u);
    Drain();
    EXPECT_EQ(router.Pending(), 0);
}

// A flood stops at the bound instead of growing the queue; once the main
// thread catches up, events flow again.
TEST(EventRouter, PendingEventsAreBounded) {
    TEventRouter router(3);
    int handled = 0;
    router.Register<TOnlineNotify>(WM_PEER_LOGON, [&](qintptr, TOnlineNotify) { ++handled; });
    int posted = 0;
    for (int i = 0; i < 5; ++i) posted += router.Post(WM_PEER_LOGON, 0, 0, TOnlineNotify()) ? 1 : 0;
    EXPECT_EQ(posted, 3);
    EXPECT_EQ(router.Pending(), 3);
    EXPECT_EQ(router.Counts().Overflowed, 2u);
    Drain();
    EXPECT_EQ(handled, 3);
    EXPECT_EQ(router.Pending(), 0);
    EXPECT_TRUE(router.Post(WM_PEER_LOGON, 0, 0, TOnlineNotify()));
    // Events posted around the router's admission are delivered but never
    // make the pending count go below zero.
    QCoreApplication::postEvent(&router, new TPostedEvent(WM_PEER_LOGON, 0, 0,
                                                          std::make_unique<TEventRecord<TOnlineNotify>>(TOnlineNotify())));
    Drain();
    EXPECT_EQ(handled, 5);
    EXPECT_EQ(router.Pending(), 0);
}

TEST(EventRouter, StoppedRouterDropsWhatArrives) {
    TEventRouter router;
    int handled = 0;
    router.Register<TOnlineNotify>(WM_PEER_LOGON, [&](qintptr, TOnlineNotify) { ++handled; });
    router.Post(WM_PEER_LOGON, 0, 0, TOnlineNotify());
    router.SetEnabled(false);
    Drain();
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(router.Pending(), 0);
}

// Every id the program knows, posted to a real node with a record of the
// wrong type, plus one id nobody owns: nothing crashes, nothing is listed.
TEST(NodeRouting, WrongRecordsNeverReachThePresenceModel) {
    TNetworkOff off; // the node may announce itself: nothing leaves the process
    TNode node;
    node.Model().LoadGroupNodes(true);
    QSignalSpy events(&node, &TNode::EventArrived);
    const QList<int> ids{WM_PEER_LOGON,     WM_PEER_STATE,       WM_PEER_NICKNAME,        WM_PEER_LOGOFF,
                         WM_PEER_BROADCAST, WM_PEER_MESSAGE,     WM_PEER_FILES,           WM_PEER_LOGONREPLY,
                         WM_PEER_FILEREQUEST, WM_PEER_FILEREPLY, WM_FILE_REQUESTCANCELED, WM_FILE_PEERHANDLE,
                         WM_FILE_TERMINATED, WM_NETWORK_CONFIRMED, WM_PEER_SIGNALREPLY,  WM_UPDATE_PEERREPLY,
                         WM_UPDATE_FILERECEIVED, WM_UPDATE_FILESDONE};
    TBroadcastData wrong;
    wrong.NickName = QStringLiteral("Mallory");
    wrong.ComputerName = QStringLiteral("PC-M");
    wrong.IPAddress = QStringLiteral("10.0.0.9");
    // The chat ids take exactly this record; for them a presence record is the wrong one.
    for (const int id : ids) {
        if (TChatService::EventIds().contains(id)) node.Router().Post(id, 0, 0, NamedPeer(QStringLiteral("Mallory")));
        else node.Router().Post(id, 0, 0, wrong);
    }
    node.Router().Post(0x14FF, 0, 0, NamedPeer(QStringLiteral("Ghost")));
    Drain();
    EXPECT_TRUE(node.Model().UserIndexes().isEmpty());
    EXPECT_EQ(events.count(), 0);
    EXPECT_FALSE(node.NetworkConfirmed());
    const TRouterCounts counts = node.Router().Counts();
    // The presence, chat, file and update ids and the plain confirmation are owned but mistyped,
    // except a file reply (for a handle nobody owns) and an update answer (no check is open),
    // which take this record; the rest have no owner yet.
    const quint64 fileReplies = 1;
    const quint64 updateIds = 3, updateAnswers = 1;
    EXPECT_EQ(counts.Mistyped, quint64(TPresenceService::EventIds().size() + TChatService::EventIds().size() + 1
                                       + TTransferService::EventIds().size() + updateIds)
                                   - fileReplies - updateAnswers);
    EXPECT_EQ(counts.Unrouted, quint64(ids.size() + 1) - counts.Mistyped - fileReplies - updateAnswers);
}

TEST(NodeRouting, PresenceEventsReachTheModel) {
    TNetworkOff off; // the node may announce itself: nothing leaves the process
    TNode node;
    node.Model().LoadGroupNodes(true);
    node.Router().Post(WM_PEER_LOGONREPLY, 0, 0, NamedPeer(QStringLiteral("Ann")));
    Drain();
    EXPECT_TRUE(UserByNick(node.Model(), "Ann").isValid());
}

// Positions of users first seen just before the end wait in memory; stopping
// the node (Exit, SIGTERM, quit) writes them.
TEST(NodeShutdown, WritesWaitingGroupPositions) {
    TNetworkOff off; // the node may announce itself: nothing leaves the process
    TNode node;
    node.Model().LoadGroupNodes(true);
    for (const char* nick : {"Ann", "Bob", "Cy"}) node.Router().Post(WM_PEER_LOGONREPLY, 0, 0, NamedPeer(QLatin1String(nick)));
    Drain();
    ASSERT_EQ(node.Model().UserIndexes().size(), 3);
    EXPECT_GT(TUserGroup::Instance().PendingPositionCount(), 0);
    node.Stop();
    EXPECT_EQ(TUserGroup::Instance().PendingPositionCount(), 0);
    EXPECT_GE(TUserGroup::Instance().GetUserPosition(NamedPeerKey(QStringLiteral("Cy"))), 0);
}

// Self-checks echoed (or spoofed) more often than the check interval must
// neither postpone the presence check nor announce the node again.
TEST(NodeNetwork, RepeatedConfirmationsDoNotPostponeTheCheck) {
    TNetworkOff off; // the node may announce itself: nothing leaves the process
    TNodeTimings timings;
    timings.SignalMs = 300;
    TNode node(timings);
    QSignalSpy ready(&node, &TNode::NetworkReady);
    QSignalSpy checks(&node, &TNode::PresenceCheckStarted);
    node.Router().Post(WM_NETWORK_CONFIRMED);
    const bool checked = QTest::qWaitFor(
        [&] {
            node.Router().Post(WM_NETWORK_CONFIRMED);
            QTest::qWait(50);
            return checks.count() > 0;
        },
        5000);
    EXPECT_TRUE(checked);
    EXPECT_EQ(ready.count(), 1);
    EXPECT_TRUE(node.NetworkConfirmed());
}

// Looks up names on whatever thread asks, and remembers which one it was.
struct TResolverProbe {
    std::atomic<bool> Called{false};
    std::atomic<bool> OnMainThread{false};
    TTransportConfig::TResolver Resolver() {
        return [this](const QString&, QString* address) {
            OnMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
            Called = true;
            *address = QStringLiteral("127.0.0.1");
            return true;
        };
    }
};

// A broadcast list naming hosts must not freeze the window while the names
// are looked up: refreshing announces from a worker.
TEST(NodeNetwork, RefreshResolvesHostNamesOffTheMainThread) {
    TNetworkOff off; // the node may announce itself: nothing leaves the process
    TApplicationParams& p = Params();
    const bool oldMulticast = p[bpUseUDPIPMulticast];
    const QString oldList = p[spUDPBroadcastIPList];
    p[bpUseUDPIPMulticast] = false;
    p[spUDPBroadcastIPList] = QStringLiteral("+slow-host.example");
    {
        TNode node;
        TResolverProbe probe;
        node.SetResolver(probe.Resolver());
        node.Model().LoadGroupNodes(true);
        node.RefreshOnlineList();
        ASSERT_TRUE(QTest::qWaitFor([&] { return probe.Called.load(); }, 5000));
        EXPECT_FALSE(probe.OnMainThread.load());
        QThreadPool::globalInstance()->waitForDone();
    }
    p[bpUseUDPIPMulticast] = oldMulticast;
    p[spUDPBroadcastIPList] = oldList;
}

// A node that could not listen at start (here: its port taken, as when the
// network is not up yet) says so once and keeps trying until it listens.
TEST(NodeNetwork, ListeningIsRetriedUntilItStarts) {
    TLoopbackOnly loopback;
    auto blocker = std::make_unique<QTcpServer>();
    ASSERT_TRUE(blocker->listen(QHostAddress::LocalHost, 0));
    TApplicationParams& p = Params();
    const int oldPort = p[ipListeningPort];
    p[ipListeningPort] = blocker->serverPort();
    {
        TNodeTimings timings;
        timings.LoadMs = 10;
        timings.RepeatMs = 50;
        TNode node(timings);
        QSignalSpy failed(&node, &TNode::ListenFailed);
        node.Start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return failed.count() > 0; }, 5000));
        QTest::qWait(200); // several retries, all failing
        EXPECT_FALSE(node.IsListening());
        EXPECT_EQ(failed.count(), 1);
        blocker.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return node.IsListening(); }, 5000));
        EXPECT_EQ(failed.count(), 1);
        node.Stop();
    }
    p[ipListeningPort] = oldPort;
}

} // namespace
