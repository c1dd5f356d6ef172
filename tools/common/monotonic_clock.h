// One clock for the stand-ins and the benchmarks: milliseconds from the performance counter, which every
// process on the machine reads alike (the tick count moves in steps of up to 16 ms under wine).
#pragma once

#include <windows.h>

inline double MonotonicMs()
{
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return double(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / ticksPerMs;
}
