#include "broadcast_listener.h"

#include <future>
#include <mutex>
#include <thread>
#include <utility>

#include "clock.h"
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

void Listen(std::promise<void>& ready)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ListenerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"RigBroadcastListener";
    SetupCheck(RegisterClassW(&windowClass) != 0, "RegisterClassW", windowClass.lpszClassName);
    HWND const window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
    SetupCheck(window != nullptr, "CreateWindowExW", L"broadcast listener");
    ready.set_value();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

std::promise<void> Thaw;
std::thread FrozenThread;

void Freeze(std::promise<void>& ready)
{
    HWND const window = CreateWindowExW(0, L"STATIC", L"frozen", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                        nullptr, nullptr);
    SetupCheck(window != nullptr, "CreateWindowExW", L"frozen window");
    ready.set_value();
    // Answers nothing while frozen, then what was sent to it meanwhile.
    Thaw.get_future().wait();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    DestroyWindow(window);
}

// Runs work on a thread of its own and waits until it says it is ready.
std::thread StartThread(void (*work)(std::promise<void>&))
{
    std::promise<void> ready;
    std::thread thread(work, std::ref(ready));
    ready.get_future().wait();
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
    Thaw = std::promise<void>();
    FrozenThread = StartThread(Freeze);
}

void ThawFrozenWindow()
{
    if (!FrozenThread.joinable())
        return;
    Thaw.set_value();
    FrozenThread.join();
}
