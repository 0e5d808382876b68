// Plants a DLL under a system DLL's name beside a copy of the program, with
// Wine told to prefer such a copy, and checks the program never loads it:
//   dll_search_tests --program=EXE --planted-dll=DLL --unrestricted-program=EXE --rig-root=DIR
// The control, the program built without the restriction, shows the plant
// does take, so a pass means something.
#include <gtest/gtest.h>

#include <cstdio>

#include <windows.h>

#include <string>

#include "rig/command_line.h"
#include "rig/files.h"
#include "rig/player.h"
#include "rig/registry_record.h"
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
// the planted DLL, answers No to its one box, and tells whether the plant
// was loaded.
bool LoadsPlantedDll(std::wstring const& program, std::wstring const& copyName)
{
    std::wstring const folder = FreshTempFolder(L"quorvel-planted");
    std::wstring const copy = folder + L"\\" + copyName;
    SetupCheck(CopyFileW(program.c_str(), copy.c_str(), FALSE) != FALSE, "CopyFileW", program);
    SetupCheck(CopyFileW(PlantedDllPath.c_str(), (folder + L"\\" + PlantedName).c_str(), FALSE) != FALSE,
               "CopyFileW", PlantedDllPath);
    // Native first, for this copy alone: a DLL found beside it wins over Wine's
    // own. Wine takes WINEDLLOVERRIDES for a new process from the Unix side,
    // not from the environment a Windows parent hands down, so the override
    // goes where Wine keeps per-program settings. Putting the value back
    // leaves its keys behind, empty: harmless in the rig's private prefix.
    SetRecordedValue(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\" + copyName + L"\\DllOverrides",
                     PlantedModule, REG_SZ, L"native,builtin");
    PlayedRun const run = PlayProgram(copy, {L"", {IDNO}});
    PutBackRecordedValues();
    bool const loaded = Exists(folder + L"\\" + MarkerName);
    RemoveTree(folder);
    // It ran as usual.
    EXPECT_EQ(run.startError, 0u);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(IDNO));
    return loaded;
}

// The control first: without the restriction the plant must take, or the
// program's not loading it would prove nothing.
TEST(DllSearch, ProgramDoesNotLoadAPlantedDll)
{
    ASSERT_TRUE(LoadsPlantedDll(UnrestrictedPath, L"planted-control.exe")) << "the plant did not take";
    EXPECT_FALSE(LoadsPlantedDll(ProgramPath, L"planted-program.exe"));
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    ProgramPath = CommandLinePath(L"program");
    PlantedDllPath = CommandLinePath(L"planted-dll");
    UnrestrictedPath = CommandLinePath(L"unrestricted-program");
    std::wstring const rigRoot = CommandLinePath(L"rig-root");
    if (ProgramPath.empty() || PlantedDllPath.empty() || UnrestrictedPath.empty() || rigRoot.empty()) {
        std::fprintf(stderr, "usage: %s --program=EXE --planted-dll=DLL --unrestricted-program=EXE --rig-root=DIR\n",
                     argv[0]);
        return 2;
    }
    // The record every rig program keeps there: this puts back whatever an
    // interrupted one left set, and the next one puts back this one's.
    MakeDirectories(rigRoot);
    UseRegistryRecord(rigRoot + L"\\registry-to-restore");
    return RUN_ALL_TESTS();
}
