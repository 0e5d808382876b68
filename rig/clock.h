// One clock for everything the rig times, orders or waits for: boxes seen,
// broadcasts received, runs measured.
#pragma once

#include <windows.h>

#include <chrono>

// Milliseconds since an arbitrary start, to well under a millisecond.
inline double RigNowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Waits about ms. Win32 waits take whole milliseconds (about 1.2 ms under
// Wine); ntdll's delay takes 100 ns units, so a poll can run every half
// millisecond.
inline void PauseMs(double ms)
{
    using DelayExecution = LONG(NTAPI*)(BOOLEAN alertable, PLARGE_INTEGER interval);
    static auto const delay = reinterpret_cast<DelayExecution>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDelayExecution")));
    LARGE_INTEGER interval;
    interval.QuadPart = -static_cast<LONGLONG>(ms * 10000.0);  // negative: relative to now
    if (delay)
        delay(FALSE, &interval);
    else
        Sleep(static_cast<DWORD>(ms + 0.5));
}
