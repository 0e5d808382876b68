// The class the host registers for the shell's Internet Shortcut object, with
// no stand-in: the program's own SaveUrlShortcut hands it the shortcut, and a
// fresh instance reads the saved file back.
//   real_object_tests --rig-root=DIR
#include <gtest/gtest.h>

#include <cstdio>

#include <objbase.h>

#include <string>

#include "install/icon_image.h"
#include "install/url_shortcut.h"
#include "rig/command_line.h"
#include "rig/files.h"
#include "rig/host.h"
#include "rig/shortcut_reader.h"
#include "rig/world.h"

namespace {

// Where the two files go: a plain folder, and one named as a Chinese user's
// account folder often is.
struct Place {
    char const* name;
    wchar_t const* folder;
};
Place const Places[] = {{"PlainFolder", L"plain"}, {"ChineseFolder", L"张伟（测试）"}};

class HostObject : public testing::TestWithParam<Place> {};

TEST_P(HostObject, SavesWhatTheProgramHandsItAndReadsItBack)
{
    std::wstring const root = FreshTempFolder(L"quorvel-host-object");
    std::wstring const folder = root + L"\\" + GetParam().folder;
    MakeDirectories(folder);
    std::wstring const icon = folder + L"\\gomri.ico";
    std::wstring const shortcut = folder + L"\\Quorvel.url";
    WriteBytes(icon, std::string(reinterpret_cast<char const*>(IconImage), IconImageSize));

    // Wine's own object lacks IShellLinkW: there the save fails, and leaves no file.
    HRESULT const expected = RunningUnderWine() ? E_NOINTERFACE : S_OK;
    EXPECT_EQ(SaveUrlShortcut(shortcut.c_str(), icon.c_str()), expected);
    if (SUCCEEDED(expected))
        EXPECT_EQ(ReadBackDifferences(shortcut, icon), "");
    else
        EXPECT_FALSE(Exists(shortcut)) << "a shortcut without its icon was saved";
    RemoveTree(root);
}

INSTANTIATE_TEST_SUITE_P(Places, HostObject, testing::ValuesIn(Places),
                         [](testing::TestParamInfo<Place> const& param) { return param.param.name; });

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::wstring const rigRoot = CommandLinePath(L"rig-root");
    if (rigRoot.empty()) {
        std::fprintf(stderr, "usage: %s --rig-root=DIR\n", argv[0]);
        return 2;
    }
    // Puts back whatever class registration an interrupted rig program left.
    UseRigPaths({L"", L"", L"", rigRoot, ShortcutObject::Host});
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return RUN_ALL_TESTS();
}
