// The network panel with a workgroup of N computers (200 by default): the real
// service, WS-Discovery source and name resolver against fake responders on
// 127.0.0.1 (on their own thread), the real panel shown offscreen. Prints how
// long the rows take to appear and resolve after the expand and the longest
// stall of the GUI thread, each against a baseline measured in the same run:
// the same source and resolver called directly, and an idle event loop.
#include "neighbourhood/NeighbourhoodServiceUnit.h"
#include "neighbourhood/NetResolverUnit.h"
#include "neighbourhood/WsdSourceUnit.h"
#include "neighbourhood/widgets/NetworkTreeUnit.h"
#include "support/ConsoleFakePeer.h"
#include "support/WsdFixtures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <future>
#include <memory>

namespace {

const QString kWorkgroup = QStringLiteral("BENCHWG");

QString PcName(int i) { return QStringLiteral("PC%1").arg(i, 3, 10, QLatin1Char('0')); }
QByteArray PcAddress(int i) { return QByteArray::fromHex(QByteArray::number(0x7f000100 + i, 16)); }  // 127.0.1.i

// The workgroup's answers: one probe with every computer (ten to a datagram),
// each computer's metadata by HTTP, and a name server knowing every name.
class TFakeOffice : public QObject {
public:
    explicit TFakeOffice(int computers) : FComputers(computers) {
        FHttp.listen(QHostAddress::LocalHost, 0);
        connect(&FHttp, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = FHttp.nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { Serve(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        FUdp.bind(QHostAddress::LocalHost, 0);
        connect(&FUdp, &QUdpSocket::readyRead, this, [this] { Probed(); });
        FNames = std::make_unique<ConsoleFake::TFakeNameServer>([](quint16 id, const QByteArray& query) {
            const auto name = ConsoleWire::DecodeName(query.mid(13, 32));
            if (!name) return QList<QByteArray>{};
            const QByteArray asked = name->first.trimmed();
            const int i = QString::fromLatin1(asked).mid(2).toInt();
            return QList<QByteArray>{ConsoleFake::Answer(id, {PcAddress(i)}, false, asked, name->second)};
        });
    }
    quint16 WsdPort() const { return FUdp.localPort(); }
    quint16 NamePort() const { return FNames->Port(); }
    std::atomic<int> Probes{0};

private:
    void Probed() {
        while (FUdp.hasPendingDatagrams()) {
            QHostAddress from;
            quint16 port = 0;
            QByteArray d(65536, '\0');
            d.truncate(int(FUdp.readDatagram(d.data(), d.size(), &from, &port)));
            if (!WsdFixture::Field(d, "Action").endsWith(QLatin1String("/Probe"))) continue;
            ++Probes;
            const QString id = WsdFixture::Field(d, "MessageID");
            for (int first = 0; first < FComputers; first += 10) {
                QString matches;
                for (int i = first; i < qMin(FComputers, first + 10); ++i)
                    matches += WsdFixture::Match(QStringLiteral("ProbeMatch"), QStringLiteral("urn:uuid:%1").arg(i),
                                                 QStringLiteral("wsdp:Device pub:Computer"),
                                                 QStringLiteral("http://127.0.0.1:%1/%2").arg(FHttp.serverPort()).arg(i));
                FUdp.writeDatagram(WsdFixture::ProbeMatches(id, matches), from, port);
            }
        }
    }
    void Serve(QTcpSocket* s) {
        QByteArray& b = FBuffers[s];
        b += s->readAll();
        const qsizetype end = b.indexOf("\r\n\r\n");
        if (end < 0) return;
        const auto length = QRegularExpression(QStringLiteral("Content-Length: (\\d+)"), QRegularExpression::CaseInsensitiveOption)
                                .match(QString::fromLatin1(b.left(end)));
        if (!length.hasMatch() || b.size() < end + 4 + length.captured(1).toInt()) return;
        const int i = QString::fromLatin1(b.split(' ').value(1)).mid(1).toInt();
        FBuffers.remove(s);
        s->write("HTTP/1.0 200 OK\r\nContent-Type: application/soap+xml\r\n\r\n" +
                 WsdFixture::Metadata(QStringLiteral("%1/Workgroup:%2").arg(PcName(i), kWorkgroup)));
        s->disconnectFromHost();
    }

    int FComputers;
    QTcpServer FHttp;
    QUdpSocket FUdp;
    QHash<QTcpSocket*, QByteArray> FBuffers;
    std::unique_ptr<ConsoleFake::TFakeNameServer> FNames;
};

// The GUI thread's lateness: a 10 ms timer noting its longest wait past due.
class TStallProbe : public QObject {
public:
    TStallProbe() {
        FTimer.setTimerType(Qt::PreciseTimer);
        connect(&FTimer, &QTimer::timeout, this, [this] {
            const qint64 late = FSince.restart() - kPeriodMs;
            if (late > FLongest) {
                FLongest = late;
                FWhen = FStarted.elapsed();
            }
        });
    }
    void Start() {
        FLongest = 0;
        FWhen = 0;
        FSince.start();
        FStarted.start();
        FTimer.start(kPeriodMs);
    }
    // When the longest stall ended, in ms after Start().
    qint64 When() const { return FWhen; }
    qint64 Stop() {
        FTimer.stop();
        return FLongest;
    }

private:
    static constexpr int kPeriodMs = 10;
    QTimer FTimer;
    QElapsedTimer FSince;
    QElapsedTimer FStarted;
    qint64 FLongest = 0;
    qint64 FWhen = 0;
};

// Runs the event loop (idle between events, as the desktop's) until done()
// or maxMs; false on the limit.
template <typename F>
bool SpinUntil(F done, int maxMs) {
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || t.elapsed() > maxMs) loop.quit();
    });
    poll.start(5);
    if (!done()) loop.exec();
    return done();
}

// CPU time of the calling thread: what the GUI thread itself spent, apart
// from waiting for a core on a loaded machine.
qint64 ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

double Ratio(qint64 a, qint64 b) { return double(a) / double(qMax<qint64>(1, b)); }

} // namespace

