// Every platform call of a whole run, failed in turn: the Nth call fails the
// way Windows documents for it, for N = 1, 2, ... until a run no longer
// reaches N, from four starting points. Whatever fails, the user is told the
// truth, an existing shortcut changes only after Yes, and no file is left
// broken or behind. The entry runs in this process, its imports patched to
// count the calls; the boxes are answered by script, the folders are a
// throw-away pair, and the shortcut object is the rig's stand-in.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
// Needs the COM declarations above.
#include <isguids.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "import_patch.h"
#include "install/icon_image.h"
#include "rig/clock.h"
#include "rig/command_line.h"
#include "rig/files.h"
#include "rig/setup_check.h"
#include "rig/shortcut_reader.h"
#include "rig/user_texts.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {

// How a call fails: what it returns, and the last error it leaves.
struct Failure {
    char const* documented;
    LONG_PTR returns;
    DWORD error;
    bool afterwards = false;  // the call does its work, then reports the failure
};

struct PlatformCall {
    char const* dll;
    char const* function;
    void* swept;  // counts the call, then fails it or hands it on
    std::vector<Failure> failures;
};

std::vector<PlatformCall> const& Table();

// The run under way: which call fails how, and the calls made so far.
struct Sweep {
    size_t failAt = 0;  // 1-based; 0 fails none
    size_t failure = 0;
    std::vector<size_t> calls;  // rows of the table, in call order
    Failure const* failed = nullptr;
};
Sweep Now;
// Per row, what a call is handed on to: the real function, or the script
// standing in for the user, the shell's folders and the shortcut class.
std::vector<void*> HandedTo;

// Counts a call of that row; the failure to give when it is the one to fail.
Failure const* Count(size_t row)
{
    Now.calls.push_back(row);
    if (Now.calls.size() != Now.failAt)
        return nullptr;
    std::vector<Failure> const& failures = Table()[row].failures;
    Now.failed = &failures[std::min(Now.failure, failures.size() - 1)];
    return Now.failed;
}

template <typename R>
R As(LONG_PTR value)
{
    if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<R>(value);
    else
        return static_cast<R>(value);
}

template <size_t Row, typename R, typename... A>
R WINAPI Swept(A... arguments)
{
    auto const handOn = reinterpret_cast<R(WINAPI*)(A...)>(HandedTo[Row]);
    Failure const* failure = Count(Row);
    if (!failure)
        return handOn(arguments...);
    if (failure->afterwards)
        handOn(arguments...);
    SetLastError(failure->error);
    return As<R>(failure->returns);
}

template <size_t Row, typename R, typename... A>
void* SweptAs(R(WINAPI*)(A...))
{
    return reinterpret_cast<void*>(&Swept<Row, R, A...>);
}

// WriteFile's two failures on a full disk: nothing written, or part of it.
size_t const WriteFileRow = 0;
BOOL WINAPI SweptWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    auto const handOn = reinterpret_cast<decltype(&WriteFile)>(HandedTo[WriteFileRow]);
    Failure const* failure = Count(WriteFileRow);
    if (!failure)
        return handOn(file, data, size, written, overlapped);
    *written = 0;
    if (failure->afterwards)
        handOn(file, data, size / 2, written, overlapped);
    SetLastError(failure->error);
    return FALSE;
}

// Row numbers count from WriteFile's, the first.
constexpr int BaseRow = __COUNTER__;
#define SWEPT(DLL, FUNCTION, ...) {DLL, #FUNCTION, SweptAs<__COUNTER__ - BaseRow>(&FUNCTION), {__VA_ARGS__}}

