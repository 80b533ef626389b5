#include "platform/StdinLinesUnit.h"

#include <QSocketNotifier>

#include <unistd.h>

namespace {
// A line longer than this is no command; it is dropped rather than kept growing.
constexpr qsizetype kMaxLine = 64 * 1024;
} // namespace

TStdinLines::TStdinLines(std::function<void(const QString&)> onLine, QObject* parent)
    : QObject(parent), FOnLine(std::move(onLine)),
      FNotifier(std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read)) {
    connect(FNotifier.get(), &QSocketNotifier::activated, this, &TStdinLines::ReadAvailable);
}

TStdinLines::~TStdinLines() = default;

void TStdinLines::ReadAvailable() {
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        FNotifier->setEnabled(false); // end of input: the caller keeps running
        return;
    }
    FPending.append(buffer, n);
    for (qsizetype lf = FPending.indexOf('\n'); lf >= 0; lf = FPending.indexOf('\n')) {
        const QString line = QString::fromUtf8(FPending.left(lf)).trimmed();
        FPending.remove(0, lf + 1);
        FOnLine(line);
    }
    if (FPending.size() > kMaxLine) FPending.clear();
}
