// Runs the whole program and plays its user:
//   scenario_tests --program=EXE --icon-asset=ICO --rig-root=DIR --standin=DLL
//   scenario_tests --program=EXE --icon-asset=ICO --rig-root=DIR --host-object
// With the stand-in (under Wine) every scenario runs and the stand-in's call
// log is checked; with the host's own object only those that mean something
// there, and their outcome is checked as the host gives it.
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
        std::fprintf(stderr, "usage: %s --program=EXE --icon-asset=ICO --rig-root=DIR (--standin=DLL | --host-object)\n",
                     argv[0]);
        return 2;
    }
    SetRig(paths);
    // Reading the saved shortcut back takes an apartment, as the program's own calls do.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    StartBroadcastListener();
    // Only the cases for the object in use, within whatever filter was given.
    std::string filter = GTEST_FLAG_GET(filter);
    filter += filter.find('-') == std::string::npos ? "-" : ":";
    filter += hostObject ? "WithStandin/*:TwoCopiesAtOnce.*" : "WithHostObject/*";
    GTEST_FLAG_SET(filter, filter);
    int const result = RUN_ALL_TESTS();
    Restore();
    return result;
}
