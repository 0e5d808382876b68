// Which Windows the rig runs on.
#pragma once

#include <windows.h>

// Wine's ntdll exports its version; Windows' does not.
inline bool RunningUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}
