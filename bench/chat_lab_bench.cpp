// Chat traffic between lab hosts, driven by bench/chat_lab.sh. Three modes:
//   sink --port P [--framed]
//       (receiving host) accepts connections one after another, reads each to
//       its end and prints "got MARK BYTES"; "ready" once listening. Ends on
//       "quit" or the end of standard input. Framed, it reads one request to
//       the end of its body and closes the connection itself, as a node does.
//   messages --to ADDR --sink-port P --count N --rounds R --warmup W
//            --slices S --receiver OUT --receiver-input IN --receiver-pid PID
//            --sink OUT --sink-input IN --sink-pid PID
//            [--framed-sink-port P2 --framed-sink OUT --framed-sink-input IN --framed-sink-pid PID]
//       (sending host) per round: N raw connect-write-close requests into the
//       sink, with a framed sink also N raw requests that wait for the sink's
//       close (what delivery confirmation costs, with no node behind it), and
//       N "QLM_MESSAGE" of a 1 KiB RTF body through
//       TCommClient::SendMessageTo into the node whose `listen --json` output
//       is OUT; the same bytes on the same link, each kind back to back in S
//       slices taken in turns.
//   broadcasts --count N --bytes B --rounds R --receiver OUT,... --receiver-input IN,...
//       (sending host) per round: N "QLM_BROADCAST" datagrams of B bytes
//       back to back; counts what each receiving node shows.
// Output lines of the other processes are stamped as they arrive on this
// host's monotonic clock (one clock for every namespace), so a latency is the
// time from the start of a send to the receiver's line about it.
#include "BenchTiming.h"
#include "LabArrivals.h"

#include "core/ParamsUnit.h"
#include "messaging/ChatContentUnit.h"
#include "node/NodeUnit.h"
#include "protocol/ChatCodecUnit.h"
#include "text/MsgLangUnit.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// What a kind of traffic did over one or more slices.
struct TFigures {
    int Count = 0, Sent = 0, Failed = 0, Received = 0, Duplicates = 0;
    qint64 SendNs = 0;   // in the send loops
    qint64 ActiveNs = 0; // from each slice's first send to its last arrival
    // Processor time, which load from elsewhere on the machine changes little:
    // the sending thread's in the send loops, the receiving process's (all
    // its threads, in clock ticks) from a slice's start to its last arrival.
    qint64 SenderCpuNs = 0;
    long ReceiverTicks = 0;
    std::vector<double> LatenciesMs;

    double Rate() const { return ActiveNs > 0 ? Received / (double(ActiveNs) / 1e9) : 0; }
    double SendRate() const { return SendNs > 0 ? Count / (double(SendNs) / 1e9) : 0; }
    double SenderCpuUs() const { return Count > 0 ? double(SenderCpuNs) / 1e3 / Count : 0; }
    double ReceiverCpuUs() const { return Count > 0 ? ReceiverTicks * 1e6 / double(::sysconf(_SC_CLK_TCK)) / Count : 0; }
    double PercentileMs(int percent) const { return Percentile(LatenciesMs, percent); }
};

