// Runs the shell's-view tests under Wine:
//   shell_view_tests PROGRAM STANDIN_DLL ICON_ASSET RIG_ROOT RECORDER
// (Unix paths, as the build knows them).
#include <gtest/gtest.h>

#include <objbase.h>

#include "../scenarios/scenario_world.h"
#include "shell_view.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc != 6) {
        fprintf(stderr, "usage: %s PROGRAM STANDIN_DLL ICON_ASSET RIG_ROOT RECORDER\n", argv[0]);
        return 2;
    }
    SetRig({WindowsPathOf(argv[1]), WindowsPathOf(argv[2]), WindowsPathOf(argv[3]), WindowsPathOf(argv[4])});
    SetRecorder(WindowsPathOf(argv[5]));
    // The shell wants an apartment for ShellExecuteEx, as for the objects.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int const result = RUN_ALL_TESTS();
    Restore();
    CoUninitialize();
    return result;
}
