#include "setup_check.h"

#include <cstdio>

#include "files.h"

namespace {

[[noreturn]] void SetupFailed(char const* what, std::wstring const& subject, DWORD error)
{
    std::fprintf(stderr, "\nRIG SET-UP FAILED (not a fault of the program under test): %s %s: error %lu\n", what,
                 Utf8(subject).c_str(), static_cast<unsigned long>(error));
    std::fflush(stderr);
    ExitProcess(SetupFailureExitCode);
}

} // namespace

void SetupCheck(bool ok, char const* what, std::wstring const& subject)
{
    if (!ok)
        SetupFailed(what, subject, GetLastError());
}

void SetupCheckStatus(LSTATUS status, char const* what, std::wstring const& subject)
{
    if (status != ERROR_SUCCESS)
        SetupFailed(what, subject, static_cast<DWORD>(status));
}
