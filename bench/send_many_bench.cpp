// One message to many recipients, driven by bench/send_many_lab.sh. Modes:
//   sink --port P
//       (receiving host) on 0.0.0.0:P, any number of connections at once:
//       reads each "QLM_MESSAGE" request to the end of its body and closes
//       it; "ready" once listening, "served N" when told "quit" (standard input).
//   fanout --addrs FILE --port P [--rounds R]
//       (sending host) the recipients are the addresses of FILE, one a line:
//       one job to all of them through the chat service, against the same
//       message to each in turn (one recipient after another) in the same run.
//   dead --addrs FILE --dead FILE --port P
//       (sending host) the live addresses with the dead ones of the second
//       file spread among them (every tenth): when each live recipient had
//       its message, and when the job ended.
//   memory --addrs FILE --port P --mib M
//       (sending host) one message of M MiB to every address: this process's
//       peak RSS over its RSS before the job.
// Figures only; the exit status says whether every live recipient was reached.
#include "BenchMemory.h"
#include "BenchTiming.h"

#include "core/ParamsUnit.h"
#include "messaging/ChatServiceUnit.h"
#include "node/NodeUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "text/MsgLangUnit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

QString Arg(const QStringList& args, const char* name, const char* fallback = "") {
    const qsizetype i = args.indexOf(QLatin1String(name));
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : QString::fromLatin1(fallback);
}

// ---- the sink ----

// How much of one request is in: its header line, the body's length, the body.
struct TIncoming {
    std::string Head; // up to the length field
    qint64 Need = -1; // bytes of the whole request; -1 until the length is in
    qint64 Got = 0;
};

int RunSink(const QStringList& args) {
    const int port = Arg(args, "--port", "7720").toInt();
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4096) != 0) {
        std::perror("bench_send_many sink");
        return 1;
    }
    const int poller = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listener;
    ::epoll_ctl(poller, EPOLL_CTL_ADD, listener, &event);
    event.data.fd = 0;
    ::epoll_ctl(poller, EPOLL_CTL_ADD, 0, &event);
    std::printf("ready\n");
    std::fflush(stdout);
    std::unordered_map<int, TIncoming> open;
    std::vector<char> buffer(1 << 20);
    long served = 0;
    std::vector<epoll_event> events(256);
    for (;;) {
        const int n = ::epoll_wait(poller, events.data(), int(events.size()), -1);
        for (int e = 0; e < n; ++e) {
            const int fd = events[size_t(e)].data.fd;
            if (fd == 0) {
                const ssize_t got = ::read(0, buffer.data(), buffer.size());
                if (got <= 0 || std::string(buffer.data(), size_t(got)).find("quit") != std::string::npos) {
                    std::printf("served %ld\n", served);
                    return 0;
                }
                continue;
            }
            if (fd == listener) {
                for (int c; (c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;) {
                    epoll_event in{};
                    in.events = EPOLLIN;
                    in.data.fd = c;
                    ::epoll_ctl(poller, EPOLL_CTL_ADD, c, &in);
                    open[c] = TIncoming();
                }
                continue;
            }
            TIncoming& request = open[fd];
            bool done = false;
            for (;;) {
                const ssize_t got = ::read(fd, buffer.data(), buffer.size());
                if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                    done = true; // ended early: closed all the same
                    break;
                }
                if (got < 0) break;
                request.Got += got;
                if (request.Need < 0) {
                    request.Head.append(buffer.data(), size_t(std::min<ssize_t>(got, 8192)));
                    const size_t line = request.Head.find("\r\n");
                    if (line != std::string::npos && request.Head.size() >= line + 6) {
                        const auto* p = reinterpret_cast<const unsigned char*>(request.Head.data() + line + 2);
                        const qint64 length = (qint64(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
                        request.Need = qint64(line) + 6 + length;
                    }
                }
                if (request.Need >= 0 && request.Got >= request.Need) {
                    ++served;
                    done = true;
                    break;
                }
            }
            if (done) {
                ::close(fd); // closing removes it from the poller
                open.erase(fd);
            }
        }
    }
}

// ---- the sender ----

QStringList ReadAddresses(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList out;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) out << QString::fromLatin1(line.trimmed());
    return out;
}

