// Holds Wine's desktop up for a test run (rig/wine-desktop.sh). Wine starts
// its desktop process (explorer.exe /desktop) with the first window of a
// fresh wineserver; this asks for one, says "up" when it got it, and stays,
// so that neither the desktop nor the wineserver ends between tests. It keeps
// only a message-only window, and handles its messages all the while, so no
// broadcast of the tests waits on it whatever windows Wine gives its thread.
// Stopped at the end of the run, or gone by itself after an hour.
#include <windows.h>

#include <cstdio>

int main()
{
    // Only a top-level window needs the desktop process up.
    HWND const shown = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    HWND const kept = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!shown || !kept) {
        std::printf("no window: error %lu\n", GetLastError());
        return 1;
    }
    DestroyWindow(shown);
    std::printf("up\n");
    std::fflush(stdout);
    ULONGLONG const end = GetTickCount64() + 60 * 60 * 1000;
    for (ULONGLONG now; (now = GetTickCount64()) < end;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    return 0;
}
