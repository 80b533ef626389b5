// The neighbourhood service against fake sources and resolvers: reads run off
// the calling thread and end within their limit whatever a source does, a
// computer seen by several sources is one row, resolution stays within its
// width, and refreshes replace what was there.
#include "neighbourhood/NeighbourhoodServiceUnit.h"
#include "support/NeighbourhoodFakes.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

using namespace NetFake;

namespace {

TNetLimits QuickLimits() {
    TNetLimits limits;
    limits.BrowseMs = 300;
    limits.ResolveMs = 300;
    limits.ResolveJobs = 4;
    return limits;
}

TNetBrowseResult Containers(QStringList names) {
    TNetBrowseResult r;
    r.Containers = std::move(names);
    return r;
}

TNetBrowseResult Computers(QList<TNetSighting> computers) {
    TNetBrowseResult r;
    r.Computers = std::move(computers);
    return r;
}

// An SMB-like tree: two workgroups at the root, computers per workgroup.
std::shared_ptr<TFakeSource> SmbTree() {
    return std::make_shared<TFakeSource>(nsSmb, QStringLiteral("SMB"), false, [](const QString& container) {
        if (container.isEmpty()) return Containers({QStringLiteral("Office"), QStringLiteral("Lab")});
        if (container == QStringLiteral("Office"))
            return Computers({Seen("Office", "ALPHA"), Seen("Office", "beta")});
        return Computers({Seen("Lab", "GAMMA")});
    });
}

std::shared_ptr<TFakeSource> FlatSource(TNetSources id, QList<TNetSighting> computers) {
    return std::make_shared<TFakeSource>(id, id == nsWsd ? QStringLiteral("WS-Discovery") : QStringLiteral("mDNS"), true,
                                         [computers](const QString&) { return Computers(computers); });
}

// Every signal of one service, in the order they came.
struct TRecorder {
    explicit TRecorder(TNeighbourhoodService& s) {
        QObject::connect(&s, &TNeighbourhoodService::ChildrenReplaced, &s,
                         [this](const QString& key, const QList<TNetItem>& rows) {
                             QStringList names;
                             for (const TNetItem& r : rows) names << r.DisplayName;
                             Log << QStringLiteral("replaced %1: %2").arg(key, names.join(','));
                         });
        QObject::connect(&s, &TNeighbourhoodService::ItemChanged, &s, [this](const TNetItem& item) {
            Log << QStringLiteral("changed %1 %2").arg(item.Key, item.IPAddress);
            Changed << item;
        });
        QObject::connect(&s, &TNeighbourhoodService::EnumerationFinished, &s, [this](const QString& key) {
            Log << QStringLiteral("finished %1").arg(key);
            Finished << key;
        });
        QObject::connect(&s, &TNeighbourhoodService::SourceFailed, &s,
                         [this](TNetSources source, const QString& key, const QString&) {
                             Log << QStringLiteral("failed %1 %2").arg(source).arg(key);
                             Failed << source;
                         });
        QObject::connect(&s, &TNeighbourhoodService::SourceUnavailable, &s, [this](TNetSources source, const QString&) {
            Log << QStringLiteral("unavailable %1").arg(source);
            Unavailable << source;
        });
    }
    // Waits until key's read has finished count times.
    bool WaitFinished(const QString& key, int count = 1, int ms = 10000) {
        return QTest::qWaitFor([&] { return Finished.count(key) >= count; }, ms);
    }
    QStringList Log;
    QStringList Finished;
    QList<TNetSources> Failed;
    QList<TNetSources> Unavailable;
    QList<TNetItem> Changed;
};

QStringList Names(const QList<TNetItem>& rows) {
    QStringList out;
    for (const TNetItem& r : rows) out << r.DisplayName;
    return out;
}

TEST(NeighbourhoodService, ReadsTheRootThenAContainerAndResolvesEachComputer) {
    TFakeResolver resolver;
    resolver.Lookup = [](const QString& name) {
        return name == QStringLiteral("ALPHA") ? QStringLiteral("10.1.0.1") : QString();
    };
    TNeighbourhoodService service;
    service.SetLimits(QuickLimits());
    service.SetResolver(resolver.Function());
    service.SetSources({SmbTree(), FlatSource(nsWsd, {Seen("OFFICE", "Alpha", "10.9.9.9"), Seen("", "DELTA", "10.1.0.4")})});
    TRecorder rec(service);

    service.Enumerate(QString());
    EXPECT_TRUE(service.IsBusy(QString()));
    ASSERT_TRUE(rec.WaitFinished(QString()));
    EXPECT_FALSE(service.IsBusy(QString()));
    EXPECT_EQ(Names(service.Children(QString())), (QStringList{"Lab", "Office", "Other Computers"}));
    EXPECT_EQ(service.Item(QStringLiteral("OFFICE"))->Sources, nsSmb | nsWsd);

    service.Enumerate(QStringLiteral("OFFICE"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("OFFICE")));
    const QList<TNetItem> office = service.Children(QStringLiteral("OFFICE"));
    ASSERT_EQ(Names(office), (QStringList{"ALPHA", "beta"}));
    // The resolver's address wins over the source's; none at all stays empty.
    EXPECT_EQ(office[0].IPAddress, QStringLiteral("10.1.0.1"));
    EXPECT_EQ(office[0].Sources, nsSmb | nsWsd);
    EXPECT_TRUE(office[1].IPAddress.isEmpty());
    for (const TNetItem& row : office) EXPECT_TRUE(row.Resolved) << row.Key.toStdString();
    // ChildrenReplaced, then one ItemChanged per computer, EnumerationFinished last.
    const int replaced = int(rec.Log.indexOf("replaced OFFICE: ALPHA,beta"));
    ASSERT_GE(replaced, 0);
    EXPECT_EQ(rec.Log.mid(replaced + 1, 2).filter("changed OFFICE/").size(), 2);
    EXPECT_EQ(rec.Log.last(), QStringLiteral("finished OFFICE"));

    // The resolver knows nothing of DELTA: the flat source's address stands.
    service.Enumerate(QStringLiteral("*"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("*")));
    const QList<TNetItem> other = service.Children(QStringLiteral("*"));
    ASSERT_EQ(other.size(), 1);
    EXPECT_EQ(other[0].IPAddress, QStringLiteral("10.1.0.4"));
    EXPECT_EQ(other[0].ParentKey, QStringLiteral("*"));
}

TEST(NeighbourhoodService, SourcesOfOneReadRunAtOnceOffTheCallingThread) {
    // Each source waits for the other: one after the other would overrun.
    std::atomic<int> arrived{0};
    std::atomic<bool> onCallingThread{false};
    QThread* const main = QThread::currentThread();
    auto meet = [&] {
        if (QThread::currentThread() == main) onCallingThread = true;
        ++arrived;
        const QDeadlineTimer until(2000);
        while (arrived.load() < 2 && !until.hasExpired()) QThread::msleep(2);
    };
    auto smb = SmbTree();
    auto wsd = FlatSource(nsWsd, {Seen("WG", "PC")});
    smb->Before = meet;
    wsd->Before = meet;
    TNetLimits limits = QuickLimits();
    limits.BrowseMs = 1500;
    TNeighbourhoodService service;
    service.SetLimits(limits);
    service.SetSources({smb, wsd});
    TRecorder rec(service);
    service.Enumerate(QString());
    ASSERT_TRUE(rec.WaitFinished(QString()));
    EXPECT_TRUE(rec.Failed.isEmpty());
    EXPECT_FALSE(onCallingThread.load());
    EXPECT_EQ(service.Children(QString()).size(), 3);
}

TEST(NeighbourhoodService, ASilentSourceIsAbandonedAtItsLimitAndItsLateAnswerIgnored) {
    auto silent = FlatSource(nsMdns, {});
    silent->Silent = true;
    TNeighbourhoodService service;
    service.SetLimits(QuickLimits());
    service.SetSources({SmbTree(), silent});
    TRecorder rec(service);
    service.Enumerate(QString());
    ASSERT_TRUE(rec.WaitFinished(QString()));
    EXPECT_EQ(rec.Failed, QList<TNetSources>{nsMdns});
    EXPECT_LT(rec.Log.indexOf(QStringLiteral("failed 4 ")), rec.Log.indexOf(QStringLiteral("finished ")));
    EXPECT_EQ(Names(service.Children(QString())), (QStringList{"Lab", "Office"}));
    // The silent source sees its flag and answers late; nothing of it shows.
    QTest::qWait(200);
    EXPECT_EQ(Names(service.Children(QString())), (QStringList{"Lab", "Office"}));
    EXPECT_EQ(rec.Finished.count(QString()), 1);

    // Its root answer (none) stands for the containers' reads for a while.
    service.Enumerate(QStringLiteral("LAB"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("LAB")));
    EXPECT_EQ(Names(service.Children(QStringLiteral("LAB"))), QStringList{"GAMMA"});
    EXPECT_EQ(silent->Calls.load(), 1);
}

TEST(NeighbourhoodService, AnUnavailableSourceIsReportedOncePerService) {
    auto absent = std::make_shared<TFakeSource>(nsMdns, QStringLiteral("mDNS"), true, [](const QString&) {
        TNetBrowseResult r;
        r.Available = false;
        r.Error = QStringLiteral("no daemon");
        r.Computers << Seen("", "GHOST");
        return r;
    });
    TNeighbourhoodService service;
    service.SetLimits(QuickLimits());
    service.SetSources({SmbTree(), absent});
    TRecorder rec(service);
    for (int i = 1; i <= 3; ++i) {
        service.Enumerate(QString());
        ASSERT_TRUE(rec.WaitFinished(QString(), i));
    }
    service.Enumerate(QStringLiteral("LAB"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("LAB")));
    EXPECT_EQ(absent->Calls.load(), 3);
    EXPECT_EQ(rec.Unavailable, QList<TNetSources>{nsMdns});
    EXPECT_TRUE(rec.Failed.isEmpty());
    // What an unavailable source says is not taken.
    EXPECT_FALSE(service.Item(QStringLiteral("*")).has_value());
}

TEST(NeighbourhoodService, AFailingSourceIsReportedPerRead) {
    auto failing = std::make_shared<TFakeSource>(nsSmb, QStringLiteral("SMB"), false, [](const QString&) {
        TNetBrowseResult r;
        r.Error = QStringLiteral("refused");
        return r;
    });
    TNeighbourhoodService service;
    service.SetLimits(QuickLimits());
    service.SetSources({failing, FlatSource(nsWsd, {Seen("WG", "PC")})});
    TRecorder rec(service);
    service.Enumerate(QString());
    ASSERT_TRUE(rec.WaitFinished(QString()));
    service.Enumerate(QString());
    ASSERT_TRUE(rec.WaitFinished(QString(), 2));
    EXPECT_EQ(rec.Failed, (QList<TNetSources>{nsSmb, nsSmb}));
    EXPECT_TRUE(rec.Unavailable.isEmpty());
    EXPECT_EQ(Names(service.Children(QString())), QStringList{"WG"});
}

TEST(NeighbourhoodService, AReadOfABusyKeyIsNotStartedTwice) {
    auto smb = SmbTree();
    smb->Held = true;
    TNetLimits limits = QuickLimits();
    limits.BrowseMs = 5000;
    TNeighbourhoodService service;
    service.SetLimits(limits);
    service.SetSources({smb});
    TRecorder rec(service);
    service.Enumerate(QString());
    service.Enumerate(QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return smb->Calls.load() >= 1; }, 5000));
    service.Enumerate(QString());
    QTest::qWait(50);
    EXPECT_TRUE(service.IsBusy(QString()));
    smb->Gate.Release();
    ASSERT_TRUE(rec.WaitFinished(QString()));
    QTest::qWait(50);
    EXPECT_EQ(smb->Calls.load(), 1);
    EXPECT_EQ(rec.Finished.count(QString()), 1);
    EXPECT_EQ(rec.Log.filter(QStringLiteral("replaced :")).size(), 1);
}

