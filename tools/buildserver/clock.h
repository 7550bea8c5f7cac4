// Milliseconds of a clock that only moves forward, for time-outs.
#ifndef XRB_BUILDSERVER_CLOCK_H
#define XRB_BUILDSERVER_CLOCK_H

#include <cstdint>
#include <time.h>

inline int64_t monotonicMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

#endif
