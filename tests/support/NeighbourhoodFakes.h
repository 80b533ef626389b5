#pragma once

// Fake browse sources and resolvers for the network neighbourhood: answers
// from a function, an optional hold until released or cancelled, and counts
// of calls and of how many ran at once.

#include "neighbourhood/NetTreeUnit.h"

#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace NetFake {

// Holds callers until Release() or until their cancel flag is set.
class TGate {
public:
    void Release() {
        std::lock_guard lock(FMutex);
        FOpen = true;
        FCondition.notify_all();
    }
    // True when released, false when cancelled or after maxMs.
    bool Wait(const std::atomic<bool>& cancel, int maxMs = 30000) {
        const QDeadlineTimer deadline(maxMs);
        std::unique_lock lock(FMutex);
        while (!FOpen) {
            if (cancel.load() || deadline.hasExpired()) return false;
            FCondition.wait_for(lock, std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    std::mutex FMutex;
    std::condition_variable FCondition;
    bool FOpen = false;
};

class TFakeSource : public TNetBrowseSource {
public:
    using TAnswer = std::function<TNetBrowseResult(const QString& container)>;
    TFakeSource(TNetSources id, QString name, bool flat, TAnswer answer)
        : FId(id), FName(std::move(name)), FFlat(flat), FAnswer(std::move(answer)) {}

    TNetSources Id() const override { return FId; }
    QString Name() const override { return FName; }
    bool IsFlat() const override { return FFlat; }
    TNetBrowseResult Browse(const QString& container, int timeoutMs, const std::atomic<bool>& cancel) override {
        ++Calls;
        {
            std::lock_guard lock(FMutex);
            Asked.append(container);
        }
        if (Silent) {
            // A network that never answers: held until the service gives up,
            // then an answer that must be ignored.
            Gate.Wait(cancel, timeoutMs * 10);
            TNetBrowseResult late;
            late.Containers << QStringLiteral("LATE");
            late.Computers << TNetSighting{QStringLiteral("LATE"), QStringLiteral("LATECOMER"), {}};
            return late;
        }
        if (Held) Gate.Wait(cancel);
        if (Before) Before();
        return FAnswer(container);
    }
    void SetAnswer(TAnswer answer) { FAnswer = std::move(answer); }
    QStringList AskedFor() {
        std::lock_guard lock(FMutex);
        return Asked;
    }

    std::atomic<int> Calls{0};
    std::atomic<bool> Silent{false};
    std::atomic<bool> Held{false};
    std::function<void()> Before;
    TGate Gate;

private:
    TNetSources FId;
    QString FName;
    bool FFlat;
    TAnswer FAnswer;
    std::mutex FMutex;
    QStringList Asked;
};

inline TNetSighting Seen(const QString& workgroup, const QString& name, const QString& address = {}) {
    return TNetSighting{workgroup, name, address.isEmpty() ? QHostAddress() : QHostAddress(address)};
}

// A resolver from a table of names, counting how many run at once.
struct TFakeResolver {
    std::function<QString(const QString&)> Lookup;
    int DelayMs = 0;
    std::atomic<int> Running{0};
    std::atomic<int> MostAtOnce{0};
    std::atomic<int> Calls{0};

    TNetResolveFunction Function() {
        return [this](const QString& name, int, const std::atomic<bool>& cancel) {
            ++Calls;
            const int now = ++Running;
            int most = MostAtOnce.load();
            while (now > most && !MostAtOnce.compare_exchange_weak(most, now)) {}
            const QDeadlineTimer until(DelayMs);
            while (!until.hasExpired() && !cancel.load()) QThread::msleep(2);
            const QString address = Lookup ? Lookup(name) : QString();
            --Running;
            return address.isEmpty() ? QHostAddress() : QHostAddress(address);
        };
    }
};

} // namespace NetFake
