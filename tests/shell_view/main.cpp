// Runs the shell's-view tests under Wine:
//   shell_view_tests --program=EXE --standin=DLL --icon-asset=ICO --rig-root=DIR --recorder=EXE
#include <gtest/gtest.h>

#include <cstdio>

#include <objbase.h>

#include "rig/command_line.h"
#include "rig/world.h"
#include "shell_view.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    RigPaths const paths = RigPathsFromCommandLine();
    std::wstring const recorder = CommandLinePath(L"recorder");
    if (paths.program.empty() || paths.standin.empty() || paths.iconAsset.empty() || paths.rigRoot.empty()
        || recorder.empty()) {
        std::fprintf(stderr, "usage: %s --program=EXE --standin=DLL --icon-asset=ICO --rig-root=DIR --recorder=EXE\n",
                     argv[0]);
        return 2;
    }
    SetRig(paths);
    SetRecorder(recorder);
    // The shell wants an apartment for ShellExecuteEx, as for the objects.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int const result = RUN_ALL_TESTS();
    Restore();
    return result;
}