std::vector<PlatformCall> const& Table()
{
    static std::vector<PlatformCall> const table = {
        {"kernel32.dll", "WriteFile", reinterpret_cast<void*>(SweptWriteFile),
         {{"FALSE, ERROR_DISK_FULL, none written", FALSE, ERROR_DISK_FULL},
          {"FALSE, ERROR_DISK_FULL, half written", FALSE, ERROR_DISK_FULL, true}}},
        SWEPT("kernel32.dll", GetModuleHandleW, {"NULL, ERROR_MOD_NOT_FOUND", 0, ERROR_MOD_NOT_FOUND}),
        SWEPT("kernel32.dll", GetProcAddress, {"NULL, ERROR_PROC_NOT_FOUND", 0, ERROR_PROC_NOT_FOUND}),
        SWEPT("user32.dll", MessageBoxW, {"0, ERROR_NOT_ENOUGH_MEMORY", 0, ERROR_NOT_ENOUGH_MEMORY}),
        SWEPT("shell32.dll", SHGetFolderPathW, {"E_FAIL", E_FAIL, 0}),
        SWEPT("kernel32.dll", FindFirstFileW,
              {"INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED", -1, ERROR_ACCESS_DENIED},
              {"INVALID_HANDLE_VALUE, ERROR_NETWORK_UNREACHABLE", -1, ERROR_NETWORK_UNREACHABLE}),
        SWEPT("kernel32.dll", FindClose, {"FALSE, ERROR_INVALID_HANDLE", FALSE, ERROR_INVALID_HANDLE}),
        SWEPT("kernel32.dll", CreateFileW, {"INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED", -1, ERROR_ACCESS_DENIED}),
        SWEPT("kernel32.dll", FlushFileBuffers, {"FALSE, ERROR_DISK_FULL", FALSE, ERROR_DISK_FULL}),
        // The handle is gone either way; a lost cached write is the failure left to report.
        SWEPT("kernel32.dll", CloseHandle, {"FALSE, ERROR_IO_DEVICE, closed", FALSE, ERROR_IO_DEVICE, true}),
        SWEPT("kernel32.dll", MoveFileExW,
              {"FALSE, ERROR_ACCESS_DENIED", FALSE, ERROR_ACCESS_DENIED},
              {"FALSE, ERROR_SHARING_VIOLATION", FALSE, ERROR_SHARING_VIOLATION}),
        SWEPT("kernel32.dll", DeleteFileW, {"FALSE, ERROR_ACCESS_DENIED", FALSE, ERROR_ACCESS_DENIED}),
        SWEPT("ole32.dll", CoInitialize, {"E_OUTOFMEMORY", E_OUTOFMEMORY, 0}),
        SWEPT("ole32.dll", CoCreateInstance, {"E_OUTOFMEMORY", E_OUTOFMEMORY, 0},
              {"REGDB_E_CLASSNOTREG", REGDB_E_CLASSNOTREG, 0}),
        SWEPT("user32.dll", SendMessageTimeoutW, {"0, ERROR_TIMEOUT", 0, ERROR_TIMEOUT}),
        SWEPT("user32.dll", SystemParametersInfoW, {"FALSE, ERROR_ACCESS_DENIED", FALSE, ERROR_ACCESS_DENIED}),
    };
    return table;
}

size_t RowOf(char const* function)
{
    for (size_t row = 0; row < Table().size(); ++row)
        if (std::string(Table()[row].function) == function)
            return row;
    SetupCheck(false, "no row in the sweep's table for", Utf16(function));
    return 0;
}

// Where the program is made to run from, and what the user answers.
struct Start {
    char const* name;
    bool existing;  // a complete shortcut and icon file are there already
    int overwriteAnswer;
    // A copy that crashed while writing left its longer new icon file, and
    // this process now has that copy's process ID.
    bool crashedCopy = false;
};
Start const Starts[] = {{"NoFiles", false, 0},
                        {"ExistingAnsweredYes", true, IDYES},
                        {"ExistingAnsweredNo", true, IDNO},
                        {"CrashedCopysNewIconLeft", false, 0, true}};

std::string const OlderShortcut = "[InternetShortcut]\r\nURL=http://example.invalid/older\r\n";
std::string const Image(reinterpret_cast<char const*>(IconImage), IconImageSize);

std::wstring DesktopFolder;
std::wstring LocalAppDataFolder;
IClassFactory* Standin = nullptr;
std::vector<std::pair<std::wstring, std::string>> OthersBefore;
int OverwriteAnswer = 0;

struct ShownBox {
    std::wstring text;
    int answer;
};
std::vector<ShownBox> Shown;

