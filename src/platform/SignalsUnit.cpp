#include "platform/SignalsUnit.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int gPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(gPipe[1], &byte, 1);
}
} // namespace

TQuitSignals::TQuitSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), FOnSignal(std::move(onSignal)) {
    if (gPipe[0] < 0 && ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(gPipe[0], buffer, sizeof buffer) > 0) {}
        if (FOnSignal) FOnSignal();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

TQuitSignals::~TQuitSignals() {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}
