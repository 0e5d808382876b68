// The rig's own set-up must never pass for a fault of the program under
// test: every call that arranges the world is checked, and a failed one ends
// the test program at once with a message that names it.
#pragma once

#include <windows.h>

#include <string>

// Exit code of a test program whose set-up failed.
int const SetupFailureExitCode = 3;

// Ends the program when ok is false, naming what failed, on what, and the
// last error.
void SetupCheck(bool ok, char const* what, std::wstring const& subject = L"");

// The same for calls that return their status, as the registry's do.
void SetupCheckStatus(LSTATUS status, char const* what, std::wstring const& subject = L"");
