// Plants a DLL under a system DLL's name beside a copy of the program, with
// Wine told to prefer such a copy, and checks the program never loads it:
//   dll_search_tests --program=EXE --planted-dll=DLL --unrestricted-program=EXE
// The control, the program built without the restriction, shows the plant
// does take, so a pass means something.
#include <gtest/gtest.h>

#include <cstdio>

#include <windows.h>

#include <string>

#include "rig/command_line.h"
#include "rig/files.h"
#include "rig/player.h"
#include "rig/setup_check.h"

namespace {

std::wstring ProgramPath;
std::wstring PlantedDllPath;
std::wstring UnrestrictedPath;

// Loaded by name while the first box comes up, well after start-up.
wchar_t const PlantedName[] = L"uxtheme.dll";
wchar_t const PlantedModule[] = L"uxtheme";
wchar_t const MarkerName[] = L"planted-dll-loaded";

// Runs a copy of a program, under a name of its own, from a folder holding
// the planted DLL, and tells whether the DLL was loaded.
class PlantedFolder {
public:
    PlantedFolder(std::wstring const& program, wchar_t const* copyName)
        : folder_(FreshTempFolder(L"quorvel-planted")), copyName_(copyName), program_(folder_ + L"\\" + copyName)
    {
        SetupCheck(CopyFileW(program.c_str(), program_.c_str(), FALSE) != FALSE, "CopyFileW", program);
        SetupCheck(CopyFileW(PlantedDllPath.c_str(), (folder_ + L"\\" + PlantedName).c_str(), FALSE) != FALSE,
                   "CopyFileW", PlantedDllPath);
    }
    ~PlantedFolder() { RemoveTree(folder_); }
    PlantedFolder(PlantedFolder const&) = delete;
    PlantedFolder& operator=(PlantedFolder const&) = delete;

    // Native first, for this copy alone: a DLL found beside it wins over Wine's
    // own. Wine takes WINEDLLOVERRIDES for a new process from the Unix side,
    // not from the environment a Windows parent hands down, so the override
    // goes where Wine keeps per-program settings.
    PlayedRun Play(Launch const& launch) const
    {
        // Left as found: the key Wine reads, and AppDefaults if it had to be made.
        wchar_t const appDefaults[] = L"Software\\Wine\\AppDefaults";
        HKEY existing = nullptr;
        bool const hadAppDefaults =
            RegOpenKeyExW(HKEY_CURRENT_USER, appDefaults, 0, KEY_READ, &existing) == ERROR_SUCCESS;
        if (existing)
            RegCloseKey(existing);
        std::wstring const appKey = std::wstring(appDefaults) + L"\\" + copyName_;
        std::wstring const value = L"native,builtin";
        SetupCheckStatus(RegSetKeyValueW(HKEY_CURRENT_USER, (appKey + L"\\DllOverrides").c_str(), PlantedModule,
                                         REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                         "RegSetKeyValueW", appKey);
        PlayedRun const run = PlayProgram(program_, launch);
        std::wstring const made = hadAppDefaults ? appKey : std::wstring(appDefaults);
        // Given a subkey, RegDeleteTreeW deletes that key too.
        SetupCheckStatus(RegDeleteTreeW(HKEY_CURRENT_USER, made.c_str()), "RegDeleteTreeW", made);
        return run;
    }

    bool PlantedDllLoaded() const { return Exists(folder_ + L"\\" + MarkerName); }

private:
    std::wstring folder_;
    std::wstring copyName_;
    std::wstring program_;
};

TEST(DllSearch, PlantedDllIsLoadedWithoutTheRestriction)
{
    PlantedFolder planted(UnrestrictedPath, L"planted-control.exe");
    PlayedRun const run = planted.Play({L"", {IDNO}});
    ASSERT_EQ(run.startError, 0u);
    EXPECT_FALSE(run.timedOut);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(IDNO));
    EXPECT_TRUE(planted.PlantedDllLoaded()) << "the plant did not take, so the next test would prove nothing";
}

TEST(DllSearch, ProgramDoesNotLoadAPlantedDll)
{
    PlantedFolder planted(ProgramPath, L"planted-program.exe");
    PlayedRun const run = planted.Play({L"", {IDNO}});
    ASSERT_EQ(run.startError, 0u);
    EXPECT_FALSE(run.timedOut);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(IDNO));
    EXPECT_FALSE(planted.PlantedDllLoaded());
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    ProgramPath = CommandLinePath(L"program");
    PlantedDllPath = CommandLinePath(L"planted-dll");
    UnrestrictedPath = CommandLinePath(L"unrestricted-program");
    if (ProgramPath.empty() || PlantedDllPath.empty() || UnrestrictedPath.empty()) {
        std::fprintf(stderr, "usage: %s --program=EXE --planted-dll=DLL --unrestricted-program=EXE\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