// Sends count items with send(seq) back to back, then waits for them at the
// receiver; adds what happened to f.
void RunSlice(int slice, int count, const std::function<bool(int)>& send, TArrivals& arrivals, int receiverPid,
              TFigures& f) {
    std::vector<qint64> started(size_t(count), 0);
    const long ticks = CpuTicks(receiverPid);
    const qint64 cpu = ThreadCpuNs();
    const qint64 first = NowNs();
    for (int seq = 0; seq < count; ++seq) {
        started[size_t(seq)] = NowNs();
        if (send(seq)) ++f.Sent; else ++f.Failed;
    }
    f.SendNs += NowNs() - first;
    f.SenderCpuNs += ThreadCpuNs() - cpu;
    f.Count += count;
    arrivals.WaitRound(slice, count);
    f.ReceiverTicks += CpuTicks(receiverPid) - ticks;
    std::vector<bool> seen(size_t(count), false);
    qint64 last = first;
    for (const TArrival& a : arrivals.Round(slice)) {
        if (a.Seq < 0 || a.Seq >= count) continue;
        if (seen[size_t(a.Seq)]) {
            ++f.Duplicates;
            continue;
        }
        seen[size_t(a.Seq)] = true;
        ++f.Received;
        f.LatenciesMs.push_back(double(a.Ns - started[size_t(a.Seq)]) / 1e6);
        last = std::max(last, a.Ns);
    }
    f.ActiveNs += last - first;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Pads text behind the mark until make(text) is exactly bytes long (or as
// close below as the encoding allows).
QString FitText(const std::string& mark, qsizetype bytes, const std::function<qsizetype(const QString&)>& size) {
    static const QString kFiller = QStringLiteral("the quick brown fox jumps over the lazy dog ");
    const qsizetype head = qsizetype(mark.size()) + 1;
    const auto textOf = [&](qsizetype filler) {
        QString text = QString::fromStdString(mark) + QLatin1Char(' ');
        while (text.size() < head + filler) text += kFiller;
        text.truncate(head + filler);
        return text;
    };
    qsizetype filler = 0;
    for (int i = 0; i < 20; ++i) {
        const qsizetype have = size(textOf(filler));
        if (have == bytes) break;
        filler = std::max<qsizetype>(0, filler + bytes - have);
    }
    while (filler > 0 && size(textOf(filler)) > bytes) --filler;
    return textOf(filler);
}

std::string Arg(const QStringList& args, const char* name, const char* fallback = "") {
    const qsizetype i = args.indexOf(QLatin1String(name));
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toStdString() : std::string(fallback);
}
int IntArg(const QStringList& args, const char* name, int fallback) {
    const std::string value = Arg(args, name);
    return value.empty() ? fallback : std::stoi(value);
}

// Bytes of the whole request once its header line and body length are in; -1 before.
qint64 FramedLength(const std::string& data) {
    const size_t line = data.find("\r\n");
    if (line == std::string::npos || data.size() < line + 6) return -1;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + line + 2);
    return qint64(line) + 6 + ((qint64(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]);
}

int RunSink(const QStringList& args) {
    const int port = IntArg(args, "--port", 7719);
    const bool framed = args.contains(QLatin1String("--framed"));
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1024) != 0) {
        std::perror("bench_chat_lab sink");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string data;
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {0, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) {
            const ssize_t n = ::read(0, buffer, sizeof buffer);
            if (n <= 0 || std::string(buffer, size_t(n)).find("quit") != std::string::npos) return 0;
        }
        if (!(fds[0].revents & POLLIN)) continue;
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        data.clear();
        for (ssize_t n; (n = ::read(connection, buffer, sizeof buffer)) > 0;) {
            data.append(buffer, size_t(n));
            if (framed) {
                const qint64 whole = FramedLength(data);
                if (whole >= 0 && qint64(data.size()) >= whole) break;
            }
        }
        ::close(connection);
        const size_t at = data.find("QLMB");
        std::printf("got %s %zu\n", at == std::string::npos ? "-" : data.substr(at, kRawMarkLength).c_str(), data.size());
        std::fflush(stdout);
    }
}

bool RawSend(const sockaddr_in& to, const QByteArray& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        ok = n > 0;
        done += n;
    }
    ::close(fd);
    return ok;
}

// As RawSend, and then waits for the peer to close: taken, as a sender that
// confirms delivery counts it.
bool RawSendAndWait(const sockaddr_in& to, const QByteArray& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        ok = n > 0;
        done += n;
    }
    char byte;
    ssize_t n = 0;
    while (ok && (n = ::read(fd, &byte, 1)) > 0) {}
    ok = ok && n == 0;
    ::close(fd);
    return ok;
}

void PrintFigures(const char* name, int round, TFigures& f) {
    std::printf("  round %d %-8s %6.0f msg/s at the receiver (send loop %6.0f/s), latency p50 %6.2f ms p99 %7.2f ms,"
                " CPU per message: sender %4.0f us, receiver %4.0f us; %d/%d shown, %d send failures, %d duplicates\n",
                round, name, f.Rate(), f.SendRate(), f.PercentileMs(50), f.PercentileMs(99), f.SenderCpuUs(),
                f.ReceiverCpuUs(), f.Received, f.Count, f.Failed, f.Duplicates);
}

