// The shortcut the program saves, seen through Wine's own code instead of
// ours: Wine's Internet Shortcut object reads it back, and the shell opens it
// with whatever the prefix says handles http.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
// Need the COM declarations above.
#include <intshcut.h>
#include <isguids.h>

#include <string>

#include "rig/files.h"
#include "rig/held.h"
#include "rig/player.h"
#include "rig/registry_record.h"
#include "rig/shortcut_reader.h"
#include "rig/user_texts.h"
#include "rig/world.h"
#include "shell_view.h"

namespace {

std::wstring Recorder;

} // namespace

void SetRecorder(std::wstring const& path)
{
    Recorder = path;
}

namespace {

// Wine's class root is the machine's classes alone.
wchar_t const HttpCommandKey[] = L"Software\\Classes\\http\\shell\\open\\command";

class ShellView : public testing::Test {
protected:
    void SetUp() override
    {
        Reset();
        PlayedRun const run = PlayProgram(Rig().program, {L"", {IDYES, IDOK}});
        ASSERT_FALSE(run.timedOut);
        ASSERT_EQ(run.exitCode, 1u);
        ASSERT_EQ(run.boxes.size(), 2u);
        ASSERT_EQ(Utf8(run.boxes[1].text), Utf8(ExpectedCreated));
        // Saved by the stand-in; read from here on by Wine's own object.
        UseHostObject();
    }

    void TearDown() override { Reset(); }
};

TEST_F(ShellView, ClassAnswersWithWinesOwnObject)
{
    Held<IUniformResourceLocatorW> locator;
    ASSERT_EQ(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER, IID_IUniformResourceLocatorW,
                               locator.Out()),
              S_OK);
    // Wine's object has property storage and no shell link; the stand-in the other way round.
    Held<IShellLinkW> link;
    EXPECT_EQ(locator->QueryInterface(IID_IShellLinkW, link.Out()), E_NOINTERFACE);
    Held<IPropertySetStorage> properties;
    EXPECT_EQ(locator->QueryInterface(IID_IPropertySetStorage, properties.Out()), S_OK);
}

TEST_F(ShellView, WinesObjectReadsTheUrlAndTheIcon)
{
    EXPECT_EQ(ReadBackDifferences(ShortcutPath(), IconPath()), "");
}

TEST_F(ShellView, WinesObjectKnowsTheFileItLoaded)
{
    Held<IPersistFile> file;
    ASSERT_EQ(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.Out()),
              S_OK);
    ASSERT_EQ(file->Load(ShortcutPath().c_str(), STGM_READ), S_OK);
    PWSTR current = nullptr;
    ASSERT_EQ(file->GetCurFile(&current), S_OK);
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(Utf8(current), Utf8(ShortcutPath()));
    CoTaskMemFree(current);
    EXPECT_EQ(file->IsDirty(), S_FALSE) << "nothing changed since the load";
}

TEST_F(ShellView, ShellOpensTheUrlWithTheHttpHandler)
{
    std::wstring const log = Rig().rigRoot + L"\\opened.log";
    RemoveTree(log);
    // The recorder plays the browser until the world is reset.
    SetRecordedValue(HKEY_LOCAL_MACHINE, HttpCommandKey, L"", REG_SZ,
                     L"\"" + Recorder + L"\" \"" + log + L"\" \"%1\"");

    std::wstring const shortcut = ShortcutPath();
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    // No error boxes: with the null driver nobody could answer them.
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = L"open";
    execute.lpFile = shortcut.c_str();
    execute.nShow = SW_SHOWNORMAL;
    ASSERT_TRUE(ShellExecuteExW(&execute)) << "error " << GetLastError();
    if (execute.hProcess) {
        EXPECT_EQ(WaitForSingleObject(execute.hProcess, 30000), WAIT_OBJECT_0);
        CloseHandle(execute.hProcess);
    }

    // The shortcut's handler starts the browser and does not wait for it.
    std::string opened;
    for (ULONGLONG const deadline = GetTickCount64() + 30000; GetTickCount64() < deadline; Sleep(50))
        if (ReadBytes(log, opened) && !opened.empty() && opened.back() == '\n')
            break;
    EXPECT_EQ(opened, Utf8(ExpectedUrl) + "\n");
    RemoveTree(log);
}

} // namespace
