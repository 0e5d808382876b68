// Keeps DLLs loaded after start-up to the system folder.
#pragma once

#include <windows.h>

// A DLL dropped beside the program (say, in Downloads) must never be loaded
// in place of a system one. Looked up at run time: Windows 7 without
// KB2533623 lacks it, and the program should still start there.
inline void RestrictDllSearchToSystem()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    FARPROC const found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (found)
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(found))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
}
