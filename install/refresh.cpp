#include "refresh.h"

#include <windows.h>
#include <shlobj.h>

namespace {

UINT const BroadcastTimeoutMs = 5000;

// A hung window must not hold the run up for more than the time-out.
void BroadcastSettingChange(UINT setting)
{
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, setting, 0, SMTO_ABORTIFHUNG, BroadcastTimeoutMs, nullptr);
}

} // namespace

void RefreshShellIcons()
{
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
    SHChangeNotify(SHCNE_ALLEVENTS, SHCNF_FLUSH, nullptr, nullptr);
    BroadcastSettingChange(SPI_SETNONCLIENTMETRICS);
    // SPIF_SENDCHANGE would broadcast with a plain SendMessage, which waits on
    // a hung window for ever, so the reload's broadcast is sent bounded instead:
    // https://devblogs.microsoft.com/oldnewthing/20050310-00/?p=36233
    SystemParametersInfoW(SPI_SETICONS, 0, nullptr, 0);
    BroadcastSettingChange(SPI_SETICONS);
}