TRecipients RecipientsOf(const QStringList& addresses) {
    TRecipients recipients;
    for (const QString& a : addresses) {
        TRecipient r;
        r.ComputerName = r.IPAddress = a;
        recipients << r;
    }
    return recipients;
}

// One job through the service; when each recipient ended (ms from the start)
// and whether it was reached.
struct TJobRun {
    double TotalMs = 0;
    std::vector<double> DoneMs;
    std::vector<bool> Reached;
    int ReachedCount() const { return int(std::count(Reached.begin(), Reached.end(), true)); }
};

TJobRun RunJob(TChatService& chat, const TRecipients& recipients, const QByteArray& body) {
    TJobRun run;
    run.DoneMs.assign(size_t(recipients.size()), -1);
    run.Reached.assign(size_t(recipients.size()), false);
    QEventLoop loop;
    QElapsedTimer clock;
    TSendMessageJob job;
    job.Recipients = recipients;
    job.HasNickname = false;
    job.Summary = QStringLiteral("to many\r\n");
    job.Body = body;
    clock.start();
    TChatJob* handle = chat.StartSendMessage(std::move(job));
    QObject::connect(handle, &TChatJob::RecipientDone, &loop,
                     [&](int index, const TRecipient&, const TRecipientOutcome& outcome) {
                         run.DoneMs[size_t(index)] = double(clock.nsecsElapsed()) / 1e6;
                         run.Reached[size_t(index)] = outcome.Reached;
                     });
    QObject::connect(handle, &TChatJob::SendFinished, &loop, [&] {
        run.TotalMs = double(clock.nsecsElapsed()) / 1e6;
        loop.quit();
    });
    loop.exec();
    return run;
}

QByteArray SmallBody() { return QByteArrayLiteral("{\\rtf1\\ansi a message to many recipients\\par}"); }

int RunFanout(TNode& node, const QStringList& args) {
    const QStringList addresses = ReadAddresses(Arg(args, "--addrs"));
    const int rounds = std::clamp(Arg(args, "--rounds", "3").toInt(), 1, 9);
    if (addresses.isEmpty()) return 2;
    const TRecipients recipients = RecipientsOf(addresses);
    const QByteArray body = SmallBody();
    const TCommClient& client = node.Client();
    std::printf("fan-out: %lld recipients (address aliases of one host, one sink), %d rounds\n",
                static_cast<long long>(recipients.size()), rounds);
    std::vector<double> ratios, totals, seqTotals;
    bool all = true;
    for (int round = 1; round <= rounds; ++round) {
        // The baseline: the same message to one recipient after another.
        std::vector<double> each;
        QElapsedTimer clock;
        clock.start();
        int seqReached = 0;
        for (const TRecipient& r : recipients) {
            TRecipients one{r};
            const qint64 start = clock.nsecsElapsed();
            if (client.SendMessageTo(QStringLiteral("to many\r\n"), one, body, TMessageSendLimits())) ++seqReached;
            each.push_back(double(clock.nsecsElapsed() - start) / 1e6);
        }
        const double seqMs = double(clock.nsecsElapsed()) / 1e6;
        const TJobRun job = RunJob(node.Chat(), recipients, body);
        all = all && job.ReachedCount() == recipients.size() && seqReached == recipients.size();
        std::printf("  round %d: one by one %.0f ms (per recipient p50 %.2f ms, p99 %.2f ms; %d reached);"
                    " one job %.0f ms (reached after p50 %.0f ms, p99 %.0f ms; %d reached); speed-up %.1fx\n",
                    round, seqMs, Percentile(each, 50), Percentile(each, 99), seqReached, job.TotalMs,
                    Percentile(job.DoneMs, 50), Percentile(job.DoneMs, 99), job.ReachedCount(), seqMs / job.TotalMs);
        std::fflush(stdout);
        ratios.push_back(job.TotalMs / seqMs);
        totals.push_back(job.TotalMs);
        seqTotals.push_back(seqMs);
    }
    std::printf("median: one job %.0f ms (target < 1000 ms), one by one %.0f ms, job/one-by-one %.3f\n",
                Percentile(totals, 50), Percentile(seqTotals, 50), Percentile(ratios, 50));
    return all ? 0 : 1;
}

