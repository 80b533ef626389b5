// Datagram intake: how fast the node's receiver takes a mixed stream of valid
// and malformed datagrams, against a bare receive-and-split loop on the same
// loopback link. Prints both rates, their ratio and the memory before/after.
#include "core/EventRouterUnit.h"
#include "core/ParamsUnit.h"
#include "presence/PresenceServiceUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommConstsUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "protocol/PresenceCodecUnit.h"
#include "text/MsgLangUnit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <atomic>
#include <cstdio>

namespace {

constexpr int kDatagrams = 200000;
constexpr int kWindow = 200; // valid datagrams in flight at most

long RssKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The stream: 4 valid kinds, 5 malformed kinds; valid() tells which is which.
struct TStream {
    QList<QByteArray> Items;
    QList<bool> Valid;
    TStream(const TMessageLang& lang) {
        TLocalIdentity peer;
        peer.LanguageId = 1033;
        peer.Interfaces = {QStringLiteral("10.77.0.9=255.255.255.0")};
        peer.NickName = QStringLiteral("Peer");
        peer.ComputerName = QStringLiteral("PC9");
        peer.Version = QStringLiteral("1.0.0.1");
        peer.UserId = QStringLiteral("{PEER}");
        Add(EncodeLogon(peer, lang), true);
        Add(EncodePresence(MessageType::Nickname, peer, lang), true);
        Add(EncodePresence(MessageType::OnlineState, peer, lang), true);
        Add(EncodeCheckSignalReply(QStringLiteral("{PEER}")), true);
        Add("QLM_LOGON", false);
        Add("QLM_LOGON\tx\t1033", false);
        Add("QLM_NOSUCHTYPE\t2\tx", false);
        Add("QLM_CHECKSIGNALREPLY\t2\t" + QByteArray(5000, 'x'), false);
        Add("QLM_ONLINESTATE\t2\tnotanumber\t1", false);
    }
    void Add(const QByteArray& d, bool valid) {
        Items << d;
        Valid << valid;
    }
};

// Sends kDatagrams from the stream, never more than kWindow valid ones ahead of
// done(). UDP may drop under load: when done() stops moving for a while the
// missing ones are counted as lost instead of waited for.
struct TBlastResult {
    double Rate = 0;
    int ValidSent = 0;
    int Lost = 0;
};

template <typename Done>
TBlastResult Blast(quint16 port, const TStream& stream, Done done) {
    QUdpSocket socket;
    QElapsedTimer clock;
    clock.start();
    TBlastResult result;
    auto drain = [&](int until) {
        QElapsedTimer idle;
        idle.start();
        int last = done();
        while (done() + result.Lost < until) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            if (done() != last) {
                last = done();
                idle.restart();
            } else if (idle.elapsed() > 300) {
                result.Lost = until - done();
            }
        }
    };
    for (int i = 0; i < kDatagrams; ++i) {
        const int k = i % stream.Items.size();
        socket.writeDatagram(stream.Items[k], QHostAddress::LocalHost, port);
        result.ValidSent += stream.Valid[k];
        if (result.ValidSent - done() - result.Lost > kWindow) drain(result.ValidSent - kWindow / 2);
    }
    drain(result.ValidSent);
    result.Rate = kDatagrams / (clock.nsecsElapsed() / 1e9);
    return result;
}

// Baseline: a thread that receives and splits, counting the valid datagrams.
class TBareReceiver : public QThread {
public:
    explicit TBareReceiver(quint16 port) : FPort(port) {}
    std::atomic<int> Valid{0};
    std::atomic<bool> Stop{false};

protected:
    void run() override {
        QUdpSocket socket;
        socket.bind(QHostAddress::LocalHost, FPort);
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
        while (!Stop) {
            if (!socket.waitForReadyRead(50)) continue;
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket.receiveDatagram(MaxDatagramSize + 1);
                if (d.data().size() > MaxDatagramSize) continue;
                const auto e = TEnvelope::Parse(d.data());
                // The same acceptance as the node's, without decoding or posting.
                if (e && (e->IsType(MessageType::Logon) || e->IsType(MessageType::Nickname) ||
                          e->IsType(MessageType::CheckSignalReply) ||
                          (e->IsType(MessageType::OnlineState) && e->Field(2).toInt() != 0)))
                    ++Valid;
            }
        }
    }

private:
    quint16 FPort;
};

// The node's router with every presence id counted instead of handled.
class TCountingSink : public TEventRouter {
public:
    int Events = 0;

    TCountingSink() {
        for (const int id : TPresenceService::EventIds())
            Register<TOnlineNotify>(id, [this](qintptr, TOnlineNotify) { ++Events; });
        RegisterPlain(WM_NETWORK_CONFIRMED, [this](qintptr) { ++Events; });
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QUILLMATE_NETWORK", "loopback");
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("QUILLMATE_HOME", home.path().toLocal8Bit());
    TApplicationParams settings(home.filePath(QStringLiteral("Config.ini")), home.path(),
                                TUserStore(home.filePath(QStringLiteral("u.ini")), home.filePath(QStringLiteral("a.desktop"))));
    TCommLocal local(settings, home.path() + QLatin1Char('/'), QStringLiteral("1.0.0.1"));
    local.SetLocalInterfaces({QStringLiteral("10.77.0.1=255.255.255.0")});
    TMessageLang lang(1033);
    TStream stream(lang);

    // Baseline.
    const quint16 bare = FreePort();
    TBareReceiver receiver(bare);
    receiver.start();
    QThread::msleep(100);
    const TBlastResult bareRun = Blast(bare, stream, [&] { return receiver.Valid.load(); });
    receiver.Stop = true;
    receiver.wait();

    // The node's receiver, dispatcher and event posting.
    const quint16 port = FreePort();
    TTransportConfig config;
    config.Port = port;
    TCommClient client([config] { return config; }, [] { return TLocalIdentity(); }, lang);
    TCountingSink sink;
    TCommServer server(std::make_unique<TDatagramDispatcher>(
                                  sink, TListenerIdentity{QStringLiteral("{ME}"), QStringLiteral("ME")}, local, lang, client));
    TCommServer::TOptions options;
    options.Port = port;
    options.MulticastGroup.clear();
    options.BindAddress = QHostAddress(QHostAddress::LocalHost);
    if (!server.StartListening(options)) {
        std::fprintf(stderr, "bench_intake: %s\n", qPrintable(server.ErrorText()));
        return 1;
    }
    // One warm-up pass, then the measured one; memory is compared around it.
    Blast(port, stream, [&] { return sink.Events; });
    sink.Events = 0;
    const long rssBefore = RssKiB();
    const TBlastResult nodeRun = Blast(port, stream, [&] { return sink.Events; });
    const long rssAfter = RssKiB();
    server.StopListening();

    std::printf("datagrams: %d per run, %d valid (%.0f%%)\n", kDatagrams, nodeRun.ValidSent,
                100.0 * nodeRun.ValidSent / kDatagrams);
    std::printf("bare receive-and-split: %.0f datagrams/s, %d valid lost\n", bareRun.Rate, bareRun.Lost);
    std::printf("node receiver:          %.0f datagrams/s, %d valid lost\n", nodeRun.Rate, nodeRun.Lost);
    std::printf("ratio node/bare: %.2f\n", nodeRun.Rate / bareRun.Rate);
    std::printf("memory: %ld KiB before, %ld KiB after the measured run (%+ld KiB)\n", rssBefore, rssAfter, rssAfter - rssBefore);
    return 0;
}
