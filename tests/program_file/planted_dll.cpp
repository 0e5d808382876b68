// Planted beside a program under a system DLL's name (uxtheme.dll). Being
// loaded leaves planted-dll-loaded next to it; then it refuses to load, so the
// program carries on with the real one and the test can still play it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    WCHAR const markerName[] = L"planted-dll-loaded";
    WCHAR path[MAX_PATH + ARRAYSIZE(markerName)]{};
    DWORD const length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return FALSE;
    DWORD folderEnd = length;
    while (folderEnd > 0 && path[folderEnd - 1] != L'\\')
        --folderEnd;
    CopyMemory(path + folderEnd, markerName, sizeof(markerName));
    HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    return FALSE;
}