int main(int argc, char** argv) {
    qputenv("QUILLMATE_NETWORK", "loopback");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int computers = argc > 1 ? qBound(1, atoi(argv[1]), 250) : 200;

    QThread fakeThread;
    QObject fakeHome;
    fakeHome.moveToThread(&fakeThread);
    QObject* fakeContext = &fakeHome;
    fakeThread.start();
    std::unique_ptr<TFakeOffice> office;
    QMetaObject::invokeMethod(fakeContext, [&] { office = std::make_unique<TFakeOffice>(computers); },
                              Qt::BlockingQueuedConnection);

    TWsdConfig wsd;
    wsd.Destination = QHostAddress::LocalHost;
    wsd.Port = office->WsdPort();
    TNetResolverConfig names;
    names.NameQueryTargets = {QHostAddress::LocalHost};
    names.NamePort = office->NamePort();
    names.Mdns = false;
    names.SystemResolver = false;
    const TNetLimits limits;

    // Baseline: the same source and resolver called directly, no service, no panel.
    QElapsedTimer clock;
    clock.start();
    TNetBrowseResult direct;
    {
        TWsdSource source(wsd);
        std::atomic<bool> cancel{false};
        direct = std::async(std::launch::async, [&] { return source.Browse(QString(), limits.BrowseMs, cancel); }).get();
    }
    const qint64 directListMs = clock.elapsed();
    clock.restart();
    std::atomic<int> directResolved{0};
    {
        const TNetResolveFunction resolve = MakeNetResolver(names);
        std::atomic<int> next{0};
        std::vector<std::future<void>> jobs;
        for (int j = 0; j < limits.ResolveJobs; ++j)
            jobs.push_back(std::async(std::launch::async, [&] {
                std::atomic<bool> cancel{false};
                for (int i = next++; i < computers; i = next++)
                    if (!resolve(PcName(i), limits.ResolveMs, cancel).isNull()) ++directResolved;
            }));
        for (auto& j : jobs) j.get();
    }
    const qint64 directResolveMs = clock.elapsed();

    // The panel.
    TNeighbourhoodService service;
    service.SetSources({std::make_shared<TWsdSource>(wsd)});
    service.SetResolver(MakeNetResolver(names));
    service.SetLimits(limits);
    TNetworkTree tree(service);
    tree.resize(400, 600);
    tree.show();
    SpinUntil([] { return false; }, 200);

    TStallProbe stall;
    stall.Start();
    const qint64 cpuBefore = ThreadCpuMs();
    clock.restart();
    tree.LoadNetworkRoot();
    const bool rootRead = SpinUntil([&] { return tree.Row(kWorkgroup) != nullptr; }, 15000);
    const qint64 rootMs = clock.elapsed();
    QTreeWidgetItem* workgroup = tree.Row(kWorkgroup);
    auto listed = [&] {
        int n = 0;
        for (int i = 0; i < workgroup->childCount(); ++i) n += TNetworkTree::IsComputer(workgroup->child(i)) ? 1 : 0;
        return n;
    };
    auto resolved = [&] {
        int n = 0;
        for (int i = 0; i < workgroup->childCount(); ++i) {
            const auto item = TNetworkTree::ItemOf(workgroup->child(i));
            n += item && item->IsComputer() && !item->IPAddress.isEmpty() ? 1 : 0;
        }
        return n;
    };
    qint64 listMs = -1, resolveMs = -1;
    int shown = 0, known = 0;
    if (rootRead) {
        clock.restart();
        workgroup->setExpanded(true);
        SpinUntil([&] { return listed() >= computers; }, 15000);
        listMs = clock.elapsed();
        shown = listed();
        SpinUntil([&] { return resolved() >= computers; }, 30000);
        resolveMs = clock.elapsed();
        known = resolved();
    }
    const qint64 panelMs = rootMs + qMax<qint64>(0, resolveMs);
    const qint64 longestStall = stall.Stop();
    const qint64 panelCpuMs = ThreadCpuMs() - cpuBefore;
    const qint64 stallAt = stall.When();

    // Baseline stall: an idle event loop for as long.
    stall.Start();
    const qint64 idleCpuBefore = ThreadCpuMs();
    SpinUntil([] { return false; }, int(qBound(qint64(500), panelMs, qint64(30000))));
    const qint64 idleStall = stall.Stop();
    const qint64 idleCpuMs = ThreadCpuMs() - idleCpuBefore;

    std::printf("network panel, one workgroup of %d computers by WS-Discovery, names by NetBIOS name query\n", computers);
    std::printf("  direct: source browse %lld ms (%d computers), %d names resolved %d at once in %lld ms (%d answered)\n",
                (long long)directListMs, int(direct.Computers.size()), computers, limits.ResolveJobs,
                (long long)directResolveMs, directResolved.load());
    std::printf("  panel: root expand to workgroup row %lld ms (ratio to direct browse %.2f)\n", (long long)rootMs,
                Ratio(rootMs, directListMs));
    std::printf("  panel: workgroup expand to %d/%d rows %lld ms; root expand to all rows %lld ms (target 2000)\n", shown,
                computers, (long long)listMs, (long long)(rootMs + listMs));
    std::printf("  panel: workgroup expand to %d/%d resolved %lld ms (target 5000; ratio to direct resolve %.2f)\n", known,
                computers, (long long)resolveMs, Ratio(resolveMs, directResolveMs));
    std::printf("  longest GUI-thread stall %lld ms, ending %lld ms after the root expand (target 100); idle loop %lld ms; ratio %.2f\n",
                (long long)longestStall, (long long)stallAt, (long long)idleStall, Ratio(longestStall, idleStall));

    std::printf("  GUI-thread CPU time %lld ms over %lld ms; idle loop %lld ms; ratio %.2f\n", (long long)panelCpuMs,
                (long long)panelMs, (long long)idleCpuMs, Ratio(panelCpuMs, idleCpuMs));

    QMetaObject::invokeMethod(fakeContext, [&] { office.reset(); },
                              Qt::BlockingQueuedConnection);
    fakeThread.quit();
    fakeThread.wait();
    return rootRead && shown == computers ? 0 : 1;
}
