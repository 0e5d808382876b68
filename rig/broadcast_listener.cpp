#include "broadcast_listener.h"

#include "clock.h"
#include "setup_check.h"

namespace {

CRITICAL_SECTION Lock;
std::vector<SettingChange> Received;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTINGCHANGE) {
        EnterCriticalSection(&Lock);
        Received.push_back({wParam, lParam, RigNowMs()});
        LeaveCriticalSection(&Lock);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI ListenerThread(void* ready)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ListenerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"RigBroadcastListener";
    SetupCheck(RegisterClassW(&windowClass) != 0, "RegisterClassW", windowClass.lpszClassName);
    HWND const window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
    SetupCheck(window != nullptr, "CreateWindowExW", L"broadcast listener");
    SetEvent(static_cast<HANDLE>(ready));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

// Runs fn on a thread of its own and waits until it signals that it is ready.
HANDLE StartThread(LPTHREAD_START_ROUTINE fn, wchar_t const* what)
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetupCheck(ready != nullptr, "CreateEventW", what);
    HANDLE thread = CreateThread(nullptr, 0, fn, ready, 0, nullptr);
    SetupCheck(thread != nullptr, "CreateThread", what);
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    return thread;
}

HANDLE Thaw = nullptr;
HANDLE FrozenThread = nullptr;

DWORD WINAPI FrozenWindowThread(void* ready)
{
    HWND const window = CreateWindowExW(0, L"STATIC", L"frozen", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                        nullptr, nullptr);
    SetupCheck(window != nullptr, "CreateWindowExW", L"frozen window");
    SetEvent(static_cast<HANDLE>(ready));
    // Answers nothing while frozen, then what was sent to it meanwhile.
    WaitForSingleObject(Thaw, INFINITE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    DestroyWindow(window);
    return 0;
}

} // namespace

void StartBroadcastListener()
{
    InitializeCriticalSection(&Lock);
    CloseHandle(StartThread(ListenerThread, L"broadcast listener"));
}

std::vector<SettingChange> TakeSettingChanges()
{
    EnterCriticalSection(&Lock);
    std::vector<SettingChange> taken;
    taken.swap(Received);
    LeaveCriticalSection(&Lock);
    return taken;
}

void StartFrozenWindow()
{
    ThawFrozenWindow();
    Thaw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetupCheck(Thaw != nullptr, "CreateEventW", L"thaw");
    FrozenThread = StartThread(FrozenWindowThread, L"frozen window");
}

void ThawFrozenWindow()
{
    if (!FrozenThread)
        return;
    SetEvent(Thaw);
    WaitForSingleObject(FrozenThread, INFINITE);
    CloseHandle(FrozenThread);
    CloseHandle(Thaw);
    FrozenThread = nullptr;
    Thaw = nullptr;
}
