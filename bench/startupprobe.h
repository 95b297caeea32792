// For the start-up probes: once the window has painted for the first time, prints the
// monotonic clock (nanoseconds) and the peak resident memory (KiB), then ends the process.
#pragma once

#include "firstpaint.h"

#include <QCoreApplication>

#include <cstdio>
#include <ctime>
#include <sys/resource.h>

inline void reportFirstPaint(QWidget *window)
{
    orbisk::afterFirstPaint(window, [] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%lld %ld\n", static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec,
                    usage.ru_maxrss);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
}