int WINAPI ScriptedBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
{
    bool const question = lstrcmpW(text, ExpectedQuestion) == 0;
    bool const overwrite = lstrcmpW(text, ExpectedOverwrite) == 0;
    EXPECT_EQ(owner, nullptr);
    EXPECT_STREQ(caption, ExpectedCaption);
    EXPECT_EQ(style, static_cast<UINT>(question || overwrite ? MB_YESNO : MB_OK));
    int const answer = question ? IDYES : overwrite ? OverwriteAnswer : IDOK;
    Shown.push_back({text, answer});
    return answer;
}

HRESULT WINAPI TheFolders(HWND, int csidl, HANDLE, DWORD, LPWSTR path)
{
    lstrcpynW(path, (csidl == CSIDL_DESKTOPDIRECTORY ? DesktopFolder : LocalAppDataFolder).c_str(), MAX_PATH);
    return S_OK;
}

HRESULT WINAPI FromStandin(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object)
{
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_InternetShortcut));
    return Standin->CreateInstance(outer, iid, object);
}

// What a folder holds besides the program's own two files, with the bytes of each.
std::vector<std::pair<std::wstring, std::string>> OtherFiles(std::wstring const& folder)
{
    std::vector<std::pair<std::wstring, std::string>> files;
    for (std::wstring const& name : NamesIn(folder)) {
        if (name == L"Quorvel.url" || name == L"gomri.ico")
            continue;
        std::string bytes;  // none for a folder
        ReadBytes(folder + L"\\" + name, bytes);
        files.push_back({name, bytes});
    }
    return files;
}

