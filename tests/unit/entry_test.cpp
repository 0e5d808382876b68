// Message boxes that cannot be shown: MessageBoxW returns 0. Nothing under
// Wine makes a real box fail that way, so the entry runs here in process
// with the box, the folder lookup and the shortcut object scripted.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "import_patch.h"
#include "rig/files.h"
#include "rig/user_texts.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {

struct ShownBox {
    std::wstring text;
    UINT style;
};

std::vector<int> Answers;
std::vector<ShownBox> Shown;
std::wstring DesktopFolder;
std::wstring LocalAppDataFolder;
int FolderLookups = 0;

int WINAPI ScriptedMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
{
    EXPECT_EQ(owner, nullptr);
    EXPECT_STREQ(caption, ExpectedCaption);
    Shown.push_back({text, style});
    return Shown.size() <= Answers.size() ? Answers[Shown.size() - 1] : 0;
}

// An empty folder stands for one that cannot be resolved.
HRESULT WINAPI ScriptedFolderPath(HWND, int csidl, HANDLE, DWORD, LPWSTR path)
{
    ++FolderLookups;
    std::wstring const& folder = csidl == CSIDL_DESKTOPDIRECTORY ? DesktopFolder : LocalAppDataFolder;
    if (folder.empty())
        return E_FAIL;
    lstrcpynW(path, folder.c_str(), MAX_PATH);
    return S_OK;
}

HRESULT WINAPI NoShortcutObject(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object)
{
    *object = nullptr;
    return REGDB_E_CLASSNOTREG;
}

void WINAPI QuietChangeNotify(LONG, UINT, LPCVOID, LPCVOID) {}
LRESULT WINAPI QuietSendMessageTimeout(HWND, UINT, WPARAM, LPARAM, UINT, UINT, PDWORD_PTR) { return 0; }
BOOL WINAPI QuietSystemParametersInfo(UINT, UINT, PVOID, UINT) { return FALSE; }

class EntryWithScriptedBoxes : public testing::Test {
protected:
    void SetUp() override
    {
        Answers.clear();
        Shown.clear();
        DesktopFolder.clear();
        LocalAppDataFolder.clear();
        FolderLookups = 0;
        ASSERT_TRUE(box_.Applied() && folders_.Applied() && object_.Applied());
    }

    ImportPatch box_{"user32.dll", "MessageBoxW", reinterpret_cast<void*>(ScriptedMessageBox)};
    ImportPatch folders_{"shell32.dll", "SHGetFolderPathW", reinterpret_cast<void*>(ScriptedFolderPath)};
    ImportPatch object_{"ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(NoShortcutObject)};
    ImportPatch notify_{"shell32.dll", "SHChangeNotify", reinterpret_cast<void*>(QuietChangeNotify)};
    ImportPatch broadcast_{"user32.dll", "SendMessageTimeoutW", reinterpret_cast<void*>(QuietSendMessageTimeout)};
    ImportPatch icons_{"user32.dll", "SystemParametersInfoW", reinterpret_cast<void*>(QuietSystemParametersInfo)};
};

TEST_F(EntryWithScriptedBoxes, QuestionThatCannotBeShownEndsWithZeroAndDoesNothing)
{
    Answers = {0};
    EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 0);
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].text, ExpectedQuestion);
    EXPECT_EQ(Shown[0].style, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(FolderLookups, 0) << "no folder may be looked up before the user agrees";
}

TEST_F(EntryWithScriptedBoxes, OutcomeThatCannotBeShownEndsWithZero)
{
    Answers = {IDYES, 0};
    EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 0);
    ASSERT_EQ(Shown.size(), 2u);
    // The folder could not be resolved, so the user hears it was not created.
    EXPECT_EQ(Shown[1].text, ExpectedNotCreated);
    EXPECT_EQ(Shown[1].style, static_cast<UINT>(MB_OK));
}

// Only an explicit No keeps the old shortcut: a box that cannot be shown
// lets the run go on to write the icon and try the save.
TEST_F(EntryWithScriptedBoxes, OverwriteQuestionThatCannotBeShownGoesOn)
{
    DesktopFolder = FreshTempFolder(L"entry-desktop");
    LocalAppDataFolder = FreshTempFolder(L"entry-appdata");
    std::wstring const shortcut = DesktopFolder + L"\\Quorvel.url";
    std::wstring const icon = LocalAppDataFolder + L"\\gomri.ico";
    WriteBytes(shortcut, "");

    Answers = {IDYES, 0, IDOK};
    EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), IDOK);
    ASSERT_EQ(Shown.size(), 3u);
    EXPECT_EQ(Shown[1].text, ExpectedOverwrite);
    EXPECT_EQ(Shown[1].style, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(Shown[2].text, ExpectedNotCreated) << "the shortcut object was not there";

    WIN32_FILE_ATTRIBUTE_DATA written{};
    ASSERT_TRUE(GetFileAttributesExW(icon.c_str(), GetFileExInfoStandard, &written)) << "the icon was not written";
    EXPECT_EQ(written.nFileSizeLow, 18719u);
}

} // namespace
