// The class the host registers for the shell's Internet Shortcut object, with
// no stand-in: the program's own SaveUrlShortcut hands it the shortcut, and a
// fresh instance reads the saved file back. Every call's status is printed.
// On Windows each call must succeed and the shortcut must read back exactly;
// Wine's object lacks IShellLinkW, so there the save must fail with
// E_NOINTERFACE and leave no file.
//   real_object_tests --rig-root=DIR
#include <gtest/gtest.h>

#include <cstdio>

#include <objbase.h>
#include <shlobj.h>
// Need the COM declarations above.
#include <intshcut.h>
#include <isguids.h>

#include <iostream>
#include <string>
#include <vector>

#include "install/icon_image.h"
#include "install/url_shortcut.h"
#include "rig/command_line.h"
#include "rig/files.h"
#include "rig/host.h"
#include "rig/shortcut_reader.h"
#include "rig/user_texts.h"
#include "rig/world.h"

namespace {

// Where the two files go: a plain folder, and one named as a Chinese user's
// account folder often is.
struct Place {
    char const* name;
    wchar_t const* folder;
};
Place const Places[] = {{"PlainFolder", L"plain"}, {"ChineseFolder", L"张伟（测试）"}};

bool Noted(std::vector<ObjectCall>& calls, char const* what, HRESULT hr)
{
    calls.push_back({what, hr});
    return SUCCEEDED(hr);
}

// What the object offers for the calls the program makes on it.
void AskForInterfaces(std::vector<ObjectCall>& calls)
{
    IUniformResourceLocatorW* locator = nullptr;
    if (!Noted(calls, "CoCreateInstance IUniformResourceLocatorW",
               CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER, IID_IUniformResourceLocatorW,
                                reinterpret_cast<void**>(&locator))))
        return;
    for (auto const& [name, iid] : {std::pair{"QueryInterface IPersistFile", IID_IPersistFile},
                                    std::pair{"QueryInterface IShellLinkW", IID_IShellLinkW}}) {
        IUnknown* part = nullptr;
        if (Noted(calls, name, locator->QueryInterface(iid, reinterpret_cast<void**>(&part))))
            part->Release();
    }
    locator->Release();
}

class HostObject : public testing::TestWithParam<Place> {};

TEST_P(HostObject, SavesWhatTheProgramHandsItAndReadsItBack)
{
    std::wstring const root = FreshTempFolder(L"quorvel-host-object");
    std::wstring const folder = root + L"\\" + GetParam().folder;
    MakeDirectories(folder);
    std::wstring const icon = folder + L"\\gomri.ico";
    std::wstring const shortcut = folder + L"\\Quorvel.url";
    WriteBytes(icon, std::string(reinterpret_cast<char const*>(IconImage), IconImageSize));

    std::vector<ObjectCall> calls;
    AskForInterfaces(calls);
    HRESULT const saved = SaveUrlShortcut(shortcut.c_str(), icon.c_str());
    calls.push_back({"SaveUrlShortcut", saved});
    ShortcutContents contents;
    if (Exists(shortcut))
        ReadShortcut(shortcut, contents, calls);
    std::cout << (RunningUnderWine() ? "Under Wine" : "On Windows") << ", every call and its status:\n"
              << DescribeCalls(calls);

    if (RunningUnderWine()) {
        std::string const expected = "0x00000000  CoCreateInstance IUniformResourceLocatorW\n"
                                     "0x00000000  QueryInterface IPersistFile\n"
                                     "0x80004002  QueryInterface IShellLinkW\n"
                                     "0x80004002  SaveUrlShortcut\n";
        EXPECT_EQ(DescribeCalls(calls), expected);
        EXPECT_FALSE(Exists(shortcut)) << "Wine's object saved a shortcut without an icon";
    } else {
        for (ObjectCall const& call : calls)
            EXPECT_EQ(call.hr, S_OK) << call.what;
        EXPECT_EQ(calls.size(), 11u) << "some calls were never made";
        EXPECT_EQ(Utf8(contents.url), Utf8(ExpectedUrl));
        EXPECT_EQ(Utf8(contents.iconFile), Utf8(icon));
        EXPECT_EQ(contents.iconIndex, 0);
    }
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
    SetRig({L"", L"", L"", rigRoot, ShortcutObject::Host});
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return RUN_ALL_TESTS();
}
