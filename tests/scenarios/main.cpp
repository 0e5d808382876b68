// Runs the scenarios under Wine: scenario_tests PROGRAM STANDIN_DLL ICON_ASSET RIG_ROOT
// (Unix paths, as the build knows them).
#include <gtest/gtest.h>

#include "broadcast_listener.h"
#include "scenario_world.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc != 5) {
        fprintf(stderr, "usage: %s PROGRAM STANDIN_DLL ICON_ASSET RIG_ROOT\n", argv[0]);
        return 2;
    }
    SetRig({WindowsPathOf(argv[1]), WindowsPathOf(argv[2]), WindowsPathOf(argv[3]), WindowsPathOf(argv[4])});
    StartBroadcastListener();
    int const result = RUN_ALL_TESTS();
    Restore();
    return result;
}
