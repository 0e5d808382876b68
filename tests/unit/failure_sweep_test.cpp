// Every platform call of a whole run, and every call on the shortcut object,
// failed in turn: the Nth call fails the way Windows documents for it, for
// each N that a run without failures reaches, from three starting points.
// Each way of failing says what the user must then see and find on disk.
// Besides, no run leaves a handle open or the object held, and none hands a
// file call a path Windows would refuse. The entry runs in this process, its
// imports patched to count the calls; the boxes are answered by script, the
// folders are a throw-away pair as long as a folder may be, and the shortcut
// object is the rig's stand-in, loaded in-process and watched.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
// Needs the COM declarations above.
#include <intshcut.h>
#include <isguids.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "import_patch.h"
#include "install/icon_image.h"
#include "rig/clock.h"
#include "rig/command_line.h"
#include "rig/files.h"
#include "rig/setup_check.h"
#include "rig/standin/standin_watch.h"
#include "rig/user_texts.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {

// What the user sees after the failure, and what is on disk.
enum class Outcome {
    AsIfNone,    // the same as without it: the program may ignore it
    NotCreated,  // "not created"; the shortcut and the icon file as they were; no refresh
    NotSaved,    // "not created"; the new icon file in place, the shortcut as it was; the refresh made
    BoxLost,     // the box counts as answered 0: "not created" after the overwrite question, else exit 0
};

enum class How {
    Instead,    // the call does nothing and fails
    After,      // the call does its work, then reports the failure
    Half,       // WriteFile writes half the bytes, then reports
    Elsewhere,  // SHGetFolderPathW names a folder that is not there
};

struct Failure {
    char const* documented;
    Outcome outcome;
    LONG_PTR returns;
    DWORD error = 0;
    How how = How::Instead;
};

// What the sweep watches in a call besides counting it.
unsigned const Paths = 1;   // its string arguments are file paths
unsigned const Opens = 2;   // it returns a handle
unsigned const Closes = 4;  // it closes the handle it is given

struct PlatformCall {
    char const* dll;  // null for the shortcut object's own calls
    char const* function;
    void* swept;      // counts the call, then fails it or hands it on
    unsigned watch;
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
// standing in for the user and the shortcut class.
std::vector<void*> HandedTo;
std::set<HANDLE> OpenHandles;

// Counts a call of that row; the failure to give when it is the one to fail.
Failure const* Count(size_t row)
{
    Now.calls.push_back(row);
    std::vector<Failure> const& failures = Table()[row].failures;
    if (Now.calls.size() != Now.failAt || failures.empty())
        return nullptr;
    return Now.failed = &failures[std::min(Now.failure, failures.size() - 1)];
}

// Windows refuses a path of MAX_PATH (260) code units or more, its
// terminator counted, unless it begins with \\?\; Wine takes it:
// https://learn.microsoft.com/windows/win32/fileio/maximum-file-path-limitation
void KeepsToMaxPath(LPCWSTR path)
{
    if (path && std::wcsncmp(path, L"\\\\?\\", 4) != 0 && std::wcslen(path) >= MAX_PATH)
        ADD_FAILURE() << "a path Windows refuses, " << std::wcslen(path) << " code units: " << Utf8(path);
}
template <typename T>
void KeepsToMaxPath(T)
{
}

void Closing(HANDLE handle)
{
    OpenHandles.erase(handle);
}
template <typename T>
void Closing(T)
{
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
    unsigned const watch = Table()[Row].watch;
    if (watch & Paths)
        (KeepsToMaxPath(arguments), ...);
    if (watch & Closes)
        (Closing(arguments), ...);
    Failure const* failure = Count(Row);
    if (!failure || failure->how == How::After) {
        R const result = reinterpret_cast<R(WINAPI*)(A...)>(HandedTo[Row])(arguments...);
        if constexpr (std::is_same_v<R, HANDLE>)
            if ((watch & Opens) && result != INVALID_HANDLE_VALUE)
                OpenHandles.insert(result);
        if (!failure)
            return result;
    }
    SetLastError(failure->error);
    return As<R>(failure->returns);
}

template <size_t Row, typename R, typename... A>
void* SweptAs(R(WINAPI*)(A...))
{
    return reinterpret_cast<void*>(&Swept<Row, R, A...>);
}

// WriteFile's failures: none or half of the bytes written, reported as a
// full disk, or half reported as a success.
size_t const WriteFileRow = 0;
BOOL WINAPI SweptWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    auto const handOn = reinterpret_cast<decltype(&WriteFile)>(HandedTo[WriteFileRow]);
    Failure const* failure = Count(WriteFileRow);
    if (!failure)
        return handOn(file, data, size, written, overlapped);
    *written = 0;
    if (failure->how == How::Half)
        handOn(file, data, size / 2, written, overlapped);
    SetLastError(failure->error);
    return static_cast<BOOL>(failure->returns);
}

