#include "world.h"

#include <shlobj.h>

#include <string_view>

#include "files.h"
#include "host.h"
#include "registry_record.h"
#include "setup_check.h"
#include "shortcut_reader.h"
#include "user_texts.h"

namespace {

RigPaths Paths;

wchar_t const ShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
wchar_t const DesktopValue[] = L"Desktop";
wchar_t const LocalAppDataValue[] = L"Local AppData";
// Wine looks COM classes up in the machine's registry only, so the stand-in
// takes the place of Wine's own object there, in the rig's prefix alone.
wchar_t const ShortcutClassKey[]
    = L"Software\\Classes\\CLSID\\{FBF23B40-E3F0-101B-8488-00AA003E56F8}\\InprocServer32";

std::wstring DefaultDesktop;
std::wstring DefaultLocalAppData;
std::wstring RedirectedDesktop;
std::wstring RedirectedLocalAppData;
std::wstring ThrowAwayFolder;

std::wstring ResolveFolder(int csidl)
{
    WCHAR path[MAX_PATH]{};
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return L"";
    return path;
}

void ForgetRedirections()
{
    PutBackRecordedValues();
    RedirectedDesktop.clear();
    RedirectedLocalAppData.clear();
}

} // namespace

RigPaths const& RigPathsInUse()
{
    return Paths;
}

void UseRigPaths(RigPaths const& paths)
{
    Paths = paths;
    MakeDirectories(Paths.rigRoot);
    UseRegistryRecord(Paths.rigRoot + L"\\registry-to-restore");
    DefaultDesktop = ResolveFolder(CSIDL_DESKTOPDIRECTORY);
    DefaultLocalAppData = ResolveFolder(CSIDL_LOCAL_APPDATA);
    SetupCheck(!DefaultDesktop.empty() && !DefaultLocalAppData.empty(), "SHGetFolderPathW", L"the user's folders");
}

bool WorldMayMoveUserFolders()
{
    return RunningUnderWine() || Paths.mayMoveUserFolders;
}

std::wstring DesktopFolder()
{
    return RedirectedDesktop.empty() ? DefaultDesktop : RedirectedDesktop;
}

std::wstring LocalAppDataFolder()
{
    return RedirectedLocalAppData.empty() ? DefaultLocalAppData : RedirectedLocalAppData;
}

std::wstring IconPath()
{
    return LocalAppDataFolder() + L"\\" + ExpectedIconName;
}

std::wstring ShortcutPath()
{
    return DesktopFolder() + L"\\" + ExpectedShortcutName;
}

std::wstring WorldFolder()
{
    SetupCheck(!ThrowAwayFolder.empty(), "WorldFolder before ResetWorld");
    return ThrowAwayFolder;
}

void RedirectShellFolder(wchar_t const* valueName, std::wstring const& path)
{
    bool const desktop = std::wstring_view(valueName) == DesktopValue;
    SetupCheck(desktop || std::wstring_view(valueName) == LocalAppDataValue, "RedirectShellFolder: no such folder",
               valueName);
    SetupCheck(WorldMayMoveUserFolders(), "RedirectShellFolder: moving the user's folders was not asked for",
               valueName);
    SetRecordedValue(HKEY_CURRENT_USER, ShellFoldersKey, valueName, REG_EXPAND_SZ, path);
    (desktop ? RedirectedDesktop : RedirectedLocalAppData) = path;
}

void UseStandinObject()
{
    SetupCheck(!Paths.standin.empty(), "UseStandinObject: no stand-in was built");
    SetRecordedValue(HKEY_LOCAL_MACHINE, ShortcutClassKey, L"", REG_SZ, Paths.standin);
}

void UseHostObject()
{
    PutBackRecordedValue(HKEY_LOCAL_MACHINE, ShortcutClassKey, L"");
}

std::string SavedShortcutDifferences()
{
    // The stand-in writes shortcuts but cannot read them: the host's object reads.
    bool const standin = Paths.object == ShortcutObject::Standin;
    if (standin)
        UseHostObject();
    std::string const differences = ReadBackDifferences(ShortcutPath(), IconPath());
    if (standin)
        UseStandinObject();
    return differences;
}

void ResetWorld()
{
    ForgetRedirections();
    if (ThrowAwayFolder.empty())
        ThrowAwayFolder = FreshTempFolder(L"quorvel-world");
    RemoveTree(ThrowAwayFolder);
    MakeDirectories(ThrowAwayFolder + L"\\Desktop");
    MakeDirectories(ThrowAwayFolder + L"\\AppData\\Local");
    RedirectShellFolder(DesktopValue, ThrowAwayFolder + L"\\Desktop");
    RedirectShellFolder(LocalAppDataValue, ThrowAwayFolder + L"\\AppData\\Local");
    if (Paths.object == ShortcutObject::Standin)
        UseStandinObject();
}

void RestoreWorld()
{
    ForgetRedirections();
    if (!ThrowAwayFolder.empty())
        RemoveTree(ThrowAwayFolder);
    ThrowAwayFolder.clear();
}
