#pragma once

// Timing of the benchmarks' rounds, always against a baseline of the same run.
#include <QElapsedTimer>

// Average wall time of one call of job over rounds calls, in milliseconds.
template <typename TJob>
double MillisecondsPerRound(int rounds, TJob job) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i) job();
    return double(timer.nsecsElapsed()) / 1e6 / rounds;
}
