// A small UDP probe for the namespace test lab (tests/lab/netlab.sh) and the
// benchmarks that run on it.
//   labprobe send --to ADDR --port P [--ttl N] [--broadcast] [--no-loop]
//                 [--size BYTES | --text TEXT] [--count N] [--interval-ms N]
//                 [--from ADDR] [--dry-run]
//   labprobe recv --port P [--group G] [--timeout-ms N] [--count N]
//                 [--bind ADDR] [--ready-file PATH]
// recv prints one line per datagram: "from=ADDR:PORT len=N[ text=...]" and exits
// 0 once COUNT datagrams arrived (--count 0: listen for the whole timeout), 1 on
// timeout. Exit 2 means bad arguments or a refused destination.
//
// Safety net: destinations are dotted quads only (no name lookup) inside
// 127/8, 10.77/16, 10.78/16, 224/4 or 255.255.255.255, and nothing is sent at
// all outside a lab namespace, except to 127.0.0.1.
#include "LabSafety.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Larger than any IPv4 datagram, so a reader never sees a truncated one.
constexpr size_t kReceiveBuffer = 65536;
constexpr size_t kShownTextLimit = 120;

struct TOptions {
    std::string To, From, Group, Bind, Text, ReadyFile;
    int Port = -1, Ttl = -1, Count = -1, TimeoutMs = 5000, IntervalMs = 0;
    long Size = -1;
    bool Broadcast = false, NoLoop = false, DryRun = false, HasText = false;
};

void Usage() {
    std::fprintf(stderr,
                 "usage: labprobe send --to ADDR --port P [--ttl N] [--broadcast] [--no-loop]\n"
                 "                     [--size BYTES | --text TEXT] [--count N] [--interval-ms N]\n"
                 "                     [--from ADDR] [--dry-run]\n"
                 "       labprobe recv --port P [--group G] [--timeout-ms N] [--count N]\n"
                 "                     [--bind ADDR] [--ready-file PATH]\n");
}

std::optional<long> ParseNumber(const char* text, long low, long high) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return std::nullopt;
    return value;
}

std::optional<in_addr> ParseAddress(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
    return address;
}

