// Loaded in-process, the stand-in shows a test each call before it is made:
// "QueryInterface <interface>", "SetURL", "SetIconLocation", "SetDescription"
// or "Save", with the call's string argument (null for QueryInterface). A
// failing status from the watcher is what the call returns, and it does nothing.
#pragma once

#include <windows.h>

typedef HRESULT(WINAPI* StandinWatcher)(LPCWSTR call, LPCWSTR argument);
// Exported as StandinWatchCalls; null stops watching.
typedef void(WINAPI* StandinWatchCallsFunction)(StandinWatcher watcher);
