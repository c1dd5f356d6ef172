// The benchmarks' one clock: wall time per call over many calls.
#pragma once

#include <windows.h>

#include <functional>

inline double MicrosecondsPerCall(int calls, const std::function<void()>& call)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < calls; ++i)
        call();
    QueryPerformanceCounter(&end);
    return 1e6 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart) / calls;
}