std::string Endpoint(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

std::string ShownText(std::string_view data) {
    for (unsigned char c : data)
        if (c < 0x20 || c > 0x7E) return {};
    if (data.size() <= kShownTextLimit) return std::string(data);
    return std::string(data.substr(0, kShownTextLimit)) + "...";
}

class TSocket {
public:
    TSocket() : FHandle(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~TSocket() {
        if (FHandle >= 0) close(FHandle);
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    int Handle() const { return FHandle; }
    bool Valid() const { return FHandle >= 0; }

private:
    int FHandle;
};

bool SetOption(int handle, int level, int name, int value, const char* what) {
    if (setsockopt(handle, level, name, &value, sizeof value) == 0) return true;
    std::fprintf(stderr, "labprobe: %s: %s\n", what, std::strerror(errno));
    return false;
}

int RunSend(const TOptions& o) {
    if (o.To.empty() || o.Port < 0 || (o.HasText && o.Size >= 0)) {
        Usage();
        return kExitUsage;
    }
    const std::optional<in_addr> to = ParseAddress(o.To);
    if (!to) {
        std::fprintf(stderr, "labprobe: --to needs a dotted IPv4 address, got \"%s\"\n", o.To.c_str());
        return kExitUsage;
    }
    if (!CheckDestination(*to)) return kExitUsage;
    std::optional<in_addr> from;
    if (!o.From.empty() && !(from = ParseAddress(o.From))) {
        std::fprintf(stderr, "labprobe: --from needs a dotted IPv4 address, got \"%s\"\n", o.From.c_str());
        return kExitUsage;
    }

    std::string payload;
    if (o.HasText)
        payload = o.Text;
    else {
        payload.resize(o.Size >= 0 ? size_t(o.Size) : 16);
        for (size_t i = 0; i < payload.size(); ++i) payload[i] = char('a' + i % 26);
    }
    if (o.DryRun) return kExitOk;

    TSocket s;
    if (!s.Valid()) {
        std::fprintf(stderr, "labprobe: socket: %s\n", std::strerror(errno));
        return kExitFailed;
    }
    if (o.Broadcast && !SetOption(s.Handle(), SOL_SOCKET, SO_BROADCAST, 1, "SO_BROADCAST")) return kExitFailed;
    if (o.Ttl >= 0 && !SetOption(s.Handle(), IPPROTO_IP, IP_MULTICAST_TTL, o.Ttl, "IP_MULTICAST_TTL"))
        return kExitFailed;
    if (o.NoLoop && !SetOption(s.Handle(), IPPROTO_IP, IP_MULTICAST_LOOP, 0, "IP_MULTICAST_LOOP"))
        return kExitFailed;
    if (from) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr = *from;
        if (bind(s.Handle(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            std::fprintf(stderr, "labprobe: bind %s: %s\n", o.From.c_str(), std::strerror(errno));
            return kExitFailed;
        }
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr = *to;
    target.sin_port = htons(uint16_t(o.Port));
    const int count = o.Count < 0 ? 1 : o.Count;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && o.IntervalMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o.IntervalMs));
        const ssize_t sent = sendto(s.Handle(), payload.data(), payload.size(), 0,
                                    reinterpret_cast<sockaddr*>(&target), sizeof target);
        if (sent < 0 || size_t(sent) != payload.size()) {
            std::fprintf(stderr, "labprobe: send to %s: %s\n", Endpoint(target).c_str(),
                         sent < 0 ? std::strerror(errno) : "short write");
            return kExitFailed;
        }
    }
    return kExitOk;
}

int RunRecv(const TOptions& o) {
    if (o.Port < 0 || o.TimeoutMs < 0) {
        Usage();
        return kExitUsage;
    }
    std::optional<in_addr> group, bindAddress;
    if (!o.Group.empty() && !(group = ParseAddress(o.Group))) {
        std::fprintf(stderr, "labprobe: --group needs a dotted IPv4 address\n");
        return kExitUsage;
    }
    if (!o.Bind.empty() && !(bindAddress = ParseAddress(o.Bind))) {
        std::fprintf(stderr, "labprobe: --bind needs a dotted IPv4 address\n");
        return kExitUsage;
    }
    TSocket s;
    if (!s.Valid()) {
        std::fprintf(stderr, "labprobe: socket: %s\n", std::strerror(errno));
        return kExitFailed;
    }
    // Several receivers on one port in one namespace each get every
    // multicast and broadcast datagram, as several instances would.
    if (!SetOption(s.Handle(), SOL_SOCKET, SO_REUSEADDR, 1, "SO_REUSEADDR")) return kExitFailed;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(uint16_t(o.Port));
    local.sin_addr.s_addr = bindAddress ? bindAddress->s_addr : htonl(INADDR_ANY);
    if (bind(s.Handle(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::fprintf(stderr, "labprobe: bind port %d: %s\n", o.Port, std::strerror(errno));
        return kExitFailed;
    }
    if (group) {
        ip_mreq membership{};
        membership.imr_multiaddr = *group;
        membership.imr_interface.s_addr = htonl(INADDR_ANY);
        if (setsockopt(s.Handle(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
            std::fprintf(stderr, "labprobe: join %s: %s\n", o.Group.c_str(), std::strerror(errno));
            return kExitFailed;
        }
    }
    if (!o.ReadyFile.empty()) {
        const int fd = open(o.ReadyFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::fprintf(stderr, "labprobe: ready file %s: %s\n", o.ReadyFile.c_str(), std::strerror(errno));
            return kExitFailed;
        }
        close(fd);
    }

    const int wanted = o.Count < 0 ? 1 : o.Count;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(o.TimeoutMs);
    std::vector<char> buffer(kReceiveBuffer);
    int received = 0;
    while (wanted == 0 || received < wanted) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{s.Handle(), POLLIN, 0};
        const int ready = poll(&p, 1, int(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            std::fprintf(stderr, "labprobe: poll: %s\n", std::strerror(errno));
            return kExitFailed;
        }
        if (ready == 0) break;
        sockaddr_in source{};
        socklen_t sourceLength = sizeof source;
        const ssize_t n = recvfrom(s.Handle(), buffer.data(), buffer.size(), MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&source), &sourceLength);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            std::fprintf(stderr, "labprobe: receive: %s\n", std::strerror(errno));
            return kExitFailed;
        }
        const size_t kept = std::min(size_t(n), buffer.size());
        const std::string text = ShownText(std::string_view(buffer.data(), kept));
        std::printf("from=%s len=%zd%s%s\n", Endpoint(source).c_str(), n, text.empty() ? "" : " text=", text.c_str());
        std::fflush(stdout);
        ++received;
    }
    if (wanted == 0 || received >= wanted) return kExitOk;
    std::fprintf(stderr, "labprobe: timeout after %d ms with %d of %d datagrams\n", o.TimeoutMs, received, wanted);
    return kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage();
        return kExitUsage;
    }
    const std::string verb = argv[1];
    TOptions o;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--broadcast") {
            o.Broadcast = true;
            continue;
        }
        if (arg == "--no-loop") {
            o.NoLoop = true;
            continue;
        }
        if (arg == "--dry-run") {
            o.DryRun = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "labprobe: %s needs a value\n", arg.c_str());
            return kExitUsage;
        }
        const char* value = argv[++i];
        std::string* textTarget = arg == "--to"           ? &o.To
                                  : arg == "--from"       ? &o.From
                                  : arg == "--group"      ? &o.Group
                                  : arg == "--bind"       ? &o.Bind
                                  : arg == "--ready-file" ? &o.ReadyFile
                                  : arg == "--text"       ? &o.Text
                                                          : nullptr;
        if (textTarget != nullptr) {
            *textTarget = value;
            o.HasText = o.HasText || arg == "--text";
            continue;
        }
        struct TNumberOption {
            const char* Name;
            long Low, High;
        };
        static const TNumberOption numbers[] = {{"--port", 1, 65535},        {"--ttl", 0, 255},
                                                {"--count", 0, 1000000},     {"--timeout-ms", 0, 3600000},
                                                {"--interval-ms", 0, 60000}, {"--size", 0, 65507}};
        const TNumberOption* option = nullptr;
        for (const TNumberOption& candidate : numbers)
            if (arg == candidate.Name) option = &candidate;
        if (option == nullptr) {
            std::fprintf(stderr, "labprobe: unknown argument \"%s\"\n", arg.c_str());
            Usage();
            return kExitUsage;
        }
        const std::optional<long> n = ParseNumber(value, option->Low, option->High);
        if (!n) {
            std::fprintf(stderr, "labprobe: %s needs a number in %ld..%ld\n", option->Name, option->Low, option->High);
            return kExitUsage;
        }
        if (arg == "--port") o.Port = int(*n);
        else if (arg == "--ttl") o.Ttl = int(*n);
        else if (arg == "--count") o.Count = int(*n);
        else if (arg == "--timeout-ms") o.TimeoutMs = int(*n);
        else if (arg == "--interval-ms") o.IntervalMs = int(*n);
        else o.Size = *n;
    }
    if (verb == "send") return RunSend(o);
    if (verb == "recv") return RunRecv(o);
    Usage();
    return kExitUsage;
}
