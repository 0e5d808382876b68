#include "broadcast_listener.h"

#include <mutex>
#include <thread>
#include <utility>

#include "clock.h"
#include "host.h"
#include "setup_check.h"

namespace {

std::mutex Lock;
std::vector<SettingChange> Received;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_SETTINGCHANGE)
        return DefWindowProcW(window, message, wParam, lParam);
    std::lock_guard<std::mutex> const hold(Lock);
    Received.push_back({wParam, lParam, RigNowMs()});
    return 0;
}

// A top-level window of this thread. Under Wine, a process gets none at all,
// with no error code, when Wine's desktop process did not come up as it first
// asked for one (the test run's wine_desktop step brings it up beforehand).
HWND MakeWindow(wchar_t const* windowClass, wchar_t const* name)
{
    HWND const window = CreateWindowExW(0, windowClass, name, WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    SetupCheck(window || GetLastError() != ERROR_SUCCESS || !RunningUnderWine(),
               "Wine's desktop process (explorer.exe /desktop) is not up, so Wine makes no window for", name);
    SetupCheck(window != nullptr, "CreateWindowExW", name);
    return window;
}

void Listen(HANDLE ready)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ListenerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"RigBroadcastListener";
    SetupCheck(RegisterClassW(&windowClass) != 0, "RegisterClassW", windowClass.lpszClassName);
    MakeWindow(windowClass.lpszClassName, L"broadcast listener");
    SetEvent(ready);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

HANDLE Thaw = nullptr;
std::thread FrozenThread;

void Freeze(HANDLE ready)
{
    HWND const window = MakeWindow(L"STATIC", L"frozen window");
    SetEvent(ready);
    // Answers nothing while frozen, then what was sent to it meanwhile.
    WaitForSingleObject(Thaw, INFINITE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    DestroyWindow(window);
}

// Runs work on a thread of its own and waits until it says it is ready.
std::thread StartThread(void (*work)(HANDLE ready))
{
    HANDLE const ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetupCheck(ready != nullptr, "CreateEventW");
    std::thread thread(work, ready);
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    return thread;
}

} // namespace

void StartBroadcastListener()
{
    StartThread(Listen).detach();
}

std::vector<SettingChange> TakeSettingChanges()
{
    std::lock_guard<std::mutex> const hold(Lock);
    return std::exchange(Received, {});
}

void StartFrozenWindow()
{
    ThawFrozenWindow();
    Thaw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetupCheck(Thaw != nullptr, "CreateEventW", L"thaw");
    FrozenThread = StartThread(Freeze);
}

void ThawFrozenWindow()
{
    if (!FrozenThread.joinable())
        return;
    SetEvent(Thaw);
    FrozenThread.join();
    CloseHandle(Thaw);
}
