// Stands in for app/dll_search.h when the DLL search test builds its control:
// the program exactly, but with the DLL search left as Windows sets it.
#pragma once

inline void RestrictDllSearchToSystem() {}