// The shell's folders are the sweep's; a failure either leaves the buffer
// empty or, for S_FALSE, names a folder that is known but not there.
size_t const FoldersRow = 1;
std::wstring DesktopFolder;
std::wstring LocalAppDataFolder;
std::wstring MissingFolder;
HRESULT WINAPI SweptFolders(HWND, int csidl, HANDLE, DWORD, LPWSTR path)
{
    Failure const* failure = Count(FoldersRow);
    path[0] = L'\0';
    if (failure && failure->how != How::Elsewhere)
        return static_cast<HRESULT>(failure->returns);
    std::wstring const& folder = failure ? MissingFolder
                                 : csidl == CSIDL_DESKTOPDIRECTORY ? DesktopFolder
                                                                   : LocalAppDataFolder;
    lstrcpynW(path, folder.c_str(), MAX_PATH);
    return failure ? static_cast<HRESULT>(failure->returns) : S_OK;
}

// Row numbers go on from the two above.
constexpr int BaseRow = __COUNTER__;
#define SWEPT(DLL, FUNCTION, WATCH, ...) \
    {DLL, #FUNCTION, SweptAs<__COUNTER__ - BaseRow + FoldersRow>(&FUNCTION), WATCH, {__VA_ARGS__}}
#define OBJECT(CALL, WATCH, ...) {nullptr, CALL, nullptr, WATCH, {__VA_ARGS__}}

using O = Outcome;

std::vector<PlatformCall> const& Table()
{
    static std::vector<PlatformCall> const table = {
        {"kernel32.dll", "WriteFile", reinterpret_cast<void*>(SweptWriteFile), 0,
         {{"FALSE, ERROR_DISK_FULL, none written", O::NotCreated, FALSE, ERROR_DISK_FULL},
          {"FALSE, ERROR_DISK_FULL, half written", O::NotCreated, FALSE, ERROR_DISK_FULL, How::Half},
          {"TRUE, half written", O::NotCreated, TRUE, 0, How::Half}}},
        {"shell32.dll", "SHGetFolderPathW", reinterpret_cast<void*>(SweptFolders), 0,
         {{"E_FAIL", O::NotCreated, E_FAIL}, {"S_FALSE, not there", O::NotCreated, S_FALSE, 0, How::Elsewhere}}},
        SWEPT("kernel32.dll", GetModuleHandleW, 0, {"NULL, ERROR_MOD_NOT_FOUND", O::AsIfNone, 0, ERROR_MOD_NOT_FOUND}),
        SWEPT("kernel32.dll", GetProcAddress, 0, {"NULL, ERROR_PROC_NOT_FOUND", O::AsIfNone, 0, ERROR_PROC_NOT_FOUND}),
        SWEPT("user32.dll", MessageBoxW, 0, {"0, ERROR_NOT_ENOUGH_MEMORY", O::BoxLost, 0, ERROR_NOT_ENOUGH_MEMORY}),
        SWEPT("kernel32.dll", FindFirstFileW, Paths | Opens,
              {"INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED", O::NotCreated, -1, ERROR_ACCESS_DENIED},
              {"INVALID_HANDLE_VALUE, ERROR_NETWORK_UNREACHABLE", O::NotCreated, -1, ERROR_NETWORK_UNREACHABLE}),
        SWEPT("kernel32.dll", FindClose, Closes,
              {"FALSE, ERROR_INVALID_HANDLE, closed", O::AsIfNone, FALSE, ERROR_INVALID_HANDLE, How::After}),
        SWEPT("kernel32.dll", CreateFileW, Paths | Opens,
              {"INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED", O::NotCreated, -1, ERROR_ACCESS_DENIED}),
        SWEPT("kernel32.dll", FlushFileBuffers, 0, {"FALSE, ERROR_DISK_FULL", O::NotCreated, FALSE, ERROR_DISK_FULL}),
        // The handle is gone either way; the data are on disk already.
        SWEPT("kernel32.dll", CloseHandle, Closes,
              {"FALSE, ERROR_IO_DEVICE, closed", O::AsIfNone, FALSE, ERROR_IO_DEVICE, How::After}),
        SWEPT("kernel32.dll", MoveFileExW, Paths, {"FALSE, ERROR_ACCESS_DENIED", O::NotCreated, FALSE, ERROR_ACCESS_DENIED}),
        // Only ever after another failure, so never the one to fail; watched for its path.
        SWEPT("kernel32.dll", DeleteFileW, Paths),
        SWEPT("ole32.dll", CoCreateInstance, 0, {"REGDB_E_CLASSNOTREG", O::NotSaved, REGDB_E_CLASSNOTREG}),
        SWEPT("user32.dll", SendMessageTimeoutW, 0, {"0, ERROR_TIMEOUT", O::AsIfNone, 0, ERROR_TIMEOUT}),
        SWEPT("user32.dll", SystemParametersInfoW, 0,
              {"FALSE, ERROR_ACCESS_DENIED", O::AsIfNone, FALSE, ERROR_ACCESS_DENIED}),
        OBJECT("QueryInterface IPersistFile", 0, {"E_NOINTERFACE", O::NotSaved, E_NOINTERFACE}),
        OBJECT("QueryInterface IShellLinkW", 0, {"E_NOINTERFACE", O::NotSaved, E_NOINTERFACE}),
        OBJECT("SetURL", 0, {"URL_E_INVALID_SYNTAX", O::NotSaved, URL_E_INVALID_SYNTAX}),
        OBJECT("SetIconLocation", Paths, {"E_OUTOFMEMORY", O::NotSaved, E_OUTOFMEMORY}),
        OBJECT("SetDescription", 0, {"E_OUTOFMEMORY", O::NotSaved, E_OUTOFMEMORY}),
        OBJECT("Save", Paths, {"E_ACCESSDENIED, a read-only file", O::NotSaved, E_ACCESSDENIED},
               {"ERROR_DISK_FULL", O::NotSaved, static_cast<LONG_PTR>(HRESULT_FROM_WIN32(ERROR_DISK_FULL))}),
    };
    return table;
}

size_t RowOf(std::string const& function)
{
    for (size_t row = 0; row < Table().size(); ++row)
        if (Table()[row].function == function)
            return row;
    SetupCheck(false, "no row in the sweep's table for", Utf16(function));
    return 0;
}

HRESULT WINAPI ObjectCall(LPCWSTR call, LPCWSTR argument)
{
    size_t const row = RowOf(Utf8(call));
    if (Table()[row].watch & Paths)
        KeepsToMaxPath(argument);
    Failure const* failure = Count(row);
    return failure ? static_cast<HRESULT>(failure->returns) : S_OK;
}

IClassFactory* Standin = nullptr;
decltype(&DllCanUnloadNow) StandinUnloadable = nullptr;

HRESULT WINAPI FromStandin(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object)
{
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_InternetShortcut));
    return Standin->CreateInstance(outer, iid, object);
}

