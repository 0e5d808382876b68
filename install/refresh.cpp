#include "refresh.h"

#include <windows.h>
#include <shlobj.h>

void RefreshShellIcons()
{
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
    SHChangeNotify(SHCNE_ALLEVENTS, SHCNF_FLUSH, nullptr, nullptr);
    // A hung window must not hold the run up for more than the time-out.
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, 0,
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    SystemParametersInfoW(SPI_SETICONS, 0, nullptr, SPIF_SENDCHANGE);
}
