// Runs the whole program and plays its user:
//   scenario_tests --program=EXE --icon-asset=ICO --rig-root=DIR --standin=DLL
//   scenario_tests --program=EXE --icon-asset=ICO --rig-root=DIR --host-object [--may-move-user-folders]
// The same cases run with either object; each says where the object in use
// makes a difference, and skips itself, with the reason, where it means
// nothing for that object.
#include <gtest/gtest.h>

#include <cstdio>

#include <objbase.h>

#include "rig/broadcast_listener.h"
#include "rig/command_line.h"
#include "rig/world.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    RigPaths const paths = RigPathsFromCommandLine();
    bool const hostObject = paths.object == ShortcutObject::Host;
    if (paths.program.empty() || paths.iconAsset.empty() || paths.rigRoot.empty()
        || hostObject == !paths.standin.empty()) {
        std::fprintf(stderr,
                     "usage: %s --program=EXE --icon-asset=ICO --rig-root=DIR (--standin=DLL | --host-object) "
                     "[--may-move-user-folders]\n",
                     argv[0]);
        return 2;
    }
    UseRigPaths(paths);
    // Reading the saved shortcut back takes an apartment, as the program's own calls do.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    StartBroadcastListener();
    int const result = RUN_ALL_TESTS();
    RestoreWorld();
    testing::UnitTest const& tests = *testing::UnitTest::GetInstance();
    // A filter that matches nothing must not pass for a run.
    if (tests.test_to_run_count() == 0) {
        std::fprintf(stderr, "no scenario selected\n");
        return 1;
    }
    // Every one skipped itself: ctest shows the run as skipped (its
    // SKIP_RETURN_CODE), not as passed.
    return result == 0 && tests.successful_test_count() == 0 ? 77 : result;
}
