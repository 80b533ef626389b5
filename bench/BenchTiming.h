#pragma once

// Timing of the benchmarks' rounds, always against a baseline of the same run.
#include <QElapsedTimer>

#include <algorithm>
#include <vector>

// Average wall time of one call of job over rounds calls, in milliseconds.
template <typename TJob>
double MillisecondsPerRound(int rounds, TJob job) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i) job();
    return double(timer.nsecsElapsed()) / 1e6 / rounds;
}

// The nearest-rank percentile of values (percent 1..100); 0 for none.
inline double Percentile(std::vector<double> values, int percent) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = (values.size() * size_t(percent) + 99) / 100;
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}
