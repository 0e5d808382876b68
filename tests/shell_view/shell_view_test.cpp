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
#include <shlguid.h>

#include <string>

#include "../scenarios/scenario_world.h"
#include "../scenarios/user_player.h"
#include "shell_view.h"

namespace {

std::wstring Recorder;

} // namespace

void SetRecorder(std::wstring const& path)
{
    Recorder = path;
}

namespace {

wchar_t const Url[] = L"http://www.quorvel.com/";
wchar_t const Created[] = L"创建Quorvel桌面快捷方式成功";
wchar_t const HttpCommandKey[] = L"Software\\Classes\\http\\shell\\open\\command";

// Enough of a COM pointer for a test: released when it goes out of scope.
template <class Interface>
struct Held {
    Interface* p = nullptr;
    Held() = default;
    Held(Held const&) = delete;
    Held& operator=(Held const&) = delete;
    ~Held()
    {
        if (p)
            p->Release();
    }
    Interface* operator->() const { return p; }
    void** out() { return reinterpret_cast<void**>(&p); }
};

// A fresh instance of whatever answers to the shell's class, loaded from the
// saved shortcut.
HRESULT LoadShortcut(Held<IUniformResourceLocatorW>& locator)
{
    HRESULT hr = CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IUniformResourceLocatorW, locator.out());
    if (FAILED(hr))
        return hr;
    Held<IPersistFile> file;
    hr = locator->QueryInterface(IID_IPersistFile, file.out());
    if (FAILED(hr))
        return hr;
    return file->Load(ShortcutPath().c_str(), STGM_READ);
}

// Points the prefix's http handler at the recorder while it lives. HKLM,
// because Wine's class root is the machine's classes alone.
class RecorderAsBrowser {
public:
    explicit RecorderAsBrowser(std::wstring const& log)
    {
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, HttpCommandKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                        nullptr);
        WCHAR data[1024]{};
        DWORD size = sizeof(data) - sizeof(WCHAR);
        hadCommand_ = RegQueryValueExW(key_, nullptr, nullptr, &type_, reinterpret_cast<BYTE*>(data), &size)
                      == ERROR_SUCCESS;
        command_ = data;
        std::wstring const ours = L"\"" + Recorder + L"\" \"" + log + L"\" \"%1\"";
        RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<BYTE const*>(ours.c_str()),
                       static_cast<DWORD>((ours.size() + 1) * sizeof(WCHAR)));
    }
    RecorderAsBrowser(RecorderAsBrowser const&) = delete;
    RecorderAsBrowser& operator=(RecorderAsBrowser const&) = delete;
    ~RecorderAsBrowser()
    {
        if (hadCommand_)
            RegSetValueExW(key_, nullptr, 0, type_, reinterpret_cast<BYTE const*>(command_.c_str()),
                           static_cast<DWORD>((command_.size() + 1) * sizeof(WCHAR)));
        else
            RegDeleteValueW(key_, nullptr);
        RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    bool hadCommand_ = false;
    DWORD type_ = REG_SZ;
    std::wstring command_;
};

class ShellView : public testing::Test {
protected:
    void SetUp() override
    {
        Reset();
        PlayedRun const run = PlayProgram(Rig().program, {L"", {IDYES, IDOK}});
        ASSERT_FALSE(run.timedOut);
        ASSERT_EQ(run.exitCode, 1u);
        ASSERT_EQ(run.boxes.size(), 2u);
        ASSERT_EQ(Utf8(run.boxes[1].text), Utf8(Created));
        // Saved by the stand-in; read from here on by Wine's own object.
        UseWineObject();
    }

    void TearDown() override { Reset(); }
};

TEST_F(ShellView, ClassAnswersWithWinesOwnObject)
{
    Held<IUniformResourceLocatorW> locator;
    ASSERT_EQ(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER, IID_IUniformResourceLocatorW,
                               locator.out()),
              S_OK);
    // Wine's object has property storage and no shell link; the stand-in the other way round.
    Held<IShellLinkW> link;
    EXPECT_EQ(locator->QueryInterface(IID_IShellLinkW, link.out()), E_NOINTERFACE);
    Held<IPropertySetStorage> properties;
    EXPECT_EQ(locator->QueryInterface(IID_IPropertySetStorage, properties.out()), S_OK);
}

TEST_F(ShellView, WinesObjectReadsTheUrl)
{
    Held<IUniformResourceLocatorW> locator;
    ASSERT_EQ(LoadShortcut(locator), S_OK);

    PWSTR url = nullptr;
    ASSERT_EQ(locator->GetURL(&url), S_OK);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(Utf8(url), Utf8(Url));
    CoTaskMemFree(url);

    Held<IPersistFile> file;
    ASSERT_EQ(locator->QueryInterface(IID_IPersistFile, file.out()), S_OK);
    PWSTR current = nullptr;
    ASSERT_EQ(file->GetCurFile(&current), S_OK);
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(Utf8(current), Utf8(ShortcutPath()));
    CoTaskMemFree(current);
    EXPECT_EQ(file->IsDirty(), S_FALSE) << "nothing changed since the load";
}

TEST_F(ShellView, WinesObjectReadsTheIcon)
{
    Held<IUniformResourceLocatorW> locator;
    ASSERT_EQ(LoadShortcut(locator), S_OK);
    Held<IPropertySetStorage> sets;
    ASSERT_EQ(locator->QueryInterface(IID_IPropertySetStorage, sets.out()), S_OK);
    Held<IPropertyStorage> properties;
    ASSERT_EQ(sets->Open(FMTID_Intshcut, STGM_READ | STGM_SHARE_EXCLUSIVE, &properties.p), S_OK);

    PROPSPEC specs[2]{};
    specs[0].ulKind = PRSPEC_PROPID;
    specs[0].propid = PID_IS_ICONFILE;
    specs[1].ulKind = PRSPEC_PROPID;
    specs[1].propid = PID_IS_ICONINDEX;
    PROPVARIANT values[2]{};
    ASSERT_EQ(properties->ReadMultiple(2, specs, values), S_OK);

    ASSERT_EQ(values[0].vt, VT_LPWSTR);
    EXPECT_EQ(Utf8(values[0].pwszVal), Utf8(IconPath()));
    ASSERT_EQ(values[1].vt, VT_I4);
    // Wine's reader fills only the low half of its VT_I4.
    EXPECT_EQ(values[1].iVal, 0);
    FreePropVariantArray(2, values);
}

TEST_F(ShellView, ShellOpensTheUrlWithTheHttpHandler)
{
    std::wstring const log = Rig().rigRoot + L"\\opened.log";
    DeleteFileW(log.c_str());
    RecorderAsBrowser const browser(log);

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
    EXPECT_EQ(opened, Utf8(Url) + "\n");
    DeleteFileW(log.c_str());
}

} // namespace
