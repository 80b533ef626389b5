#pragma once
// The lab tools' safety net: they send only to the lab's address ranges, and
// anywhere but 127.0.0.1 only from inside a namespace made by the lab script.

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

// Names of the namespaces the lab script makes.
inline constexpr const char* kLabNamespacePrefix = "qlmlab-";

inline bool InNet(uint32_t hostOrder, uint32_t net, int bits) {
    const uint32_t mask = bits == 0 ? 0 : ~uint32_t(0) << (32 - bits);
    return (hostOrder & mask) == (net & mask);
}

inline bool IsLabDestination(in_addr address) {
    const uint32_t a = ntohl(address.s_addr);
    return InNet(a, 0x7F000000, 8)        // 127.0.0.0/8
           || InNet(a, 0x0A4D0000, 16)    // 10.77.0.0/16
           || InNet(a, 0x0A4E0000, 16)    // 10.78.0.0/16
           || InNet(a, 0xE0000000, 4)     // 224.0.0.0/4
           || a == 0xFFFFFFFF;            // 255.255.255.255
}

inline bool IsHostLoopback(in_addr address) { return ntohl(address.s_addr) == 0x7F000001; }

// True only when this process provably runs in a namespace of the lab script:
// not the initial one (where pid 1 lets us look), and the same as one bound
// under /run/netns/qlmlab-*. Anything that cannot be checked counts as "not in
// the lab".
inline bool InLabNamespace(std::string& why) {
    struct stat self {}, initial {};
    if (stat("/proc/self/ns/net", &self) != 0) {
        why = "cannot read /proc/self/ns/net";
        return false;
    }
    // Some sandboxes hide pid 1's namespaces; the match against /run/netns
    // below is then the proof on its own.
    if (stat("/proc/1/ns/net", &initial) == 0 && self.st_dev == initial.st_dev && self.st_ino == initial.st_ino) {
        why = "running in the initial network namespace";
        return false;
    }
    DIR* dir = opendir("/run/netns");
    if (dir == nullptr) {
        why = "no /run/netns: not a lab namespace";
        return false;
    }
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, kLabNamespacePrefix, std::strlen(kLabNamespacePrefix)) != 0) continue;
        struct stat bound {};
        const std::string path = std::string("/run/netns/") + entry->d_name;
        if (stat(path.c_str(), &bound) == 0 && bound.st_dev == self.st_dev && bound.st_ino == self.st_ino) {
            found = true;
            break;
        }
    }
    closedir(dir);
    if (!found) why = "this network namespace was not made by the lab script";
    return found;
}

// Refuses before any socket exists; the reason goes to stderr.
inline bool CheckDestination(in_addr to, const char* tool = "labprobe") {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &to, text, sizeof text);
    if (!IsLabDestination(to)) {
        std::fprintf(stderr, "%s: refusing to send to %s: outside the lab address ranges\n", tool, text);
        return false;
    }
    if (IsHostLoopback(to)) return true;
    std::string why;
    if (!InLabNamespace(why)) {
        std::fprintf(stderr, "%s: refusing to send to %s: %s (only 127.0.0.1 is allowed here)\n", tool, text,
                     why.c_str());
        return false;
    }
    return true;
}