TEST(NeighbourhoodService, ResolutionRunsAtMostResolveJobsAtOnce) {
    QList<TNetSighting> many;
    for (int i = 0; i < 24; ++i) many << Seen("WG", QStringLiteral("PC%1").arg(i, 2, 10, QLatin1Char('0')));
    TFakeResolver resolver;
    resolver.DelayMs = 20;
    resolver.Lookup = [](const QString& name) { return QStringLiteral("10.2.0.%1").arg(name.mid(2).toInt() + 1); };
    auto smb = std::make_shared<TFakeSource>(nsSmb, QStringLiteral("SMB"), false, [many](const QString& c) {
        return c.isEmpty() ? Containers({"WG"}) : Computers(many);
    });
    TNetLimits limits = QuickLimits();
    limits.ResolveJobs = 3;
    limits.ResolveMs = 5000;
    TNeighbourhoodService service;
    service.SetLimits(limits);
    service.SetResolver(resolver.Function());
    service.SetSources({smb});
    TRecorder rec(service);
    service.Enumerate(QString());
    ASSERT_TRUE(rec.WaitFinished(QString()));
    service.Enumerate(QStringLiteral("WG"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("WG")));
    EXPECT_EQ(resolver.Calls.load(), 24);
    EXPECT_LE(resolver.MostAtOnce.load(), 3);
    EXPECT_GE(resolver.MostAtOnce.load(), 2);  // in parallel, not one by one
    EXPECT_EQ(rec.Changed.size(), 24);
    for (const TNetItem& row : service.Children(QStringLiteral("WG")))
        EXPECT_EQ(row.IPAddress, QStringLiteral("10.2.0.%1").arg(row.ComputerName.mid(2).toInt() + 1));
}

