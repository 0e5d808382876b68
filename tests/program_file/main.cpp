// Checks a program file as Windows and the shell see it:
//   program_file_tests --program=EXE --icon-asset=ICO --manifest=FILE --render-dir=DIR
// Any built or released copy can be checked, signed or not.
#include <gtest/gtest.h>

#include <cstdio>

#include "program_file.h"
#include "rig/command_line.h"
#include "rig/files.h"

namespace {

CheckedFiles Files;

} // namespace

CheckedFiles const& Checked()
{
    return Files;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    Files = {CommandLinePath(L"program"), CommandLinePath(L"icon-asset"), CommandLinePath(L"manifest"),
             CommandLinePath(L"render-dir")};
    if (Files.program.empty() || Files.iconAsset.empty() || Files.manifest.empty() || Files.renderFolder.empty()) {
        std::fprintf(stderr, "usage: %s --program=EXE --icon-asset=ICO --manifest=FILE --render-dir=DIR\n", argv[0]);
        return 2;
    }
    MakeDirectories(Files.renderFolder);
    return RUN_ALL_TESTS();
}
