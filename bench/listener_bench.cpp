// Listener fairness: requests per second served to 4 honest client sources
// (127.0.0.1..127.0.0.4) while a fifth source (127.0.0.5) holds 500 idle
// connections, against the same without the fifth source, in the same run.
// Measured twice under load: with the per-host connection cap lifted (all
// 500 held idle by the listener) and with the default cap (32 held, the rest
// refused at once). The three listeners run side by side and are measured
// in turns. Prints the rates and their ratios (target >= 0.9).
#include "core/EventRouterUnit.h"
#include "core/ParamsUnit.h"
#include "platform/FileLimitUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "text/MsgLangUnit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kSources = 4;
constexpr int kClientsPerSource = 2; // below the per-host limit of 8
constexpr int kIdle = 500;
constexpr int kRounds = 6;
constexpr int kSliceMs = 500;

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QByteArray Request() {
    const QByteArray body(64, 'm');
    QByteArray length(4, '\0');
    qToBigEndian<qint32>(qint32(body.size()), length.data());
    return "QLM_BENCH\t2\r\n" + length + body;
}

struct TPhase {
    const char* Name;
    int Idle;
    int MaxConnectionsPerHost;
};

// A node's listener with a "QLM_BENCH" request (a 64-byte block read), and
// the idle connections of the fifth source.
class TBenchNode {
public:
    TBenchNode(const TPhase& phase, TCommLocal& local, TMessageLang& lang)
        : FPort(FreePort()), FClient([this] { return Config(); }, [] { return TLocalIdentity(); }, lang),
          FServer(std::make_unique<TDatagramDispatcher>(
                              FSink, TListenerIdentity{QStringLiteral("{ME}"), QStringLiteral("ME")}, local, lang, FClient)) {
        FServer.RegisterRequest("QLM_BENCH", [](TRequestContext& c) {
            QByteArray body;
            c.Reader.ReadBlock(&body, 1024, c.StallMs);
        });
        TCommServer::TOptions options;
        options.Port = FPort;
        options.MulticastGroup.clear();
        options.BindAddress = QHostAddress(QHostAddress::LocalHost);
        options.MaxConnectionsPerHost = phase.MaxConnectionsPerHost;
        if (!FServer.StartListening(options)) {
            std::fprintf(stderr, "bench_listener: %s\n", qPrintable(FServer.ErrorText()));
            return;
        }
        for (int i = 0; i < phase.Idle; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->bind(QHostAddress(QStringLiteral("127.0.0.5")), 0);
            socket->connectToHost(QHostAddress::LocalHost, FPort);
            if (socket->waitForConnected(2000)) FIdle.push_back(std::move(socket));
        }
        QDeadlineTimer settle(5000);
        while (FServer.Counts().Open + int(FServer.Counts().RefusedTotal()) < int(FIdle.size()) && !settle.hasExpired())
            QThread::msleep(5);
    }
    ~TBenchNode() { FServer.StopListening(); }
    quint16 Port() const { return FPort; }
    TListenerCounts Counts() const { return FServer.Counts(); }

private:
    TTransportConfig Config() const {
        TTransportConfig config;
        config.Port = FPort;
        return config;
    }
    quint16 FPort;
    TCommClient FClient;
    TEventRouter FSink;
    TCommServer FServer;
    std::vector<std::unique_ptr<QTcpSocket>> FIdle;
};

// Sequential requests from every client thread for ms; returns how many were served.
int RunClients(quint16 port, int ms) {
    std::atomic<int> served{0};
    std::atomic<bool> stop{false};
    const QByteArray request = Request();
    std::vector<std::thread> clients;
    for (int s = 0; s < kSources; ++s)
        for (int c = 0; c < kClientsPerSource; ++c)
            clients.emplace_back([&, source = QStringLiteral("127.0.0.%1").arg(s + 1)] {
                while (!stop.load()) {
                    QTcpSocket socket;
                    socket.bind(QHostAddress(source), 0);
                    socket.connectToHost(QHostAddress::LocalHost, port);
                    if (!socket.waitForConnected(2000)) continue;
                    socket.write(request);
                    socket.flush();
                    // The listener closes the connection once the request is handled.
                    if (socket.waitForDisconnected(5000) || socket.state() == QAbstractSocket::UnconnectedState) ++served;
                }
            });
    QThread::msleep(ms);
    const int count = served.load();
    stop = true;
    for (std::thread& t : clients) t.join();
    return count;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QUILLMATE_NETWORK", "loopback");
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("QUILLMATE_HOME", home.path().toLocal8Bit());
    Platform::RaiseOpenFileLimit(4096);
    TApplicationParams settings(home.filePath(QStringLiteral("Config.ini")), home.path(),
                                TUserStore(home.filePath(QStringLiteral("u.ini")), home.filePath(QStringLiteral("a.desktop"))));
    TCommLocal local(settings, home.path() + QLatin1Char('/'), QStringLiteral("1.0.0.1"));
    TMessageLang lang(1033);

    const TPhase phases[] = {{"baseline (no idle source)", 0, 32},
                             {"500 idle, all held (host cap 512)", kIdle, 512},
                             {"500 idle, default host cap 32", kIdle, 32}};
    constexpr int kPhases = 3;
    std::vector<std::unique_ptr<TBenchNode>> nodes;
    for (const TPhase& phase : phases) nodes.push_back(std::make_unique<TBenchNode>(phase, local, lang));
    // Slices taken in turn, so that load from elsewhere on the machine falls on every phase alike.
    qint64 served[kPhases] = {};
    for (int round = 0; round < kRounds; ++round)
        for (int i = 0; i < kPhases; ++i) served[i] += RunClients(nodes[size_t(i)]->Port(), kSliceMs);
    double rates[kPhases];
    for (int i = 0; i < kPhases; ++i) {
        rates[i] = served[i] * 1000.0 / (kRounds * kSliceMs);
        const TListenerCounts counts = nodes[size_t(i)]->Counts();
        std::printf("%-36s %8.0f requests/s  (idle held %d, refused %llu)\n", phases[i].Name, rates[i], counts.Open,
                    static_cast<unsigned long long>(counts.RefusedTotal()));
    }
    if (rates[0] <= 0) return 1;
    std::printf("ratio held-idle/baseline: %.2f\n", rates[1] / rates[0]);
    std::printf("ratio capped-idle/baseline: %.2f\n", rates[2] / rates[0]);
    return 0;
}
