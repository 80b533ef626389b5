// Answers as many Quillmate peers from one lab host, for the presence
// benchmark: every peer has its own address (the lab's --extra-addrs) and
// answers a node's "QLM_LOGON" with "QLM_LOGONREPLY" and its "QLM_CHECKSIGNAL"
// with "QLM_CHECKSIGNALREPLY", as a real peer would.
//   qlmsim --addrs FILE --port 7709 [--group 234.0.0.1] [--seconds N]
// FILE lists one address per line. Prints counts when it ends.
//
// Flood mode, for the flood benchmark: COUNT valid "QLM_LOGON" datagrams, each
// from a user of its own ({FLOOD-000001}, FLOOD1, ...), sent to one node as
// fast as the socket takes them. Prints what was sent and how long it took.
//   qlmsim --flood COUNT --to ADDRESS [--port 7709]
#include "LabSafety.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct TPeer {
    int Socket = -1;
    in_addr Address{};
    std::string Id, Nick, Computer;
};

int OpenBound(in_addr address, int port) {
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in bind_to{};
    bind_to.sin_family = AF_INET;
    bind_to.sin_port = htons(uint16_t(port));
    bind_to.sin_addr = address;
    if (bind(s, reinterpret_cast<sockaddr*>(&bind_to), sizeof bind_to) != 0) {
        close(s);
        return -1;
    }
    return s;
}

void SendTo(int s, const std::string& text, in_addr to, int port) {
    if (!CheckDestination(to, "qlmsim")) return;
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_port = htons(uint16_t(port));
    dest.sin_addr = to;
    sendto(s, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&dest), sizeof dest);
}

std::string Field(std::string_view datagram, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = datagram.find('\t', start);
        if (start == std::string_view::npos) return {};
        ++start;
    }
    const size_t end = datagram.find('\t', start);
    return std::string(datagram.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

// A logon as a version 2 peer writes it (English, 1033), with an empty list of
// interfaces so the node answers the address the datagram came from.
std::string FloodLogon(long n) {
    char id[32];
    std::snprintf(id, sizeof id, "{FLOOD-%06ld}", n);
    const std::string number = std::to_string(n);
    return "QLM_LOGON\t2\t1033\t\t0\tflood" + number + "\tFLOOD" + number + "\t1.0.0.1\t" + id + "\t\t_NULL_\t_NULL_";
}

int RunFlood(long count, const std::string& toText, int port) {
    in_addr to{};
    if (count <= 0 || inet_pton(AF_INET, toText.c_str(), &to) != 1) {
        std::fprintf(stderr, "qlmsim: --flood needs a count and --to a dotted IPv4 address\n");
        return 2;
    }
    // One fixed destination: checked once, then every datagram goes to it.
    if (!CheckDestination(to, "qlmsim")) return 2;
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_port = htons(uint16_t(port));
    dest.sin_addr = to;
    if (s < 0 || connect(s, reinterpret_cast<sockaddr*>(&dest), sizeof dest) != 0) {
        std::fprintf(stderr, "qlmsim: socket to %s: %s\n", toText.c_str(), std::strerror(errno));
        return 1;
    }
    long sent = 0, failed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long n = 1; n <= count; ++n) {
        const std::string datagram = FloodLogon(n);
        // A refused port (ICMP from an earlier datagram) or a full queue loses this one only.
        if (send(s, datagram.data(), datagram.size(), 0) == ssize_t(datagram.size())) ++sent;
        else ++failed;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    close(s);
    std::printf("qlmsim: flood sent=%ld failed=%ld ms=%lld\n", sent, failed, static_cast<long long>(ms.count()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string addrsFile, group, floodTo;
    int port = 7709, seconds = 60;
    long flood = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--addrs") addrsFile = argv[i + 1];
        else if (key == "--port") port = std::atoi(argv[i + 1]);
        else if (key == "--group") group = argv[i + 1];
        else if (key == "--seconds") seconds = std::atoi(argv[i + 1]);
        else if (key == "--flood") flood = std::atol(argv[i + 1]);
        else if (key == "--to") floodTo = argv[i + 1];
    }
    if (flood != 0 || !floodTo.empty()) return RunFlood(flood, floodTo, port);
    std::string why;
    if (addrsFile.empty() || !InLabNamespace(why)) {
        std::fprintf(stderr, "qlmsim: %s\n", addrsFile.empty() ? "--addrs FILE is required" : why.c_str());
        return 2;
    }
    std::vector<TPeer> peers;
    std::ifstream in(addrsFile);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        TPeer peer;
        if (inet_pton(AF_INET, line.c_str(), &peer.Address) != 1) continue;
        peer.Socket = OpenBound(peer.Address, port);
        if (peer.Socket < 0) {
            std::fprintf(stderr, "qlmsim: cannot bind %s:%d\n", line.c_str(), port);
            return 1;
        }
        const int n = int(peers.size()) + 1;
        char id[32];
        std::snprintf(id, sizeof id, "{SIM-%04d}", n);
        peer.Id = id;
        peer.Nick = "peer" + std::to_string(n);
        peer.Computer = "SIM" + std::to_string(n);
        peers.push_back(peer);
    }
    // The group's logons arrive on a wildcard socket.
    in_addr any{};
    any.s_addr = htonl(INADDR_ANY);
    const int wildcard = OpenBound(any, port);
    if (wildcard < 0) return 1;
    if (!group.empty()) {
        ip_mreq membership{};
        inet_pton(AF_INET, group.c_str(), &membership.imr_multiaddr);
        membership.imr_interface.s_addr = htonl(INADDR_ANY);
        setsockopt(wildcard, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership);
    }
    std::vector<pollfd> polls;
    polls.push_back({wildcard, POLLIN, 0});
    for (const TPeer& p : peers) polls.push_back({p.Socket, POLLIN, 0});

    long logons = 0, checks = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buffer[8192];
    while (std::chrono::steady_clock::now() < end) {
        if (poll(polls.data(), polls.size(), 200) <= 0) continue;
        for (size_t i = 0; i < polls.size(); ++i) {
            if (!(polls[i].revents & POLLIN)) continue;
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = recvfrom(polls[i].fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n <= 0) continue;
            const std::string_view datagram(buffer, size_t(n));
            const std::string type = Field(datagram, 0);
            if (type == "QLM_LOGON") {
                ++logons;
                // Every peer answers, each from its own address.
                for (const TPeer& p : peers)
                    SendTo(p.Socket, "QLM_LOGONREPLY\t2\t1033\t0\t" + p.Nick + "\t" + p.Computer + "\t1.0.0.1\t" + p.Id +
                                         "\t\t_NULL_\t_NULL_", from.sin_addr, port);
            } else if (type == "QLM_CHECKSIGNAL" && i > 0) {
                ++checks;
                SendTo(peers[i - 1].Socket, "QLM_CHECKSIGNALREPLY\t2\t" + peers[i - 1].Id, from.sin_addr, port);
            }
        }
    }
    std::printf("qlmsim: peers=%zu logons=%ld checks=%ld\n", peers.size(), logons, checks);
    return 0;
}
