// Starting and ending the programs a test, the benchmark or the demo runs.
#pragma once

#include <windows.h>

#include <string>

// Starts program, its quoted path followed by arguments as the command line.
// Wine now and then refuses a start under load before any of the program
// runs, so a refused start is tried again, up to three times in all.
// Returns 0 or the last start's error; retries, when given, counts the
// starts that were tried again.
DWORD StartProgram(std::wstring const& program, std::wstring const& arguments, PROCESS_INFORMATION& process,
                   int* retries = nullptr);

// Waits up to limitMs for the process to end by itself, ends it (exit code
// 0xDEAD) if it does not, takes its exit code and closes both handles.
// True when it ended by itself.
bool EndProgram(PROCESS_INFORMATION& process, DWORD limitMs, DWORD& exitCode);
