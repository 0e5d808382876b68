#include "process.h"

namespace {

int const StartAttempts = 3;
DWORD const RetryPauseMs = 100;

} // namespace

DWORD StartProgram(std::wstring const& program, std::wstring const& arguments, PROCESS_INFORMATION& process,
                   int* retries)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    DWORD error = 0;
    for (int attempt = 0; attempt < StartAttempts; ++attempt) {
        if (attempt > 0) {
            if (retries)
                ++*retries;
            Sleep(RetryPauseMs);
        }
        process = PROCESS_INFORMATION{};
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process))
            return 0;
        error = GetLastError();
    }
    return error;
}

bool EndProgram(PROCESS_INFORMATION& process, DWORD limitMs, DWORD& exitCode)
{
    bool const ended = WaitForSingleObject(process.hProcess, limitMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
    }
    exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    process = PROCESS_INFORMATION{};
    return ended;
}
