// Wine delivers SHChangeNotify only inside the calling process and sends
// nothing for SPI_SETICONS, so the refresh calls are checked here, in
// process, with the arguments exactly as passed; and so is what a hung
// window does to them on Windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "import_patch.h"
#include "install/refresh.h"
#include "rig/broadcast_listener.h"
#include "rig/clock.h"
#include "rig/time_limits.h"

namespace {

std::vector<std::string> Calls;

std::string Pointer(void const* pointer)
{
    return pointer ? "set" : "null";
}

std::string Format(char const* format, ...)
{
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

void WINAPI RecordChangeNotify(LONG event, UINT flags, LPCVOID item1, LPCVOID item2)
{
    Calls.push_back(Format("SHChangeNotify 0x%08lX 0x%04X ", static_cast<unsigned long>(event), flags)
                    + Pointer(item1) + " " + Pointer(item2));
}

LRESULT WINAPI RecordSendMessageTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                        UINT timeout, PDWORD_PTR result)
{
    Calls.push_back(Format("SendMessageTimeoutW 0x%04llX 0x%04X %llu %lld 0x%04X %u ",
                           reinterpret_cast<unsigned long long>(window), message,
                           static_cast<unsigned long long>(wParam), static_cast<long long>(lParam), flags, timeout)
                    + Pointer(result));
    return 0;  // as if it timed out: the caller must not care
}

BOOL WINAPI RecordSystemParametersInfo(UINT action, UINT parameter, PVOID data, UINT flags)
{
    Calls.push_back(Format("SystemParametersInfoW 0x%04X %u ", action, parameter) + Pointer(data)
                    + Format(" 0x%04X", flags));
    return FALSE;
}

TEST(RefreshShellIcons, MakesEachCallOnceInOrderAndIgnoresFailures)
{
    Calls.clear();
    ImportPatch const notify("shell32.dll", "SHChangeNotify", reinterpret_cast<void*>(RecordChangeNotify));
    ImportPatch const broadcast("user32.dll", "SendMessageTimeoutW",
                                reinterpret_cast<void*>(RecordSendMessageTimeout));
    ImportPatch const icons("user32.dll", "SystemParametersInfoW",
                            reinterpret_cast<void*>(RecordSystemParametersInfo));

    RefreshShellIcons();

    std::vector<std::string> const expected = {
        "SHChangeNotify 0x08000000 0x1000 null null",
        "SHChangeNotify 0x7FFFFFFF 0x1000 null null",
        "SendMessageTimeoutW 0xFFFF 0x001A 42 0 0x0002 " + std::to_string(BroadcastTimeoutMs) + " null",
        "SystemParametersInfoW 0x0058 0 null 0x0000",
        "SendMessageTimeoutW 0xFFFF 0x001A 88 0 0x0002 " + std::to_string(BroadcastTimeoutMs) + " null",
    };
    EXPECT_EQ(Calls, expected);
}

// SystemParametersInfoW as Windows has it: with SPIF_SENDCHANGE it
// broadcasts the change with a plain SendMessage, which waits for every
// top-level window to answer. Wine's sends nothing for SPI_SETICONS.
BOOL WINAPI WindowsSystemParametersInfo(UINT action, UINT, PVOID, UINT flags)
{
    if (flags & SPIF_SENDCHANGE)
        SendMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, action, 0);
    return TRUE;
}

DWORD WINAPI RefreshNow(void*)
{
    RefreshShellIcons();
    return 0;
}

// How the icon reload used to be asked for.
DWORD WINAPI ReloadIconsWithSendChange(void*)
{
    SystemParametersInfoW(SPI_SETICONS, 0, nullptr, SPIF_SENDCHANGE);
    return 0;
}

HANDLE Start(LPTHREAD_START_ROUTINE routine)
{
    HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
    EXPECT_NE(thread, nullptr);
    return thread;
}

TEST(RefreshShellIcons, EndsDespiteAHungWindowWhereSendChangeWouldWaitForIt)
{
    ImportPatch const icons("user32.dll", "SystemParametersInfoW",
                            reinterpret_cast<void*>(WindowsSystemParametersInfo));
    StartFrozenWindow();
    double const started = RigNowMs();
    HANDLE const refresh = Start(RefreshNow);
    HANDLE const sendChange = Start(ReloadIconsWithSendChange);
    ASSERT_TRUE(refresh && sendChange);

    EXPECT_EQ(WaitForSingleObject(refresh, LongestRefreshMs), WAIT_OBJECT_0) << "the refresh waits on the hung window";
    // Past any one broadcast's time-out, the old request still waits.
    double const waited = RigNowMs() - started;
    if (waited < BroadcastTimeoutMs + 1000)
        PauseMs(BroadcastTimeoutMs + 1000 - waited);
    EXPECT_EQ(WaitForSingleObject(sendChange, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "SPIF_SENDCHANGE did not wait, so this test shows nothing";

    ThawFrozenWindow();
    EXPECT_EQ(WaitForSingleObject(sendChange, LongestRefreshMs), WAIT_OBJECT_0) << "it waited on something else";
    EXPECT_EQ(WaitForSingleObject(refresh, LongestRefreshMs), WAIT_OBJECT_0);
    CloseHandle(refresh);
    CloseHandle(sendChange);
}

} // namespace