TEST(NeighbourhoodService, AResolverThatOverrunsIsAbandonedWithTheSourcesAddress) {
    TFakeResolver resolver;
    resolver.DelayMs = 60000;  // returns only when told to give up
    resolver.Lookup = [](const QString&) { return QStringLiteral("10.3.0.1"); };
    auto smb = std::make_shared<TFakeSource>(nsSmb, QStringLiteral("SMB"), false, [](const QString& c) {
        return c.isEmpty() ? Containers({"WG"}) : Computers({Seen("WG", "HINTED", "10.3.0.9"), Seen("WG", "BARE")});
    });
    TNeighbourhoodService service;
    service.SetLimits(QuickLimits());
    service.SetResolver(resolver.Function());
    service.SetSources({smb});
    TRecorder rec(service);
    service.Enumerate(QString());
    ASSERT_TRUE(rec.WaitFinished(QString()));
    service.Enumerate(QStringLiteral("WG"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("WG")));
    const QList<TNetItem> rows = service.Children(QStringLiteral("WG"));
    ASSERT_EQ(Names(rows), (QStringList{"BARE", "HINTED"}));
    EXPECT_TRUE(rows[0].IPAddress.isEmpty());
    EXPECT_TRUE(rows[0].Resolved);
    EXPECT_EQ(rows[1].IPAddress, QStringLiteral("10.3.0.9"));
}

