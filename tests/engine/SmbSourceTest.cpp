// The SMB source's library thread, with a stand-in for the library: a call
// past the browse's limit is left running but counted, outlives its source,
// and the process waits for it at exit instead of tearing the library down
// under it.
#include "neighbourhood/SmbSourceUnit.h"

#include <gtest/gtest.h>

#include <QThread>

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

// A library call held until Release().
struct THeldCall {
    std::mutex Mutex;
    std::condition_variable Released;
    bool Open = false;
    void Release() {
        std::lock_guard lock(Mutex);
        Open = true;
        Released.notify_all();
    }
};

TSmbConfig Held(std::shared_ptr<THeldCall> held) {
    TSmbConfig config;
    config.Call = [held](const QByteArray&, bool, int) {
        std::unique_lock lock(held->Mutex);
        held->Released.wait_for(lock, std::chrono::seconds(30), [&] { return held->Open; });
        TNetBrowseResult r;
        r.Containers << QStringLiteral("LATE");
        return r;
    };
    return config;
}

} // namespace

TEST(SmbSource, ACallPastTheLimitRunsOnAfterItsSourceAndIsWaitedFor) {
    ASSERT_TRUE(WaitForSmbCalls(5000));
    auto held = std::make_shared<THeldCall>();
    {
        TSmbSource source(Held(held));
        std::atomic<bool> cancel{false};
        const TNetBrowseResult r = source.Browse(QString(), 100, cancel);
        EXPECT_TRUE(r.Containers.isEmpty());
        EXPECT_FALSE(r.Error.isEmpty());
    }
    EXPECT_EQ(SmbCallsRunning(), 1);
    EXPECT_FALSE(WaitForSmbCalls(50));
    held->Release();
    EXPECT_TRUE(WaitForSmbCalls(5000));
    EXPECT_EQ(SmbCallsRunning(), 0);
}

TEST(SmbSource, AnAnswerWithinTheLimitIsTaken) {
    TSmbConfig config;
    config.Call = [](const QByteArray& url, bool workgroups, int) {
        TNetBrowseResult r;
        if (!workgroups && url == "smb://LAB") r.Computers << TNetSighting{QString(), QStringLiteral("ALPHA"), {}};
        return r;
    };
    TSmbSource source(std::move(config));
    std::atomic<bool> cancel{false};
    const TNetBrowseResult r = source.Browse(QStringLiteral("LAB"), 5000, cancel);
    ASSERT_EQ(r.Computers.size(), 1);
    EXPECT_EQ(r.Computers.front().Workgroup, QStringLiteral("LAB"));
}

TEST(SmbSourceDeathTest, TheProcessExitWaitsForARunningCall) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TSmbConfig config;
            config.Call = [](const QByteArray&, bool, int) {
                QThread::msleep(400);
                std::fprintf(stderr, "library call ended\n");
                std::fflush(stderr);
                return TNetBrowseResult{};
            };
            TSmbSource source(std::move(config));
            std::atomic<bool> cancel{false};
            source.Browse(QString(), 50, cancel);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "library call ended");
}
