// Asks WinVerifyTrust about the Authenticode signature of one file and prints
// its answer as 0x%08X: verify_trust FILE
// Exits 0 whenever the check ran, whatever it found; 2 when it could not.
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fputs("usage: verify_trust FILE\n", stderr);
        return 2;
    }
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = argv[1];

    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG const result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

    // The verify step leaves state behind that only CLOSE frees.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

    std::printf("0x%08X\n", static_cast<unsigned>(result));
    return 0;
}