TEST(NeighbourhoodService, ATreeSourcePlacesAComputerAndItLeavesOtherComputers) {
    TNeighbourhoodService service;
    service.SetLimits(QuickLimits());
    service.SetSources({SmbTree(), FlatSource(nsMdns, {Seen("", "gamma"), Seen("", "EPSILON")})});
    TRecorder rec(service);
    service.Enumerate(QString());
    ASSERT_TRUE(rec.WaitFinished(QString()));
    service.Enumerate(QStringLiteral("*"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("*")));
    EXPECT_EQ(Names(service.Children(QStringLiteral("*"))), (QStringList{"EPSILON", "gamma"}));
    service.Enumerate(QStringLiteral("LAB"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("LAB")));
    EXPECT_EQ(Names(service.Children(QStringLiteral("*"))), QStringList{"EPSILON"});
    EXPECT_TRUE(rec.Log.contains(QStringLiteral("replaced *: EPSILON")));
    const QList<TNetItem> lab = service.Children(QStringLiteral("LAB"));
    ASSERT_EQ(lab.size(), 1);
    EXPECT_EQ(lab[0].Sources, nsSmb | nsMdns);
    // Read again, "*" keeps it out.
    service.Enumerate(QStringLiteral("*"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("*"), 2));
    EXPECT_EQ(Names(service.Children(QStringLiteral("*"))), QStringList{"EPSILON"});
}

TEST(NeighbourhoodService, AContainersReadAsksTheFlatSourcesAgainOnlyWhenTheirWordIsOld) {
    for (const int cacheMs : {0, 60000}) {
        auto mdns = FlatSource(nsMdns, {Seen("", "OLD")});
        TNetLimits limits = QuickLimits();
        limits.FlatCacheMs = cacheMs;
        TNeighbourhoodService service;
        service.SetLimits(limits);
        service.SetSources({SmbTree(), mdns});
        TRecorder rec(service);
        service.Enumerate(QString());
        ASSERT_TRUE(rec.WaitFinished(QString()));
        mdns->SetAnswer([](const QString&) { return Computers({Seen("", "NEW")}); });
        QTest::qWait(5);
        service.Enumerate(QStringLiteral("*"));
        ASSERT_TRUE(rec.WaitFinished(QStringLiteral("*")));
        EXPECT_EQ(Names(service.Children(QStringLiteral("*"))), QStringList{cacheMs == 0 ? "NEW" : "OLD"}) << cacheMs;
        EXPECT_EQ(mdns->AskedFor(), cacheMs == 0 ? (QStringList{"", ""}) : QStringList{""}) << cacheMs;
    }
}