int RunMessages(const QStringList& args) {
    const int count = IntArg(args, "--count", 2000), rounds = std::clamp(IntArg(args, "--rounds", 3), 1, 9);
    const int slices = std::clamp(IntArg(args, "--slices", 4), 1, 10);
    const int warmup = IntArg(args, "--warmup", 200), pid = IntArg(args, "--receiver-pid", 0);
    const int sinkPid = IntArg(args, "--sink-pid", 0);
    const QString to = QString::fromStdString(Arg(args, "--to"));
    sockaddr_in sink{};
    sink.sin_family = AF_INET;
    sink.sin_port = htons(quint16(IntArg(args, "--sink-port", 7719)));
    if (::inet_pton(AF_INET, to.toLatin1().constData(), &sink.sin_addr) != 1) {
        std::fprintf(stderr, "bench_chat_lab: --to needs a dotted quad\n");
        return 2;
    }
    TArrivals node("\"event\":\"network-confirmed\"", "\"event\":\"WM_PEER_MESSAGE\""), raw("ready", "got ");
    TLineReader nodeReader(Arg(args, "--receiver").c_str(), node), sinkReader(Arg(args, "--sink").c_str(), raw);
    if (!nodeReader.Opened() || !sinkReader.Opened() || !node.WaitUp() || !raw.WaitUp()) {
        std::fprintf(stderr, "bench_chat_lab: the receiving node or the sink did not come up\n");
        return 1;
    }
    // The fair baseline: raw requests that wait for the framed sink's close.
    const bool fair = !Arg(args, "--framed-sink").empty();
    sockaddr_in framedSink = sink;
    framedSink.sin_port = htons(quint16(IntArg(args, "--framed-sink-port", 7721)));
    const int framedPid = IntArg(args, "--framed-sink-pid", 0);
    TArrivals waited("ready", "got ");
    std::unique_ptr<TLineReader> framedReader;
    if (fair) {
        framedReader = std::make_unique<TLineReader>(Arg(args, "--framed-sink").c_str(), waited);
        if (!framedReader->Opened() || !waited.WaitUp()) {
            std::fprintf(stderr, "bench_chat_lab: the framed sink did not come up\n");
            return 1;
        }
    }
    Params()[spNickname] = QStringLiteral("sender");
    TNode sender; // never started: its sender only, with this node's identity and settings
    const TCommClient& client = sender.Client();
    const int languageId = client.Lang().LanguageId();
    TRecipient recipient;
    recipient.ComputerName = recipient.IPAddress = to;
    qsizetype bodyBytes = 0, requestBytes = 0;
    QStringList why;

    // n of each kind in slices taken in turns, so that load from elsewhere on
    // the machine falls on both alike. Slice s of round r is marked r*10+s.
    const auto runRound = [&](int round, int n, TFigures& rawFigures, TFigures& chatFigures, TFigures& waitFigures) {
        for (int s = 0; s < slices; ++s) {
            const int slice = round * 10 + s;
            const int size = n / slices + (s < n % slices ? 1 : 0);
            std::vector<QString> summaries;
            std::vector<QByteArray> bodies, requests;
            // Marks have one length, so one fitted text serves every item.
            const QString fitted = FitText(Mark(slice, 0), 1024,
                                           [&](const QString& t) { return RichBodyFromText(t, {}, languageId).size(); });
            for (int seq = 0; seq < size; ++seq) {
                const QString text = QString::fromStdString(Mark(slice, seq)) + fitted.mid(kRawMarkLength);
                summaries.push_back(MakeFirst2Line(text));
                bodies.push_back(RichBodyFromText(text, {}, languageId));
                requests.push_back(EncodeMessageRequest(client.Identity(), summaries.back(), bodies.back(), client.Lang()));
            }
            bodyBytes = bodies.front().size();
            requestBytes = requests.front().size();
            RunSlice(slice, size, [&](int seq) { return RawSend(sink, requests[size_t(seq)]); }, raw, sinkPid, rawFigures);
            if (fair)
                RunSlice(slice, size, [&](int seq) { return RawSendAndWait(framedSink, requests[size_t(seq)]); }, waited,
                         framedPid, waitFigures);
            RunSlice(slice, size, [&](int seq) {
                TRecipients one{recipient};
                QList<TRecipientDelivery> deliveries;
                const bool sent = client.SendMessageTo(summaries[size_t(seq)], one, bodies[size_t(seq)],
                                                       TMessageSendLimits(), &deliveries);
                const QString reason = deliveries.value(0).Reason;
                if (!sent && !why.contains(reason)) why << reason;
                return sent;
            }, node, pid, chatFigures);
        }
    };

    const long idle = RssKiB(pid);
    TFigures warmRaw, warmChat, warmWait;
    runRound(0, warmup, warmRaw, warmChat, warmWait);
    const long warm = RssKiB(pid);
    std::printf("messages: %d of each kind per round in %d slices taken in turns; body %lld bytes of RTF, request %lld"
                " bytes; warm-up of %d each: %d/%d shown\n",
                count, slices, static_cast<long long>(bodyBytes), static_cast<long long>(requestBytes), warmup,
                warmChat.Received, warmChat.Count);
    std::vector<double> ratios, rawRates, chatRates, p50s, p99s, rawP50s, fairRatios, waitRates;
    std::vector<long> rss;
    int lost = warmChat.Count - warmChat.Received, failed = warmChat.Failed;
    for (int round = 1; round <= rounds; ++round) {
        TFigures rawFigures, chatFigures, waitFigures;
        runRound(round, count, rawFigures, chatFigures, waitFigures);
        rss.push_back(RssKiB(pid));
        PrintFigures("raw TCP", round, rawFigures);
        if (fair) {
            PrintFigures("raw+wait", round, waitFigures);
            std::printf("  round %d ratio message/raw-waiting-for-close %.2f\n", round,
                        chatFigures.Rate() / waitFigures.Rate());
            fairRatios.push_back(chatFigures.Rate() / waitFigures.Rate());
            waitRates.push_back(waitFigures.Rate());
        }
        PrintFigures("message", round, chatFigures);
        std::printf("  round %d ratio message/raw %.2f; receiver RSS %.1f MiB\n", round,
                    chatFigures.Rate() / rawFigures.Rate(), rss.back() / 1024.0);
        std::fflush(stdout);
        ratios.push_back(chatFigures.Rate() / rawFigures.Rate());
        rawRates.push_back(rawFigures.Rate());
        chatRates.push_back(chatFigures.Rate());
        p50s.push_back(chatFigures.PercentileMs(50));
        p99s.push_back(chatFigures.PercentileMs(99));
        rawP50s.push_back(rawFigures.PercentileMs(50));
        lost += chatFigures.Count - chatFigures.Received;
        failed += chatFigures.Failed;
    }
    Tell(Arg(args, "--sink-input"), "quit\n");
    if (fair) Tell(Arg(args, "--framed-sink-input"), "quit\n");
    Tell(Arg(args, "--receiver-input"), "quit\n");
    node.WaitEnded(30'000'000'000);
    std::printf("median of %d rounds: raw TCP %.0f msg/s, QLM_MESSAGE %.0f msg/s, ratio %.2f (target >= 0.7)\n", rounds,
                Median(rawRates), Median(chatRates), Median(ratios));
    if (fair)
        std::printf("fair baseline (raw request waiting for the sink's close): %.0f msg/s, ratio message/it %.2f"
                    " (target >= 0.7)\n",
                    Median(waitRates), Median(fairRatios));
    std::printf("send-to-event latency at the receiver: p50 %.2f ms (target < 5 ms), p99 %.2f ms (raw TCP p50 %.2f ms)\n",
                Median(p50s), Median(p99s), Median(rawP50s));
    std::printf("receiver RSS: idle %.1f MiB, after warm-up %.1f MiB, after the rounds", idle / 1024.0, warm / 1024.0);
    for (const long kib : rss) std::printf(" %.1f", kib / 1024.0);
    std::printf(" MiB (growth over the rounds %+.1f MiB)\n", (rss.back() - warm) / 1024.0);
    std::printf("messages never shown: %d, of which the sender was told %d (%s)\n", lost, failed,
                why.isEmpty() ? "-" : qPrintable(why.join(QStringLiteral("; "))));
    std::printf("receiver's last counts: %s\n                        %s\n", node.Listener().c_str(), node.Stopped().c_str());
    return lost == 0 ? 0 : 1;
}

int RunBroadcasts(const QStringList& args) {
    const int count = IntArg(args, "--count", 1000), rounds = IntArg(args, "--rounds", 3);
    const int bytes = IntArg(args, "--bytes", 3000);
    const QStringList outs = QString::fromStdString(Arg(args, "--receiver")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList ins =
        QString::fromStdString(Arg(args, "--receiver-input")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    std::vector<std::unique_ptr<TArrivals>> nodes;
    std::vector<std::unique_ptr<TLineReader>> readers;
    for (const QString& out : outs) {
        nodes.push_back(std::make_unique<TArrivals>("\"event\":\"network-confirmed\"", "\"event\":\"WM_PEER_BROADCAST\""));
        readers.push_back(std::make_unique<TLineReader>(out.toLocal8Bit().constData(), *nodes.back()));
    }
    for (size_t i = 0; i < nodes.size(); ++i)
        if (!readers[i]->Opened() || !nodes[i]->WaitUp()) {
            std::fprintf(stderr, "bench_chat_lab: receiver %zu did not come up\n", i + 1);
            return 1;
        }
    Params()[spNickname] = QStringLiteral("sender");
    TNode sender;
    const TCommClient& client = sender.Client();
    int faults = 0;
    std::printf("broadcasts: %d per round of %d bytes each, to %lld nodes\n", count, bytes,
                static_cast<long long>(nodes.size()));
    for (int round = 1; round <= rounds; ++round) {
        std::vector<QString> summaries, texts;
        const QString fitted = FitText(Mark(round, 0), bytes, [&](const QString& t) {
            return EncodeBroadcast(client.Identity(), MakeFirst2Line(t), t, client.Lang()).size();
        });
        for (int seq = 0; seq < count; ++seq) {
            texts.push_back(QString::fromStdString(Mark(round, seq)) + fitted.mid(kRawMarkLength));
            summaries.push_back(MakeFirst2Line(texts.back()));
        }
        const qsizetype size = EncodeBroadcast(client.Identity(), summaries.front(), texts.front(), client.Lang()).size();
        int failed = 0;
        const qint64 first = NowNs();
        for (int seq = 0; seq < count; ++seq)
            if (!client.SendBroadcast(summaries[size_t(seq)], texts[size_t(seq)])) ++failed;
        const double sendMs = double(NowNs() - first) / 1e6;
        std::printf("  round %d: %d datagrams of %lld bytes sent in %.0f ms, %d not sent\n", round, count,
                    static_cast<long long>(size), sendMs, failed);
        faults += failed;
        for (size_t i = 0; i < nodes.size(); ++i) {
            nodes[i]->WaitRound(round, count);
            std::vector<int> times(size_t(count), 0);
            qint64 last = first;
            for (const TArrival& a : nodes[i]->Round(round)) {
                if (a.Seq >= 0 && a.Seq < count) ++times[size_t(a.Seq)];
                last = std::max(last, a.Ns);
            }
            const long shownOnce = std::count(times.begin(), times.end(), 1);
            const long missing = std::count(times.begin(), times.end(), 0);
            const long more = count - shownOnce - missing;
            std::printf("    receiver %zu: %ld shown once, %ld missing, %ld shown more than once;"
                        " last %.0f ms after the first send\n",
                        i + 1, shownOnce, missing, more, double(last - first) / 1e6);
            faults += int(missing + more);
        }
        std::fflush(stdout);
    }
    for (const QString& in : ins) Tell(in.toStdString(), "quit\n");
    for (const auto& node : nodes) node->WaitEnded(30'000'000'000);
    std::printf("broadcasts: %s\n", faults == 0 ? "none lost, each shown exactly once at every receiver"
                                                 : "some were lost, shown twice or not sent (see the rounds)");
    return faults == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == QLatin1String("sink")) return RunSink(args);
    if (mode == QLatin1String("messages")) return RunMessages(args);
    if (mode == QLatin1String("broadcasts")) return RunBroadcasts(args);
    std::fprintf(stderr, "usage: bench_chat_lab sink|messages|broadcasts OPTIONS (see bench/chat_lab.sh)\n");
    return 2;
}
