// Prints how much processor time DelayMs spends while it waits: the wait keeps the
// event loop running, and it should sleep between events rather than spin.
#include "bus/delayms.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <ctime>

namespace {
double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int waitMs = 2000;

    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    DelayMs(waitMs);
    const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpuSeconds = processCpuSeconds() - cpuBefore;

    std::printf("DelayMs(%d)\n", waitMs);
    std::printf("wall time:    %.3f s\n", wallSeconds);
    std::printf("process CPU:  %.3f s\n", cpuSeconds);
    std::printf("CPU/wall:     %.4f\n", wallSeconds > 0 ? cpuSeconds / wallSeconds : 0.0);
    return 0;
}
