// What a hung window does to the refresh on Windows, where SystemParametersInfoW
// with SPIF_SENDCHANGE broadcasts and waits; Wine's broadcasts nothing. The
// calls as made, with their arguments, are the failure sweep's to check.
#include <gtest/gtest.h>

#include <windows.h>

#include "import_patch.h"
#include "install/refresh.h"
#include "rig/broadcast_listener.h"
#include "rig/clock.h"
#include "rig/time_limits.h"

namespace {

// SystemParametersInfoW as Windows has it: with SPIF_SENDCHANGE it
// broadcasts the change with a plain SendMessage, which waits for every
// top-level window to answer. Wine's sends nothing for SPI_SETICONS.
BOOL WINAPI WindowsSystemParametersInfo(UINT action, UINT, PVOID, UINT flags)
{
    if (flags & SPIF_SENDCHANGE)
        SendMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, action, 0);
    return TRUE;
}

TEST(RefreshShellIcons, EndsDespiteAHungWindowWhereSendChangeWouldWaitForIt)
{
    ImportPatch const icons("SystemParametersInfoW", reinterpret_cast<void*>(WindowsSystemParametersInfo));
    StartFrozenWindow();
    double const started = RigNowMs();
    auto const refreshNow = [](void*) -> DWORD {
        RefreshShellIcons();
        return 0;
    };
    // The icon reload asked for with its own unbounded broadcast.
    auto const sendChangeNow = [](void*) -> DWORD {
        return static_cast<DWORD>(SystemParametersInfoW(SPI_SETICONS, 0, nullptr, SPIF_SENDCHANGE));
    };
    HANDLE const refresh = CreateThread(nullptr, 0, refreshNow, nullptr, 0, nullptr);
    HANDLE const sendChange = CreateThread(nullptr, 0, sendChangeNow, nullptr, 0, nullptr);
    ASSERT_TRUE(refresh && sendChange);

    EXPECT_EQ(WaitForSingleObject(refresh, LongestRefreshMs), WAIT_OBJECT_0) << "the refresh waits on the hung window";
    // Past any one broadcast's time-out, the unbounded request still waits.
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