int OverwriteAnswer = 0;
std::vector<std::string> Shown;

int WINAPI ScriptedBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    Shown.push_back(Utf8(text));
    return lstrcmpW(text, ExpectedQuestion) == 0 ? IDYES : lstrcmpW(text, ExpectedOverwrite) == 0 ? OverwriteAnswer : IDOK;
}

// Where the program is made to run from, and what the user answers.
struct Start {
    char const* name;
    // An older shortcut and a longer, older icon file are there, and a
    // crashed copy that had this process's ID left its longer new icon file.
    bool existing;
    int overwriteAnswer;
};
Start const Starts[] = {{"NoFiles", false, 0}, {"ExistingAnsweredYes", true, IDYES}, {"ExistingAnsweredNo", true, IDNO}};

std::string const OlderShortcut = "[InternetShortcut]\r\nURL=http://example.invalid/older\r\n";
std::string const OlderIcon(30000, 'i');
std::string const Image(reinterpret_cast<char const*>(IconImage), IconImageSize);

std::optional<std::string> FileBytes(std::wstring const& path)
{
    std::string bytes;
    return ReadBytes(path, bytes) ? std::optional<std::string>(bytes) : std::nullopt;
}

std::string Described(std::optional<std::string> const& bytes)
{
    return !bytes ? "absent" : *bytes == Image ? "IconImage" : std::to_string(bytes->size()) + " bytes";
}

