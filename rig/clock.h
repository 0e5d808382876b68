// One clock for everything the rig times or orders: boxes seen, broadcasts
// received, runs measured.
#pragma once

#include <windows.h>

// Milliseconds since an arbitrary start, to well under a millisecond.
inline double RigNowMs()
{
    static LONGLONG const ticksPerSecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return frequency.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(ticksPerSecond);
}