class FailureSweep : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::wstring const standin = CommandLinePath(L"standin");
        SetupCheck(!standin.empty(), "the sweep needs --standin=DLL");
        HMODULE const module = LoadLibraryW(standin.c_str());
        SetupCheck(module != nullptr, "LoadLibraryW", standin);
        auto const getClassObject = reinterpret_cast<decltype(&DllGetClassObject)>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
        SetupCheck(getClassObject && SUCCEEDED(getClassObject(CLSID_InternetShortcut, IID_IClassFactory,
                                                              reinterpret_cast<void**>(&Standin))),
                   "DllGetClassObject", standin);
        std::wstring const root = FreshTempFolder(L"quorvel-sweep");
        DesktopFolder = root + L"\\Desktop";
        LocalAppDataFolder = root + L"\\Local";
    }

    // Arranges the start, then runs the entry with the calls counted and the
    // chosen one failed; returns its exit code.
    int RunFailing(Start const& start, size_t failAt, size_t failure)
    {
        RemoveTree(DesktopFolder);
        RemoveTree(LocalAppDataFolder);
        MakeDirectories(DesktopFolder);
        MakeDirectories(LocalAppDataFolder);
        if (start.existing) {
            WriteBytes(DesktopFolder + L"\\Quorvel.url", OlderShortcut);
            WriteBytes(LocalAppDataFolder + L"\\gomri.ico", Image);
        }
        if (start.crashedCopy) {
            WCHAR name[16]{};
            wsprintfW(name, L"\\~%08lX", GetCurrentProcessId());
            WriteBytes(LocalAppDataFolder + name, std::string(40000, 'x'));
        }
        OthersBefore = OtherFiles(LocalAppDataFolder);
        OverwriteAnswer = start.overwriteAnswer;
        Shown.clear();

        // Patching calls some of these itself: none of that counts.
        Now = {};
        std::vector<std::unique_ptr<ImportPatch>> patches;
        HandedTo.resize(Table().size());
        for (size_t row = 0; row < Table().size(); ++row) {
            patches.push_back(std::make_unique<ImportPatch>(Table()[row].dll, Table()[row].function, Table()[row].swept));
            HandedTo[row] = patches.back()->Original();
        }
        HandedTo[RowOf("MessageBoxW")] = reinterpret_cast<void*>(ScriptedBox);
        HandedTo[RowOf("SHGetFolderPathW")] = reinterpret_cast<void*>(TheFolders);
        HandedTo[RowOf("CoCreateInstance")] = reinterpret_cast<void*>(FromStandin);
        Now = {failAt, failure, {}, nullptr};
        return wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
    }

    // What a user and the disk must show after any run.
    void ExpectSound(Start const& start, int exitCode)
    {
        std::wstring const shortcutPath = DesktopFolder + L"\\Quorvel.url";
        std::wstring const iconPath = LocalAppDataFolder + L"\\gomri.ico";
        std::string shortcut, icon;
        bool const hasShortcut = ReadBytes(shortcutPath, shortcut);
        bool const hasIcon = ReadBytes(iconPath, icon);
        bool const created = !Shown.empty() && Shown.back().text == ExpectedCreated;

        // It ends with the answer to the last box, or 0 if that box could not be shown.
        size_t const boxRow = RowOf("MessageBoxW");
        size_t const lastBox = static_cast<size_t>(
            std::find(Now.calls.rbegin(), Now.calls.rend(), boxRow).base() - Now.calls.begin());
        ASSERT_GT(lastBox, 0u) << "no box at all";
        bool const lastBoxFailed = lastBox == Now.failAt;
        EXPECT_EQ(exitCode, lastBoxFailed ? 0 : Shown.back().answer);
        // Nothing happens before the user's Yes; after it, the user hears the outcome.
        size_t const firstBox =
            static_cast<size_t>(std::find(Now.calls.begin(), Now.calls.end(), boxRow) - Now.calls.begin());
        bool const agreed = !Shown.empty() && Shown.front().text == ExpectedQuestion;
        if (!agreed) {
            EXPECT_EQ(Now.calls.size(), firstBox + 1) << "calls made without the user's Yes";
        } else if (!lastBoxFailed) {
            EXPECT_TRUE(created || Shown.back().text == ExpectedNotCreated) << "no outcome told";
        }

        // Created only when the shortcut is saved as it should be, beside a whole icon.
        if (created) {
            EXPECT_EQ(ReadBackDifferences(shortcutPath, iconPath), "");
            EXPECT_TRUE(hasIcon && icon == Image) << "created, but the icon file is not whole";
        }
        // Not created, or not asked for: the shortcut as it was.
        if (!created && !(agreed && lastBoxFailed)) {
            EXPECT_EQ(hasShortcut, start.existing);
            EXPECT_TRUE(!hasShortcut || shortcut == OlderShortcut) << "not created, yet the shortcut changed";
        }
        // Whatever happened, no icon file broken and nothing else left behind.
        EXPECT_TRUE(!hasIcon || icon == Image) << "the icon file is " << icon.size() << " bytes, not whole";
        EXPECT_TRUE(OtherFiles(DesktopFolder).empty()) << "something else left on the desktop";
        // A crashed copy's leftover may go; nothing else may come or change.
        for (auto const& file : OtherFiles(LocalAppDataFolder))
            EXPECT_TRUE(std::find(OthersBefore.begin(), OthersBefore.end(), file) != OthersBefore.end())
                << Utf8(file.first) << " left beside the icon";

        // An existing shortcut changes only after Yes to the overwrite question.
        bool const replaced = start.existing && shortcut != OlderShortcut;
        bool const consented = std::any_of(Shown.begin(), Shown.end(), [](ShownBox const& box) {
            return box.text == ExpectedOverwrite && box.answer == IDYES;
        });
        EXPECT_TRUE(!replaced || consented) << "the shortcut was replaced without Yes";
    }
};

TEST_F(FailureSweep, EachCallFailingInTurnLeavesTheUserToldAndTheFilesWhole)
{
    double const began = RigNowMs();
    size_t runs = 0;
    std::vector<bool> fired(Table().size());
    for (Start const& start : Starts) {
        bool reached = true;
        for (size_t n = 1; reached; ++n) {
            for (size_t failure = 0, failures = 1; reached && failure < failures; ++failure) {
                int const exitCode = RunFailing(start, n, failure);
                ++runs;
                reached = Now.failed != nullptr;
                if (!reached)
                    break;
                size_t const row = Now.calls[n - 1];
                failures = Table()[row].failures.size();
                fired[row] = true;
                SCOPED_TRACE(testing::Message() << start.name << ", call " << n << " failing: "
                                                << Table()[row].function << " gives " << Now.failed->documented);
                ExpectSound(start, exitCode);
            }
        }
    }

    std::string never;
    for (size_t row = 0; row < Table().size(); ++row)
        if (!fired[row])
            never += std::string(" ") + Table()[row].function;
    std::printf("%zu runs from %zu starts in %.0f ms; never reached as the failing call:%s\n", runs,
                std::size(Starts), RigNowMs() - began, never.empty() ? " none" : never.c_str());
}

} // namespace