struct Files {
    std::optional<std::string> shortcut;
    std::optional<std::string> icon;
};

Files FilesNow()
{
    return {FileBytes(DesktopFolder + L"\\" + ExpectedShortcutName),
            FileBytes(LocalAppDataFolder + L"\\" + ExpectedIconName)};
}

// What a folder holds besides the program's own two files, with the bytes of each.
std::vector<std::pair<std::wstring, std::string>> OtherFiles(std::wstring const& folder)
{
    std::vector<std::pair<std::wstring, std::string>> files;
    for (std::wstring const& name : NamesIn(folder))
        if (name != ExpectedShortcutName && name != ExpectedIconName)
            files.push_back({name, FileBytes(folder + L"\\" + name).value_or("a folder")});
    return files;
}

struct SweptRun {
    int exitCode = 0;
    std::vector<size_t> calls;
    Failure const* failed = nullptr;
    std::vector<std::string> shown;
    size_t handlesLeftOpen = 0;
    HRESULT unloadable = S_OK;  // S_FALSE while the object is still held
    bool refreshed = false;
    Files before;
    Files after;
    std::vector<std::pair<std::wstring, std::string>> othersBefore;
};

class FailureSweep : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::wstring const standin = CommandLinePath(L"standin");
        SetupCheck(!standin.empty(), "the sweep needs --standin=DLL");
        HMODULE const module = LoadLibraryW(standin.c_str());
        SetupCheck(module != nullptr, "LoadLibraryW", standin);
        auto const exported = [module](char const* name) {
            return reinterpret_cast<void (*)()>(GetProcAddress(module, name));
        };
        auto const getClassObject = reinterpret_cast<decltype(&DllGetClassObject)>(exported("DllGetClassObject"));
        auto const watchCalls = reinterpret_cast<StandinWatchCallsFunction>(exported("StandinWatchCalls"));
        StandinUnloadable = reinterpret_cast<decltype(&DllCanUnloadNow)>(exported("DllCanUnloadNow"));
        SetupCheck(getClassObject && watchCalls && StandinUnloadable
                       && SUCCEEDED(getClassObject(CLSID_InternetShortcut, IID_IClassFactory,
                                                   reinterpret_cast<void**>(&Standin))),
                   "the stand-in's exports", standin);
        watchCalls(ObjectCall);
        std::wstring const root = FreshTempFolder(L"quorvel-sweep");
        DesktopFolder = MakeFolderOfLength(root + L"\\Desktop", LongestDesktopFolder);
        LocalAppDataFolder = MakeFolderOfLength(root + L"\\Local", LongestLocalAppDataFolder);
        MissingFolder = root + L"\\not there";
    }

    // Arranges the start, then runs the entry with the calls counted and the
    // chosen one failed.
    static SweptRun RunFailing(Start const& start, size_t failAt, size_t failure)
    {
        for (std::wstring const& folder : {DesktopFolder, LocalAppDataFolder}) {
            RemoveTree(folder);
            MakeDirectories(folder);
        }
        if (start.existing) {
            WCHAR crashedCopys[16]{};
            wsprintfW(crashedCopys, L"\\~%08lX", GetCurrentProcessId());
            WriteBytes(DesktopFolder + L"\\" + ExpectedShortcutName, OlderShortcut);
            WriteBytes(LocalAppDataFolder + L"\\" + ExpectedIconName, OlderIcon);
            WriteBytes(LocalAppDataFolder + crashedCopys, std::string(40000, 'x'));
        }
        SweptRun run;
        run.before = FilesNow();
        run.othersBefore = OtherFiles(LocalAppDataFolder);
        OverwriteAnswer = start.overwriteAnswer;
        Shown.clear();
        OpenHandles.clear();
        {
            // Patching calls some of these itself: none of that counts.
            std::vector<std::unique_ptr<ImportPatch>> patches;
            HandedTo.assign(Table().size(), nullptr);
            for (size_t row = 0; row < Table().size(); ++row) {
                if (!Table()[row].dll)
                    continue;
                patches.push_back(std::make_unique<ImportPatch>(Table()[row].dll, Table()[row].function,
                                                                Table()[row].swept));
                HandedTo[row] = patches.back()->Original();
            }
            HandedTo[RowOf("MessageBoxW")] = reinterpret_cast<void*>(ScriptedBox);
            HandedTo[RowOf("CoCreateInstance")] = reinterpret_cast<void*>(FromStandin);
            Now = {failAt, failure, {}, nullptr};
            run.exitCode = wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
        }
        run.calls = Now.calls;
        run.failed = Now.failed;
        run.shown = Shown;
        run.handlesLeftOpen = OpenHandles.size();
        run.unloadable = StandinUnloadable();
        run.refreshed = std::count(run.calls.begin(), run.calls.end(), RowOf("SendMessageTimeoutW")) > 0;
        run.after = FilesNow();
        return run;
    }

    // What the user and the disk must show after the nth call of a run like
    // base failed that way.
    static void ExpectAsTold(SweptRun const& base, size_t n, Failure const& failure, SweptRun const& run)
    {
        EXPECT_EQ(run.failed, &failure) << "the run went another way than without the failure";
        size_t const boxesBefore = static_cast<size_t>(
            std::count(base.calls.begin(), base.calls.begin() + static_cast<std::ptrdiff_t>(n - 1), RowOf("MessageBoxW")));
        bool const boxLost = failure.outcome == Outcome::BoxLost;
        bool const overwriteLost = boxLost && base.shown[boxesBefore] == Utf8(ExpectedOverwrite);
        // Too late to change anything: a failure the program may ignore, or the outcome box.
        bool const asBase = failure.outcome == Outcome::AsIfNone || (boxLost && boxesBefore + 1 == base.shown.size());

        std::vector<std::string> boxes(base.shown.begin(), base.shown.begin() + static_cast<std::ptrdiff_t>(boxesBefore));
        if (failure.outcome == Outcome::AsIfNone)
            boxes = base.shown;
        else if (!boxLost || overwriteLost)
            boxes.push_back(Utf8(ExpectedNotCreated));
        EXPECT_EQ(run.shown, boxes);
        EXPECT_EQ(run.exitCode, boxLost && !overwriteLost ? 0 : IDOK);

        Files expected = asBase ? base.after : run.before;
        if (failure.outcome == Outcome::NotSaved)
            expected.icon = Image;
        EXPECT_TRUE(run.after.shortcut == expected.shortcut)
            << "the shortcut is " << Described(run.after.shortcut) << ", not " << Described(expected.shortcut);
        EXPECT_TRUE(run.after.icon == expected.icon)
            << "the icon file is " << Described(run.after.icon) << ", not " << Described(expected.icon);
        EXPECT_EQ(run.refreshed, asBase ? base.refreshed : failure.outcome == Outcome::NotSaved);

        EXPECT_EQ(run.handlesLeftOpen, 0u) << "handles left open";
        EXPECT_EQ(run.unloadable, S_OK) << "the shortcut object is still held";
        EXPECT_TRUE(OtherFiles(DesktopFolder).empty()) << "something else left on the desktop";
        // A crashed copy's leftover may go; nothing else may come or change.
        for (auto const& file : OtherFiles(LocalAppDataFolder))
            EXPECT_TRUE(std::find(run.othersBefore.begin(), run.othersBefore.end(), file) != run.othersBefore.end())
                << Utf8(file.first) << " left beside the icon";
    }
};

TEST_F(FailureSweep, EachCallFailingInTurnEndsAsTheUserIsTold)
{
    double const began = RigNowMs();
    size_t runs = 0;
    for (Start const& start : Starts) {
        // Run once without failures: it shows which calls there are to fail.
        SweptRun const base = RunFailing(start, 0, 0);
        ++runs;
        for (size_t n = 1; n <= base.calls.size(); ++n) {
            PlatformCall const& call = Table()[base.calls[n - 1]];
            for (size_t f = 0; f < call.failures.size(); ++f, ++runs) {
                SCOPED_TRACE(testing::Message() << start.name << ", call " << n << " failing: " << call.function
                                                << " gives " << call.failures[f].documented);
                ExpectAsTold(base, n, call.failures[f], RunFailing(start, n, f));
            }
        }
    }
    std::printf("%zu runs from %zu starts in %.0f ms\n", runs, std::size(Starts), RigNowMs() - began);
}

} // namespace
