// The control program's stand-in for the DLL search restriction: the
// program exactly, with the DLL search left as Windows sets it.
#include "app/dll_search.h"

void RestrictDllSearchToSystem() {}
