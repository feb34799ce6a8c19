#pragma once
// What the benchmarks share: the process's peak memory and a best-of-N timer.
#include <QElapsedTimer>
#include <QFile>

#include <malloc.h>

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

// Starts a new peak from the memory in use now, freed memory given back
// first, and answers that memory in MB; peakSinceReset() then tells the
// peak since. (Linux: clear_refs 5 resets the peak VmHWM shows.)
inline double vmField(const char *name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}
inline double resetPeak()
{
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return vmField("VmRSS:");
}
inline double peakSinceReset() { return vmField("VmHWM:"); }

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
