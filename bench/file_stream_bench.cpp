// The file stream's throughput and memory: one file (1 GiB unless a size in
// MiB is given) sent with SendFiles into a listener that stores it through the
// transfer service, against a plain TCP copy of the same file between two
// sockets (read 128 KiB, write, as socat -b 131072 does) on 127.0.0.1, in
// turns within the same run. Prints both rates, their ratio (target >= 0.9)
// and the process's peak memory growth while streaming (sender and receiver
// together; target: no more than 32 MiB above idle).
#include "core/EventRouterUnit.h"
#include "core/ParamsUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommLocalUnit.h"
#include "protocol/CommServerUnit.h"
#include "text/MsgLangUnit.h"
#include "transfer/FileSendUnit.h"
#include "transfer/TransferServiceUnit.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int kRounds = 3;
constexpr qint64 kCopyChunk = 131072;

long StatusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field)) return line.mid(qsizetype(strlen(field))).trimmed().split(' ').value(0).toLong();
    return 0;
}

void ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool MakeSource(const QString& path, qint64 bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    quint32 x = 12345;
    for (char& c : block) {
        x = x * 1664525u + 1013904223u;
        c = char(x >> 24);
    }
    for (qint64 done = 0; done < bytes; done += block.size()) {
        block[0] = char(done >> 20); // no two blocks alike
        if (f.write(block.constData(), qMin<qint64>(block.size(), bytes - done)) < 0) return false;
    }
    return true;
}

// The baseline: a plain socket copy of the file into another file.
double PlainCopySeconds(const QString& source, const QString& target) {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    std::atomic<bool> received{false};
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QThread> sender(QThread::create([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(5000)) return;
        QFile in(source);
        in.open(QIODevice::ReadOnly);
        QByteArray buffer(kCopyChunk, Qt::Uninitialized);
        qint64 got = 0;
        while ((got = in.read(buffer.data(), buffer.size())) > 0) {
            socket.write(buffer.constData(), got);
            while (socket.bytesToWrite() > 1024 * 1024) socket.waitForBytesWritten(1000);
        }
        while (socket.bytesToWrite() > 0) socket.waitForBytesWritten(1000);
        socket.disconnectFromHost();
        if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(5000);
    }));
    sender->start();
    if (!server.waitForNewConnection(5000)) return -1;
    std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
    QFile out(target);
    out.open(QIODevice::WriteOnly);
    QByteArray buffer(kCopyChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 got = socket->read(buffer.data(), buffer.size());
        if (got > 0) {
            out.write(buffer.constData(), got);
            continue;
        }
        if (got < 0 || (!socket->waitForReadyRead(5000) && socket->bytesAvailable() == 0)) break;
    }
    out.close();
    received = true;
    const double seconds = clock.nsecsElapsed() / 1e9;
    sender->wait();
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QUILLMATE_NETWORK", "loopback");
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const qint64 bytes = qBound(qint64(1), mib, qint64(2047)) * 1024 * 1024;
    QTemporaryDir dir;
    const QString home = dir.path() + QLatin1Char('/');
    qputenv("QUILLMATE_HOME", home.toLocal8Bit());
    const QString source = home + QStringLiteral("source.bin");
    if (!MakeSource(source, bytes)) {
        std::fprintf(stderr, "bench_file_stream: cannot write %s\n", qPrintable(source));
        return 1;
    }

    TApplicationParams params(home + QStringLiteral("Config.ini"), home,
                              TUserStore(home + QStringLiteral("u.ini"), home + QStringLiteral("a.desktop")));
    params[spArrivedFilesFolder] = home + QStringLiteral("Files/");
    TCommLocal local(params, home, QStringLiteral("1.0.0.1"));
    TMessageLang lang(1033);
    TEventRouter router;
    const quint16 port = FreePort();
    TTransportConfig config;
    config.Port = port;
    TLocalIdentity self;
    self.LanguageId = 1033;
    self.NickName = QStringLiteral("bench");
    self.ComputerName = QStringLiteral("BENCH");
    TCommClient client([&] { return config; }, [&] { return self; }, lang);
    TCommServer server(std::make_unique<TDatagramDispatcher>(
                                    router, TListenerIdentity{QStringLiteral("{B}"), QStringLiteral("BENCH")}, local, lang, client));
    TTransferService service(client, local, params, lang);
    service.RegisterEvents(router);
    service.RegisterListener(server.Dispatcher(), server, client, router);
    service.RefreshListenerSettings();
    TCommServer::TOptions options;
    options.Port = port;
    options.MulticastGroup.clear();
    options.BindAddress = QHostAddress(QHostAddress::LocalHost);
    if (!server.StartListening(options)) {
        std::fprintf(stderr, "bench_file_stream: %s\n", qPrintable(server.ErrorText()));
        return 1;
    }
    int arrivals = 0;
    bool complete = true;
    QObject::connect(&service, &TTransferService::FilesArrived, [&](const TFilesArrival& a, bool) {
        ++arrivals;
        complete = complete && a.Complete;
    });

    double bestPlain = 1e9, bestStream = 1e9;
    long peakGrowthKiB = 0;
    const long idleKiB = StatusKiB("VmRSS:");
    for (int round = 0; round < kRounds; ++round) {
        const QString copy = home + QStringLiteral("copy.bin");
        const double plain = PlainCopySeconds(source, copy);
        QFile::remove(copy);
        if (plain > 0) bestPlain = qMin(bestPlain, plain);

        ResetPeak();
        const long beforeKiB = StatusKiB("VmRSS:");
        TSendPlan plan;
        plan.Host = QStringLiteral("127.0.0.1");
        plan.Port = port;
        plan.Self = self;
        plan.Rows = {{source}};
        TSendControl control;
        const int before = arrivals;
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<QThread> sender(QThread::create([&] { SendFiles(plan, control, nullptr); }));
        // Sleeps until the arrival is posted: a polling loop would take a core from the stream.
        QEventLoop wait;
        const auto arrived = QObject::connect(&service, &TTransferService::FilesArrived, &wait, &QEventLoop::quit);
        QTimer::singleShot(300000, &wait, &QEventLoop::quit);
        sender->start();
        if (arrivals == before) wait.exec();
        QObject::disconnect(arrived);
        const double streamed = clock.nsecsElapsed() / 1e9;
        sender->wait();
        peakGrowthKiB = qMax(peakGrowthKiB, StatusKiB("VmHWM:") - beforeKiB);
        bestStream = qMin(bestStream, streamed);
        QDir(home + QStringLiteral("Files")).removeRecursively();
        std::printf("round %d: plain copy %.2f s, file stream %.2f s\n", round + 1, plain, streamed);
        std::fflush(stdout);
    }
    server.StopListening();
    const double mb = double(bytes) / 1048576.0;
    std::printf("file: %.0f MiB; plain socket copy: %.0f MiB/s; file stream: %.0f MiB/s\n", mb, mb / bestPlain,
                mb / bestStream);
    std::printf("throughput ratio stream/plain: %.2f (target >= 0.9)\n", bestPlain / bestStream);
    std::printf("peak memory growth while streaming (both sides): %.1f MiB above %.1f MiB idle (target <= 32 MiB)\n",
                peakGrowthKiB / 1024.0, idleKiB / 1024.0);
    std::printf("arrivals: %d of %d, all complete: %s\n", arrivals, kRounds, complete ? "yes" : "no");
    return arrivals == kRounds && complete ? 0 : 1;
}
