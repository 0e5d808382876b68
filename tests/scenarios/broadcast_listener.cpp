#include "broadcast_listener.h"

namespace {

CRITICAL_SECTION Lock;
std::vector<SettingChange> Received;
DWORD ReplyDelayMs = 0;
HANDLE Ready = nullptr;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTINGCHANGE) {
        EnterCriticalSection(&Lock);
        Received.push_back({wParam, lParam});
        DWORD const delay = ReplyDelayMs;
        LeaveCriticalSection(&Lock);
        Sleep(delay);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI ListenerThread(void*)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ListenerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ScenarioBroadcastListener";
    RegisterClassW(&windowClass);
    CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                    windowClass.hInstance, nullptr);
    SetEvent(Ready);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

} // namespace

void StartBroadcastListener()
{
    InitializeCriticalSection(&Lock);
    Ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(CreateThread(nullptr, 0, ListenerThread, nullptr, 0, nullptr));
    WaitForSingleObject(Ready, INFINITE);
}

void SetBroadcastReplyDelay(DWORD delayMs)
{
    EnterCriticalSection(&Lock);
    ReplyDelayMs = delayMs;
    LeaveCriticalSection(&Lock);
}

std::vector<SettingChange> TakeSettingChanges()
{
    EnterCriticalSection(&Lock);
    std::vector<SettingChange> taken;
    taken.swap(Received);
    LeaveCriticalSection(&Lock);
    return taken;
}

namespace {

DWORD WINAPI HungThread(void* ready)
{
    CreateWindowExW(0, L"STATIC", L"hung", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetEvent(static_cast<HANDLE>(ready));
    Sleep(INFINITE);
    return 0;
}

} // namespace

void StartHungWindow()
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(CreateThread(nullptr, 0, HungThread, ready, 0, nullptr));
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
}
