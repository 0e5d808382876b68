// What only the shell's-view tests need beyond the scenario rig.
#pragma once

#include <string>

// The browser stand-in the tests register for http.
void SetRecorder(std::wstring const& path);