int RunDead(TNode& node, const QStringList& args) {
    const QStringList live = ReadAddresses(Arg(args, "--addrs")), dead = ReadAddresses(Arg(args, "--dead"));
    if (live.isEmpty()) return 2;
    // Every tenth recipient is dead, the first among them.
    QStringList all;
    std::vector<bool> isDead;
    qsizetype l = 0, d = 0;
    while (l < live.size() || d < dead.size()) {
        const bool takeDead = d < dead.size() && (all.size() % 10 == 0 || l >= live.size());
        all << (takeDead ? dead[d++] : live[l++]);
        isDead.push_back(takeDead);
    }
    const TMessageSendLimits limits;
    const TJobRun job = RunJob(node.Chat(), RecipientsOf(all), SmallBody());
    std::vector<double> liveMs, deadMs;
    int liveReached = 0, deadReached = 0;
    for (size_t i = 0; i < isDead.size(); ++i) {
        (isDead[i] ? deadMs : liveMs).push_back(job.DoneMs[i]);
        if (job.Reached[i]) ++(isDead[i] ? deadReached : liveReached);
    }
    std::printf("dead recipients: %lld live, %lld with no host (no ARP answer), every tenth, the first dead\n",
                static_cast<long long>(live.size()), static_cast<long long>(dead.size()));
    std::printf("  live: %d reached, the last after %.0f ms (p50 %.0f ms) (target: all within 1000 ms)\n", liveReached,
                Percentile(liveMs, 100), Percentile(liveMs, 50));
    std::printf("  dead: %d reached, given up after %.0f..%.0f ms\n", deadReached, Percentile(deadMs, 1),
                Percentile(deadMs, 100));
    std::printf("  job ended after %.0f ms (target: within the connect limit %d ms + 1000 ms = %d ms)\n", job.TotalMs,
                limits.ConnectTimeoutMs, limits.ConnectTimeoutMs + 1000);
    return liveReached == live.size() ? 0 : 1;
}

int RunMemory(TNode& node, const QStringList& args) {
    const QStringList addresses = ReadAddresses(Arg(args, "--addrs"));
    const int mib = Arg(args, "--mib", "10").toInt();
    if (addresses.isEmpty()) return 2;
    const TRecipients recipients = RecipientsOf(addresses);
    // A small job first, so that the worker threads and the code are in.
    RunJob(node.Chat(), recipients.mid(0, 40), SmallBody());
    const long idle = StatusKiB("VmRSS:");
    ResetPeakRss();
    QByteArray body = "{\\rtf1\\ansi " + QByteArray(qsizetype(mib) << 20, 'x') + "}";
    const TJobRun job = RunJob(node.Chat(), recipients, body);
    body.clear();
    const long peak = StatusKiB("VmHWM:");
    std::printf("memory: one message of %d MiB to %lld recipients: %d reached in %.0f ms; sender RSS before %.1f MiB,"
                " peak %.1f MiB, peak - before %.1f MiB (target < 40 MiB)\n",
                mib, static_cast<long long>(recipients.size()), job.ReachedCount(), job.TotalMs, idle / 1024.0,
                peak / 1024.0, (peak - idle) / 1024.0);
    return job.ReachedCount() == recipients.size() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == QLatin1String("sink")) return RunSink(args);
    if (mode != QLatin1String("fanout") && mode != QLatin1String("dead") && mode != QLatin1String("memory")) {
        std::fprintf(stderr, "usage: bench_send_many sink|fanout|dead|memory OPTIONS (see bench/send_many_lab.sh)\n");
        return 2;
    }
    Params()[spNickname] = QStringLiteral("sender");
    Params()[ipListeningPort] = Arg(args, "--port", "7720").toInt();
    TNode node; // never started: its chat service and sender only
    if (mode == QLatin1String("fanout")) return RunFanout(node, args);
    if (mode == QLatin1String("dead")) return RunDead(node, args);
    return RunMemory(node, args);
}