TEST(NeighbourhoodService, ATreeSourceIsAskedOnlyAboutContainersItNamed) {
    auto smb = SmbTree();
    TNeighbourhoodService service;
    service.SetLimits(QuickLimits());
    service.SetSources({smb, FlatSource(nsWsd, {Seen("WsdOnly", "PC9")})});
    TRecorder rec(service);
    service.Enumerate(QString());
    ASSERT_TRUE(rec.WaitFinished(QString()));
    service.Enumerate(QStringLiteral("WSDONLY"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("WSDONLY")));
    EXPECT_EQ(Names(service.Children(QStringLiteral("WSDONLY"))), QStringList{"PC9"});
    EXPECT_EQ(smb->AskedFor(), QStringList{""});
    EXPECT_TRUE(rec.Failed.isEmpty());
}

TEST(NeighbourhoodService, RefreshAllForgetsEveryRowAndReadsTheRootAgain) {
    auto smb = SmbTree();
    TNeighbourhoodService service;
    service.SetLimits(QuickLimits());
    service.SetSources({smb});
    TRecorder rec(service);
    service.Enumerate(QString());
    ASSERT_TRUE(rec.WaitFinished(QString()));
    service.Enumerate(QStringLiteral("OFFICE"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("OFFICE")));
    ASSERT_EQ(service.Children(QStringLiteral("OFFICE")).size(), 2);

    smb->SetAnswer([](const QString& c) {
        return c.isEmpty() ? Containers({"Office", "Home"}) : Computers({Seen("Office", "NEW")});
    });
    service.RefreshAll();
    EXPECT_TRUE(service.Children(QString()).isEmpty());
    EXPECT_FALSE(service.Item(QStringLiteral("OFFICE/ALPHA")).has_value());
    ASSERT_TRUE(rec.WaitFinished(QString(), 2));
    EXPECT_EQ(Names(service.Children(QString())), (QStringList{"Home", "Office"}));
    EXPECT_TRUE(service.Children(QStringLiteral("OFFICE")).isEmpty());
    service.Enumerate(QStringLiteral("OFFICE"));
    ASSERT_TRUE(rec.WaitFinished(QStringLiteral("OFFICE"), 2));
    EXPECT_EQ(Names(service.Children(QStringLiteral("OFFICE"))), QStringList{"NEW"});
}

TEST(NeighbourhoodService, ReadingTheRootAgainEndsTheReadsBelowIt) {
    auto smb = SmbTree();
    TNetLimits limits = QuickLimits();
    limits.BrowseMs = 5000;
    TNeighbourhoodService service;
    service.SetLimits(limits);
    service.SetSources({smb});
    TRecorder rec(service);
    service.Enumerate(QString());
    ASSERT_TRUE(rec.WaitFinished(QString()));
    smb->Held = true;
    service.Enumerate(QStringLiteral("LAB"));
    EXPECT_TRUE(service.IsBusy(QStringLiteral("LAB")));
    service.RefreshAll();
    // The view's spinner on LAB stops; the row is gone.
    EXPECT_EQ(rec.Finished.count(QStringLiteral("LAB")), 1);
    EXPECT_FALSE(service.IsBusy(QStringLiteral("LAB")));
    smb->Gate.Release();
    ASSERT_TRUE(rec.WaitFinished(QString(), 2));
    EXPECT_EQ(rec.Finished.count(QStringLiteral("LAB")), 1);
    EXPECT_TRUE(service.Children(QStringLiteral("LAB")).isEmpty());
}

TEST(NeighbourhoodService, EnumeratingAComputerOrAnUnknownKeyJustFinishes) {
    TNeighbourhoodService service;
    service.SetLimits(QuickLimits());
    service.SetSources({SmbTree()});
    TRecorder rec(service);
    service.Enumerate(QStringLiteral("NOWHERE"));
    EXPECT_EQ(rec.Finished, QStringList{"NOWHERE"});
    EXPECT_FALSE(service.IsBusy(QStringLiteral("NOWHERE")));
}

TEST(NeighbourhoodService, DestructionCancelsRunningReadsAndWaits) {
    auto smb = SmbTree();
    smb->Held = true;
    {
        TNetLimits limits = QuickLimits();
        limits.BrowseMs = 60000;
        TNeighbourhoodService service;
        service.SetLimits(limits);
        service.SetSources({smb});
        service.Enumerate(QString());
        ASSERT_TRUE(QTest::qWaitFor([&] { return smb->Calls.load() == 1; }, 5000));
    }
    // The source was told to stop and nothing is left behind to call back.
    QTest::qWait(20);
    EXPECT_EQ(smb->Calls.load(), 1);
}

} // namespace
