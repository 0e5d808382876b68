// Loaded in-process, the stand-in shows a test every call it receives before
// it is made: "QueryInterface <interface>", "SetURL", "SetIconLocation",
// "SetDescription" or "Save", with the string argument (or null) and the
// number (flags, icon index, remember flag); any other method by its name
// alone, which then answers E_NOTIMPL; and "AddRef" or "Release" after it,
// with the references left. A failing status from the watcher is what the
// call returns, and the call does nothing else.
#pragma once

#include <windows.h>

typedef HRESULT(WINAPI* StandinWatcher)(LPCWSTR call, LPCWSTR text, LONG number);
// The stand-in's export StandinWatchCalls; null stops watching.
typedef void(WINAPI* StandinWatchCallsFunction)(StandinWatcher watcher);
