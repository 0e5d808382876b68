// Keeps DLLs loaded after start-up to the system folder.
#pragma once

// A DLL dropped beside the program (say, in Downloads) must never be loaded
// in place of a system one.
void RestrictDllSearchToSystem();
