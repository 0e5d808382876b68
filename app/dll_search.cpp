#include "dll_search.h"

#include <windows.h>

// Looked up at run time: Windows 7 without KB2533623 lacks it, and the
// program should still start there.
void RestrictDllSearchToSystem()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    FARPROC const found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (found)
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(found))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
}
