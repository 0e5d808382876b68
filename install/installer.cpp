#include "installer.h"

#include <shlobj.h>
#include <wchar.h>

#include "icon_image.h"
#include "names.h"
#include "refresh.h"
#include "url_shortcut.h"

namespace {

WCHAR const IconFileSuffix[] = L"\\gomri.ico";
WCHAR const ShortcutFileSuffix[] = L"\\Quorvel.url";
WCHAR const OverwriteQuestion[] = L"Quorvel的桌面快捷方式已存在，是否覆盖？";

// Writes the shell folder's current path into path. Anything short of a
// plain S_OK with a path leaves the buffer undefined, so it counts as a
// failure and the caller stops before touching the disk.
HRESULT ResolveFolder(int csidl, WCHAR (&path)[MAX_PATH])
{
    HRESULT hr = SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    if (FAILED(hr))
        return hr;
    if (hr != S_OK || path[0] == L'\0')
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    return S_OK;
}

// Appends a file name that begins with its own separator. Refuses, rather
// than truncates, when the result and its terminator would not fit.
template <size_t SuffixSize>
HRESULT AppendFileName(WCHAR (&path)[MAX_PATH], WCHAR const (&suffix)[SuffixSize])
{
    size_t const length = wcsnlen(path, MAX_PATH);
    if (length + SuffixSize > MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    CopyMemory(path + length, suffix, sizeof(suffix));
    return S_OK;
}

// Win32's last error as a COM status; a failure that left none is still one.
HRESULT LastErrorStatus()
{
    DWORD const error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// A file or a directory of that name counts alike. Only "not found" means
// absent: a search that failed otherwise (access denied, a network error on
// a redirected desktop) says nothing, and the caller stops.
HRESULT FindPathEntry(PCWSTR path, bool& exists)
{
    WIN32_FIND_DATAW findData;
    HANDLE search = FindFirstFileW(path, &findData);
    exists = search != INVALID_HANDLE_VALUE;
    if (exists) {
        FindClose(search);
        return S_OK;
    }
    DWORD const error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return S_OK;
    return LastErrorStatus();
}

// Where the icon is written before it takes the icon file's place: beside it,
// named for this process so that copies running at once never share it, and
// no longer than "gomri.ico", so that whatever folder fits one fits the other.
void ComposeNewIconPath(WCHAR const (&iconPath)[MAX_PATH], WCHAR (&newPath)[MAX_PATH])
{
    WCHAR const digits[] = L"0123456789ABCDEF";
    size_t const nameAt = wcsnlen(iconPath, MAX_PATH) - (ARRAYSIZE(IconFileSuffix) - 2);
    CopyMemory(newPath, iconPath, nameAt * sizeof(WCHAR));
    DWORD id = GetCurrentProcessId();
    newPath[nameAt] = L'~';
    for (size_t i = 8; i > 0; --i, id >>= 4)
        newPath[nameAt + i] = digits[id & 0xF];
    newPath[nameAt + 9] = L'\0';
}

// Writes the whole image to a new file beside the icon file, then moves it
// into place in one step, so the icon file is only ever the old one or the
// new one whole: a failed or short write (a full disk) leaves the old file
// as it was, and others may keep reading it meanwhile.
InstallResult WriteIconFile(WCHAR const (&iconPath)[MAX_PATH])
{
    WCHAR newPath[MAX_PATH]{};
    ComposeNewIconPath(iconPath, newPath);
    HANDLE file = CreateFileW(newPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return InstallStopped;

    DWORD written = 0;
    // On disk before the move, so a crash cannot put an empty file in place.
    bool const complete = WriteFile(file, IconImage, static_cast<DWORD>(IconImageSize), &written, nullptr)
                          && written == IconImageSize && FlushFileBuffers(file);
    CloseHandle(file);
    // Unlike ReplaceFileW, a failed move never leaves the icon file missing.
    if (complete && MoveFileExW(newPath, iconPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return InstallCreated;
    DeleteFileW(newPath);
    return complete ? InstallStopped : InstallShortWrite;
}

} // namespace

InstallResult InstallShortcut()
{
    WCHAR iconPath[MAX_PATH]{};
    WCHAR shortcutPath[MAX_PATH]{};

    HRESULT hr = ResolveFolder(CSIDL_LOCAL_APPDATA, iconPath);
    if (FAILED(hr))
        return hr;
    hr = ResolveFolder(CSIDL_DESKTOPDIRECTORY, shortcutPath);
    if (FAILED(hr))
        return hr;
    hr = AppendFileName(iconPath, IconFileSuffix);
    if (FAILED(hr))
        return hr;
    hr = AppendFileName(shortcutPath, ShortcutFileSuffix);
    if (FAILED(hr))
        return hr;

    bool exists = false;
    hr = FindPathEntry(shortcutPath, exists);
    if (FAILED(hr))
        return hr;
    // Only Yes replaces it: a box that could not be shown is no consent.
    if (exists && MessageBoxW(nullptr, OverwriteQuestion, AppCaption, MB_YESNO) != IDYES)
        return InstallStopped;

    InstallResult const written = WriteIconFile(iconPath);
    if (written != InstallCreated)
        return written;

    hr = SaveUrlShortcut(shortcutPath, iconPath);
    // The icon file changed either way, so the shell hears of it either way.
    RefreshShellIcons();
    return SUCCEEDED(hr) ? InstallCreated : hr;
}
