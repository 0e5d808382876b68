// Checks a program file as Windows and the shell see it:
//   program_file_tests --program=EXE --icon-asset=ICO --manifest=FILE --render-dir=DIR
// Any built or released copy can be checked, signed or not.
#include <gtest/gtest.h>

#include <cstdio>

#include "program_file.h"
#include "rig/command_line.h"
#include "rig/files.h"
#include "rig/setup_check.h"

namespace {

ProgramFiles Files;

} // namespace

ProgramFiles const& ProgramUnderCheck()
{
    return Files;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    Files.program = CommandLinePath(L"program");
    Files.renderFolder = CommandLinePath(L"render-dir");
    std::wstring const iconAsset = CommandLinePath(L"icon-asset");
    std::wstring const manifest = CommandLinePath(L"manifest");
    if (Files.program.empty() || iconAsset.empty() || manifest.empty() || Files.renderFolder.empty()) {
        std::fprintf(stderr, "usage: %s --program=EXE --icon-asset=ICO --manifest=FILE --render-dir=DIR\n", argv[0]);
        return 2;
    }
    // What the program is compared with: a file that cannot be read, or an
    // asset that is no icon file, is the rig's failure, not the program's.
    Files.iconAsset = ReadFixture(iconAsset);
    Files.assetImages = IconFileImages(Files.iconAsset);
    SetupCheck(!Files.assetImages.empty(), "reading the icon asset's directory", iconAsset);
    Files.manifest = ReadFixture(manifest);
    MakeDirectories(Files.renderFolder);
    return RUN_ALL_TESTS();
}
