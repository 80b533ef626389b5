// Listener fairness: requests per second served to 4 honest client sources
// (127.0.0.1..127.0.0.4) while a fifth source (127.0.0.5) holds 500 idle
// connections, against the same without the fifth source, in the same run.
// Measured twice under load: with the per-host connection cap lifted (all
// 500 held idle by the listener) and with the default cap (32 held, the rest
// refused at once). Prints the rates and their ratios (target >= 0.9).
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
constexpr int kMeasureMs = 3000;

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

struct TRun {
    double Rate = 0;
    int Held = 0;
    quint64 Refused = 0;
};

// One node listener; sequential requests from every client thread for kMeasureMs.
TRun Measure(const TPhase& phase, TCommLocal& local, TMessageLang& lang) {
    const quint16 port = FreePort();
    TTransportConfig config;
    config.Port = port;
    TCommClient client([config] { return config; }, [] { return TLocalIdentity(); }, lang);
    QObject sink;
    TCommServer server(&sink, std::make_unique<TDatagramDispatcher>(
                                  &sink, TListenerIdentity{QStringLiteral("{ME}"), QStringLiteral("ME")}, local, lang, client));
    server.RegisterRequest("QLM_BENCH", [](TRequestContext& c) {
        QByteArray body;
        c.Reader.ReadBlock(&body, 1024, c.StallMs);
    });
    TCommServer::TOptions options;
    options.Port = port;
    options.MulticastGroup.clear();
    options.BindAddress = QHostAddress(QHostAddress::LocalHost);
    options.MaxConnectionsPerHost = phase.MaxConnectionsPerHost;
    if (!server.StartListening(options)) {
        std::fprintf(stderr, "bench_listener: %s\n", qPrintable(server.ErrorText()));
        return {};
    }
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < phase.Idle; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(QStringLiteral("127.0.0.5")), 0);
        socket->connectToHost(QHostAddress::LocalHost, port);
        if (socket->waitForConnected(2000)) idle.push_back(std::move(socket));
    }
    QDeadlineTimer settle(5000);
    while (server.Counts().Open + int(server.Counts().RefusedTotal()) < int(idle.size()) && !settle.hasExpired())
        QThread::msleep(5);
    TRun run;
    run.Held = server.Counts().Open;

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
    QElapsedTimer clock;
    clock.start();
    QThread::msleep(kMeasureMs);
    const int count = served.load();
    const double seconds = clock.elapsed() / 1000.0;
    stop = true;
    for (std::thread& t : clients) t.join();
    run.Rate = count / seconds;
    run.Refused = server.Counts().RefusedTotal();
    server.StopListening();
    return run;
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
    TRun runs[3];
    for (int i = 0; i < 3; ++i) {
        runs[i] = Measure(phases[i], local, lang);
        std::printf("%-36s %8.0f requests/s  (idle held %d, refused %llu)\n", phases[i].Name, runs[i].Rate, runs[i].Held,
                    static_cast<unsigned long long>(runs[i].Refused));
    }
    if (runs[0].Rate <= 0) return 1;
    std::printf("ratio held-idle/baseline: %.2f\n", runs[1].Rate / runs[0].Rate);
    std::printf("ratio capped-idle/baseline: %.2f\n", runs[2].Rate / runs[0].Rate);
    return 0;
}
