#include "installer.h"

#include <shlobj.h>

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

// A file or a directory of that name counts alike; a failed search counts
// as absence.
bool PathEntryExists(PCWSTR path)
{
    WIN32_FIND_DATAW findData;
    HANDLE search = FindFirstFileW(path, &findData);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

// Creates or truncates the icon file and writes the whole image in one
// call. Others may keep reading or writing it meanwhile.
InstallResult WriteIconFile(PCWSTR path)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return InstallStopped;

    DWORD written = 0;
    WriteFile(file, IconImage, static_cast<DWORD>(IconImageSize), &written, nullptr);
    CloseHandle(file);
    // A short file stays as written: it is rewritten whole on the next run.
    return written == IconImageSize ? InstallCreated : InstallShortWrite;
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

    // Only an explicit No keeps the existing shortcut; the save replaces it.
    if (PathEntryExists(shortcutPath)
        && MessageBoxW(nullptr, OverwriteQuestion, AppCaption, MB_YESNO) == IDNO)
        return InstallStopped;

    InstallResult const written = WriteIconFile(iconPath);
    if (written != InstallCreated)
        return written;

    hr = SaveUrlShortcut(shortcutPath, iconPath);
    // The icon file changed either way, so the shell hears of it either way.
    RefreshShellIcons();
    return SUCCEEDED(hr) ? InstallCreated : hr;
}
