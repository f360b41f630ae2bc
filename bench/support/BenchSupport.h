#pragma once

#include <QElapsedTimer>

#include <cstdio>
#include <functional>

namespace vornic::bench {

// A figure of /proc/self/status in megabytes ("VmHWM:" the peak resident memory so far, "VmRSS:" the resident
// memory now); 0 when it cannot be read.
double statusMegabytes(const char* key);
inline double peakMegabytes() {
    return statusMegabytes("VmHWM:");
}

inline double millisecondsSince(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Said first, since the figures of a Debug build are no guide to the program as delivered: build with
// -DCMAKE_BUILD_TYPE=Release for figures that mean something.
inline void printBuildKind() {
#ifndef NDEBUG
    std::printf("a Debug build: its figures are no guide to the program as delivered\n");
#endif
}

// Runs work in a child process and waits for it, so that the memory it takes (filling a database) does not count
// as the measured run's. Call it before any thread is started: then forking is safe. False when it failed.
bool inChildProcess(const std::function<void()>& work);

} // namespace vornic::bench
