#pragma once
// What the benchmarks share: the process's peak memory and a best-of-N timer.
#include <QElapsedTimer>

#include <sys/resource.h>

#include <algorithm>
#include <limits>

namespace bench {

// Peak resident memory of this process so far, in MB.
inline double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;   // kilobytes on Linux
}

// The best time of f over runs, in milliseconds.
template <typename F>
double bestOf(int runs, F &&f)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

}  // namespace bench
