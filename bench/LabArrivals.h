#pragma once

// Output lines of processes on other lab hosts, stamped as they arrive, and
// /proc figures of those processes, for bench_chat_lab.
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

inline constexpr int kRawMarkLength = 13; // "QLMBrr-ssssss"
inline constexpr qint64 kQuietNs = 3'000'000'000;        // nothing new for this long: the rest is lost
inline constexpr qint64 kStartLimitNs = 60'000'000'000;  // a node confirms its network within this

inline qint64 NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// "QLMBrr-ssssss": round and sequence number, in every body, found again in
// whatever the receiver prints.
inline std::string Mark(int round, int seq) {
    char text[32];
    std::snprintf(text, sizeof text, "QLMB%02d-%06d", round, seq);
    return text;
}

inline bool ParseMark(const std::string& line, int* round, int* seq) {
    const size_t at = line.find("QLMB");
    if (at == std::string::npos || line.size() < at + kRawMarkLength || line[at + 6] != '-') return false;
    return std::sscanf(line.c_str() + at + 4, "%2d", round) == 1 && std::sscanf(line.c_str() + at + 7, "%6d", seq) == 1;
}

struct TArrival {
    int Round;
    int Seq;
    qint64 Ns;
};

// What one peer process printed: the marked items with their arrival times,
// whether it is up, and its last lines about itself.
class TArrivals {
public:
    TArrivals(std::string readyText, std::string itemText) : FReady(std::move(readyText)), FItem(std::move(itemText)) {}

    void Add(const std::string& line, qint64 ns) {
        std::lock_guard<std::mutex> lock(FMutex);
        int round = 0, seq = 0;
        if (line.find(FItem) != std::string::npos && ParseMark(line, &round, &seq)) {
            FList.push_back({round, seq, ns});
            ++FPerRound[round];
            FLastNs = ns;
        } else if (line.find(FReady) != std::string::npos) {
            FUp = true;
        } else if (line.find("\"event\":\"stopped\"") != std::string::npos) {
            FStopped = line;
        } else if (line.find("\"event\":\"listener\"") != std::string::npos) {
            FListener = line;
        }
        FChanged.notify_all();
    }
    void End() {
        std::lock_guard<std::mutex> lock(FMutex);
        FEnded = true;
        FChanged.notify_all();
    }
    bool WaitUp() {
        std::unique_lock<std::mutex> lock(FMutex);
        return FChanged.wait_for(lock, std::chrono::nanoseconds(kStartLimitNs), [this] { return FUp || FEnded; }) && FUp;
    }
    bool WaitEnded(qint64 limitNs) {
        std::unique_lock<std::mutex> lock(FMutex);
        return FChanged.wait_for(lock, std::chrono::nanoseconds(limitNs), [this] { return FEnded; });
    }
    // Until count items of the round came, or nothing came for kQuietNs.
    void WaitRound(int round, int count) {
        std::unique_lock<std::mutex> lock(FMutex);
        const qint64 since = NowNs();
        while (FPerRound[round] < count && !FEnded) {
            const qint64 quietFrom = std::max(since, FLastNs);
            const qint64 left = quietFrom + kQuietNs - NowNs();
            if (left <= 0) break;
            FChanged.wait_for(lock, std::chrono::nanoseconds(left));
        }
    }
    std::vector<TArrival> Round(int round) const {
        std::lock_guard<std::mutex> lock(FMutex);
        std::vector<TArrival> result;
        for (const TArrival& a : FList)
            if (a.Round == round) result.push_back(a);
        return result;
    }
    std::string Stopped() const {
        std::lock_guard<std::mutex> lock(FMutex);
        return FStopped;
    }
    std::string Listener() const {
        std::lock_guard<std::mutex> lock(FMutex);
        return FListener;
    }

private:
    const std::string FReady, FItem;
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<TArrival> FList;
    std::map<int, int> FPerRound;
    qint64 FLastNs = 0;
    bool FUp = false, FEnded = false;
    std::string FStopped, FListener;
};

// Reads a fifo line by line on a thread of its own and hands each line to
// arrivals with the time it came.
class TLineReader {
public:
    TLineReader(const char* path, TArrivals& arrivals) : FArrivals(arrivals) {
        FFd = ::open(path, O_RDONLY | O_CLOEXEC); // waits for the writer
        if (::pipe2(FWake, O_CLOEXEC) != 0) FWake[0] = FWake[1] = -1;
        FThread = std::thread([this] { Run(); });
    }
    ~TLineReader() {
        if (FWake[1] >= 0) (void)!::write(FWake[1], "x", 1);
        FThread.join();
        for (const int fd : {FFd, FWake[0], FWake[1]})
            if (fd >= 0) ::close(fd);
    }
    bool Opened() const { return FFd >= 0; }

private:
    void Run() {
        std::string pending;
        char buffer[65536];
        while (FFd >= 0) {
            pollfd fds[2] = {{FFd, POLLIN, 0}, {FWake[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents) break;
            const ssize_t n = ::read(FFd, buffer, sizeof buffer);
            if (n <= 0) break;
            const qint64 ns = NowNs();
            pending.append(buffer, size_t(n));
            size_t start = 0;
            for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
                FArrivals.Add(pending.substr(start, end - start), ns);
            pending.erase(0, start);
        }
        FArrivals.End();
    }

    TArrivals& FArrivals;
    int FFd = -1;
    int FWake[2] = {-1, -1};
    std::thread FThread;
};

inline void Tell(const std::string& fifo, const char* line) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    (void)!::write(fd, line, std::strlen(line));
    ::close(fd);
}

inline long RssKiB(int pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", pid);
    FILE* file = std::fopen(path, "r");
    if (!file) return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, file))
        if (std::sscanf(line, "VmRSS: %ld", &kib) == 1) break;
    std::fclose(file);
    return kib;
}

inline qint64 ThreadCpuNs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// User and system time of every thread of pid, in clock ticks.
inline long CpuTicks(int pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    FILE* file = std::fopen(path, "r");
    if (!file) return 0;
    char line[1024] = {};
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    const char* rest = read ? std::strrchr(line, ')') : nullptr;
    long user = 0, system = 0;
    // After the name: state, then fields 4..13, then utime and stime.
    if (!rest || std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &user, &system) != 2) return 0;
    return user + system;
}
