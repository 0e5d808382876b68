#include "scenario_world.h"

#include <shlobj.h>


namespace {

RigPaths Paths;

wchar_t const ShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
wchar_t const ShortcutClassKey[]
    = L"Software\\Classes\\CLSID\\{FBF23B40-E3F0-101B-8488-00AA003E56F8}\\InprocServer32";

struct SavedValue {
    wchar_t const* name;
    bool present;
    DWORD type;
    std::wstring data;
};
SavedValue SavedFolders[] = {{L"Desktop", false, 0, {}}, {L"Local AppData", false, 0, {}}};
bool FoldersSaved = false;
std::wstring DefaultDesktop;
std::wstring DefaultLocalAppData;
std::wstring WineShortcutServer;

std::wstring ResolveFolder(int csidl)
{
    WCHAR path[MAX_PATH]{};
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return L"";
    return path;
}

void SaveShellFolders()
{
    if (FoldersSaved)
        return;
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, ShellFoldersKey, 0, KEY_READ, &key);
    for (SavedValue& saved : SavedFolders) {
        WCHAR data[1024]{};
        DWORD size = sizeof(data) - sizeof(WCHAR);
        saved.present = key && RegQueryValueExW(key, saved.name, nullptr, &saved.type,
                                                reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
        saved.data = data;
    }
    if (key)
        RegCloseKey(key);
    DefaultDesktop = ResolveFolder(CSIDL_DESKTOPDIRECTORY);
    DefaultLocalAppData = ResolveFolder(CSIDL_LOCAL_APPDATA);
    FoldersSaved = true;
}

void RestoreShellFolders()
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, ShellFoldersKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    for (SavedValue const& saved : SavedFolders) {
        if (saved.present)
            RegSetValueExW(key, saved.name, 0, saved.type, reinterpret_cast<BYTE const*>(saved.data.c_str()),
                           static_cast<DWORD>((saved.data.size() + 1) * sizeof(WCHAR)));
        else
            RegDeleteValueW(key, saved.name);
    }
    RegCloseKey(key);
}

std::wstring StandinLogPath()
{
    return Paths.rigRoot + L"\\standin.log";
}

} // namespace

RigPaths const& Rig()
{
    return Paths;
}

void SetRig(RigPaths const& paths)
{
    Paths = paths;
}

std::wstring DesktopFolder()
{
    return ResolveFolder(CSIDL_DESKTOPDIRECTORY);
}

std::wstring LocalAppDataFolder()
{
    return ResolveFolder(CSIDL_LOCAL_APPDATA);
}

std::wstring DefaultDesktopFolder()
{
    SaveShellFolders();
    return DefaultDesktop;
}

std::wstring DefaultLocalAppDataFolder()
{
    SaveShellFolders();
    return DefaultLocalAppData;
}

void RedirectShellFolder(wchar_t const* valueName, std::wstring const& path)
{
    SaveShellFolders();
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, ShellFoldersKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExW(key, valueName, 0, REG_EXPAND_SZ, reinterpret_cast<BYTE const*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}

namespace {

// Wine looks COM classes up in the machine's registry only, so the stand-in
// takes the place of Wine's own object there, for this prefix alone.
void SetShortcutServer(std::wstring const& dll)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, ShortcutClassKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                    nullptr);
    if (WineShortcutServer.empty()) {
        WCHAR data[1024]{};
        DWORD size = sizeof(data) - sizeof(WCHAR);
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
        WineShortcutServer = data;
    }
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<BYTE const*>(dll.c_str()),
                   static_cast<DWORD>((dll.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}

} // namespace

void UseStandinObject()
{
    SetShortcutServer(Paths.standin);
}

void UseWineObject()
{
    SetShortcutServer(WineShortcutServer);
}

void FailStandinCalls(char const* instructions)
{
    SetEnvironmentVariableW(L"STANDIN_FAIL", *instructions ? Utf16(instructions).c_str() : nullptr);
}

std::vector<std::string> StandinCalls()
{
    std::string log;
    ReadBytes(StandinLogPath(), log);
    std::vector<std::string> calls;
    size_t start = 0;
    for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
        calls.push_back(log.substr(start, end - start));
    return calls;
}

std::wstring IconPath()
{
    return LocalAppDataFolder() + L"\\gomri.ico";
}

std::wstring ShortcutPath()
{
    return DesktopFolder() + L"\\Quorvel.url";
}

void Reset()
{
    SaveShellFolders();
    RestoreShellFolders();
    UseStandinObject();
    FailStandinCalls("");
    SetEnvironmentVariableW(L"STANDIN_LOG", StandinLogPath().c_str());
    DeleteFileW(StandinLogPath().c_str());
    RemoveTree(DefaultDesktop + L"\\Quorvel.url");
    RemoveTree(DefaultLocalAppData + L"\\gomri.ico");
}

void Restore()
{
    Reset();
    UseWineObject();
}
