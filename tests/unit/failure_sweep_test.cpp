// Every platform call of a whole run, and every call on the shortcut object,
// failed in turn: the Nth call fails the way Windows documents for it, for
// each N that a run without failures reaches, from three starting points.
// Each way of failing says what the user must then see and find on disk; and
// no run leaves a handle open or the object held, or hands a file call a path
// Windows would refuse. The entry runs in this process, its imports patched
// to count the calls; the boxes are answered by script, the folders are a
// throw-away pair as long as folders may be, and the shortcut object is the
// rig's stand-in, loaded in-process and watched.
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

struct Failure {
    char const* documented;
    Outcome outcome;
    LONG_PTR returns;
    DWORD error = 0;
    // The call does its work first (WriteFile: half of it; SHGetFolderPathW:
    // names a folder that is not there).
    bool after = false;
};

// What the sweep watches in a call besides counting it and the handles it returns.
unsigned const Paths = 1;   // its string arguments are file paths
unsigned const Closes = 2;  // it closes the handle it is given

struct PlatformCall {
    char const* dll;  // null for the shortcut object's own calls
    char const* function;
    void* swept;      // counts the call, then fails it or hands it on
    unsigned watch;
    std::vector<Failure> failures;
};

std::vector<PlatformCall> const& Table();

// A run: which call it fails how, and what it did.
struct SweptRun {
    size_t failAt = 0;  // 1-based; 0 fails none
    size_t failure = 0;
    Failure const* failed = nullptr;
    std::vector<size_t> calls{};  // rows of the table, in call order
    std::vector<std::string> objectCalls{};
    std::vector<std::string> shown{};  // the boxes: "question", "overwrite", "created", "not created"
    int exitCode = 0;
    std::optional<std::string> shortcutBefore{}, iconBefore{}, shortcut{}, icon{};
};
SweptRun Now;
std::set<HANDLE> OpenHandles;
// Per row, what a call is handed on to: the real function, or the script
// standing in for the user and the shortcut class.
std::vector<void*> HandedTo;

// Counts a call of that row; the failure to give when it is the one to fail.
Failure const* Count(size_t row)
{
    Now.calls.push_back(row);
    std::vector<Failure> const& failures = Table()[row].failures;
    if (Now.calls.size() != Now.failAt || failures.empty())
        return nullptr;
    return Now.failed = &failures[std::min(Now.failure, failures.size() - 1)];
}

// Windows takes at most 259 code units before the terminator (MAX_PATH, 260,
// counts it) unless the path begins with \\?\; Wine takes longer ones too:
// https://learn.microsoft.com/windows/win32/fileio/maximum-file-path-limitation
void Watch(unsigned watch, LPCWSTR path)
{
    if ((watch & Paths) && path && std::wcsncmp(path, L"\\\\?\\", 4) != 0 && std::wcslen(path) >= MAX_PATH)
        ADD_FAILURE() << "a path Windows refuses, " << std::wcslen(path) << " code units: " << Utf8(path);
}
void Watch(unsigned watch, HANDLE handle)
{
    if (watch & Closes)
        OpenHandles.erase(handle);
}
template <typename T>
void Watch(unsigned, T)
{
}

template <size_t Row, typename R, typename... A>
R WINAPI Swept(A... arguments)
{
    unsigned const watch = Table()[Row].watch;
    (Watch(watch, arguments), ...);
    Failure const* failure = Count(Row);
    if (!failure || failure->after) {
        R const result = reinterpret_cast<R(WINAPI*)(A...)>(HandedTo[Row])(arguments...);
        if constexpr (std::is_same_v<R, HANDLE>)
            if (result != INVALID_HANDLE_VALUE)
                OpenHandles.insert(result);
        if (!failure)
            return result;
    }
    SetLastError(failure->error);
    if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<R>(failure->returns);
    else
        return static_cast<R>(failure->returns);
}

template <size_t Row, typename R, typename... A>
void* SweptAs(R(WINAPI*)(A...))
{
    return reinterpret_cast<void*>(&Swept<Row, R, A...>);
}

size_t const WriteFileRow = 0;
BOOL WINAPI SweptWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    auto const handOn = reinterpret_cast<decltype(&WriteFile)>(HandedTo[WriteFileRow]);
    Failure const* failure = Count(WriteFileRow);
    if (!failure)
        return handOn(file, data, size, written, overlapped);
    *written = 0;
    if (failure->after)
        handOn(file, data, size / 2, written, overlapped);
    SetLastError(failure->error);
    return static_cast<BOOL>(failure->returns);
}

// Row numbers go on from WriteFile's.
constexpr int BaseRow = __COUNTER__;
#define SWEPT(DLL, FUNCTION, WATCH, ...) \
    {DLL, #FUNCTION, SweptAs<__COUNTER__ - BaseRow + WriteFileRow>(&FUNCTION), WATCH, {__VA_ARGS__}}
#define OBJECT(CALL, WATCH, ...) {nullptr, CALL, nullptr, WATCH, {__VA_ARGS__}}

using O = Outcome;

std::vector<PlatformCall> const& Table()
{
    static std::vector<PlatformCall> const table = {
        {"kernel32.dll", "WriteFile", reinterpret_cast<void*>(SweptWriteFile), 0,
         {{"FALSE, ERROR_DISK_FULL, none written", O::NotCreated, FALSE, ERROR_DISK_FULL},
          {"FALSE, ERROR_DISK_FULL, half written", O::NotCreated, FALSE, ERROR_DISK_FULL, true},
          {"TRUE, half written", O::NotCreated, TRUE, 0, true}}},
        SWEPT("shell32.dll", SHGetFolderPathW, 0, {"E_FAIL", O::NotCreated, E_FAIL},
              {"S_FALSE, not there", O::NotCreated, S_FALSE, 0, true}),
        SWEPT("kernel32.dll", GetModuleHandleW, 0, {"NULL, ERROR_MOD_NOT_FOUND", O::AsIfNone, 0, ERROR_MOD_NOT_FOUND}),
        SWEPT("kernel32.dll", GetProcAddress, 0, {"NULL, ERROR_PROC_NOT_FOUND", O::AsIfNone, 0, ERROR_PROC_NOT_FOUND}),
        SWEPT("user32.dll", MessageBoxW, 0, {"0, ERROR_NOT_ENOUGH_MEMORY", O::BoxLost, 0, ERROR_NOT_ENOUGH_MEMORY}),
        SWEPT("kernel32.dll", FindFirstFileW, Paths,
              {"INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED", O::NotCreated, -1, ERROR_ACCESS_DENIED},
              {"INVALID_HANDLE_VALUE, ERROR_NETWORK_UNREACHABLE", O::NotCreated, -1, ERROR_NETWORK_UNREACHABLE}),
        SWEPT("kernel32.dll", FindClose, Closes,
              {"FALSE, ERROR_INVALID_HANDLE, closed", O::AsIfNone, FALSE, ERROR_INVALID_HANDLE, true}),
        SWEPT("kernel32.dll", CreateFileW, Paths,
              {"INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED", O::NotCreated, -1, ERROR_ACCESS_DENIED}),
        SWEPT("kernel32.dll", FlushFileBuffers, 0, {"FALSE, ERROR_DISK_FULL", O::NotCreated, FALSE, ERROR_DISK_FULL}),
        // The handle is gone either way; the bytes are on disk already.
        SWEPT("kernel32.dll", CloseHandle, Closes,
              {"FALSE, ERROR_IO_DEVICE, closed", O::AsIfNone, FALSE, ERROR_IO_DEVICE, true}),
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

// The row of a call; the table's size for one the sweep neither counts nor fails.
size_t RowOf(std::string const& function)
{
    size_t row = 0;
    while (row < Table().size() && Table()[row].function != function)
        ++row;
    return row;
}

HRESULT WINAPI ObjectCall(LPCWSTR call, LPCWSTR text, LONG number)
{
    std::string const name = Utf8(call);
    Now.objectCalls.push_back(name + (text ? " \"" + Utf8(text) + "\" " : " ") + std::to_string(number));
    size_t const row = RowOf(name);
    if (row == Table().size())
        return S_OK;
    Watch(Table()[row].watch, text);
    Failure const* failure = Count(row);
    return failure ? static_cast<HRESULT>(failure->returns) : S_OK;
}

std::wstring DesktopFolder;
std::wstring LocalAppDataFolder;
std::wstring MissingFolder;

// The sweep's folders; the one that fails with S_FALSE is known but not there.
HRESULT WINAPI TheFolders(HWND, int csidl, HANDLE, DWORD, LPWSTR path)
{
    bool const failing = Now.calls.size() == Now.failAt;
    lstrcpynW(path, (failing ? MissingFolder : csidl == CSIDL_DESKTOPDIRECTORY ? DesktopFolder : LocalAppDataFolder).c_str(),
              MAX_PATH);
    return S_OK;
}

IClassFactory* Standin = nullptr;
decltype(&DllCanUnloadNow) StandinUnloadable = nullptr;

HRESULT WINAPI FromStandin(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object)
{
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_InternetShortcut) && IsEqualIID(iid, IID_IUniformResourceLocatorW));
    return Standin->CreateInstance(outer, iid, object);
}

int OverwriteAnswer = 0;

// Each box by what it says, so that a failure message reads plainly.
int WINAPI ScriptedBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    bool const question = lstrcmpW(text, ExpectedQuestion) == 0;
    bool const overwrite = lstrcmpW(text, ExpectedOverwrite) == 0;
    Now.shown.push_back(question    ? "question"
                        : overwrite ? "overwrite"
                        : lstrcmpW(text, ExpectedCreated) == 0 ? "created"
                        : lstrcmpW(text, ExpectedNotCreated) == 0 ? "not created"
                                                                  : Utf8(text));
    return question ? IDYES : overwrite ? OverwriteAnswer : IDOK;
}

// Where the program is made to run from, and what the user answers.
struct Start {
    char const* name;
    // An older shortcut and a longer, older icon file are there, and a copy
    // that crashed, with this process's ID, left its longer new icon file.
    bool existing;
    int overwriteAnswer;
};
Start const Starts[] = {{"NoFiles", false, 0}, {"ExistingAnsweredYes", true, IDYES}, {"ExistingAnsweredNo", true, IDNO}};

std::string const OlderShortcut = "[InternetShortcut]\r\nURL=http://example.invalid/older\r\n";
std::string const Image(reinterpret_cast<char const*>(IconImage), IconImageSize);
std::wstring ShortcutPath() { return DesktopFolder + L"\\" + ExpectedShortcutName; }
std::wstring IconPath() { return LocalAppDataFolder + L"\\" + ExpectedIconName; }

// A file's bytes; none when it is not there, or is a folder.
std::optional<std::string> FileBytes(std::wstring const& path)
{
    std::string bytes;
    return ReadBytes(path, bytes) ? std::optional<std::string>(bytes) : std::nullopt;
}

std::string Described(std::optional<std::string> const& bytes)
{
    return !bytes ? "absent" : *bytes == Image ? "IconImage" : std::to_string(bytes->size()) + " bytes";
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

    // Arranges the start, runs the entry with the calls counted and the
    // chosen one failed, and checks what every run must leave.
    static SweptRun RunFailing(Start const& start, size_t failAt, size_t failure)
    {
        for (std::wstring const& folder : {DesktopFolder, LocalAppDataFolder}) {
            RemoveTree(folder);
            MakeDirectories(folder);
        }
        if (start.existing) {
            WCHAR crashedCopys[16]{};
            wsprintfW(crashedCopys, L"\\~%08lX", GetCurrentProcessId());
            WriteBytes(ShortcutPath(), OlderShortcut);
            WriteBytes(IconPath(), std::string(30000, 'i'));
            WriteBytes(LocalAppDataFolder + crashedCopys, std::string(40000, 'x'));
        }
        auto const othersBefore = OtherFiles(LocalAppDataFolder);
        OverwriteAnswer = start.overwriteAnswer;
        OpenHandles.clear();
        Now = {.shortcutBefore = FileBytes(ShortcutPath()), .iconBefore = FileBytes(IconPath())};
        {
            // Patching calls some of these itself: none of that counts. What
            // the program does not import it cannot call: nothing to patch.
            std::vector<std::unique_ptr<ImportPatch>> patches;
            HandedTo.assign(Table().size(), nullptr);
            for (size_t row = 0; row < Table().size(); ++row) {
                PlatformCall const& call = Table()[row];
                if (call.dll)
                    HandedTo[row] =
                        patches.emplace_back(new ImportPatch(call.dll, call.function, call.swept, false))->Original();
            }
            HandedTo[RowOf("MessageBoxW")] = reinterpret_cast<void*>(ScriptedBox);
            HandedTo[RowOf("SHGetFolderPathW")] = reinterpret_cast<void*>(TheFolders);
            HandedTo[RowOf("CoCreateInstance")] = reinterpret_cast<void*>(FromStandin);
            Now.calls.clear();
            Now.failAt = failAt;
            Now.failure = failure;
            Now.exitCode = wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
        }
        Now.shortcut = FileBytes(ShortcutPath());
        Now.icon = FileBytes(IconPath());

        // Told "created" only beside a whole icon file; a missing folder is never made.
        bool const toldCreated = !Now.shown.empty() && Now.shown.back() == "created";
        EXPECT_TRUE(!toldCreated || Now.icon == Image) << "created, but the icon file is " << Described(Now.icon);
        EXPECT_FALSE(Exists(MissingFolder)) << "the missing folder was made";
        EXPECT_TRUE(OpenHandles.empty()) << OpenHandles.size() << " handles left open";
        EXPECT_EQ(StandinUnloadable(), S_OK) << "the shortcut object is still held";
        EXPECT_TRUE(OtherFiles(DesktopFolder).empty()) << "something else left on the desktop";
        // A crashed copy's leftover may go; nothing else may come or change.
        for (auto const& file : OtherFiles(LocalAppDataFolder))
            EXPECT_TRUE(std::find(othersBefore.begin(), othersBefore.end(), file) != othersBefore.end())
                << Utf8(file.first) << " left beside the icon";
        return Now;
    }

    static bool Refreshed(SweptRun const& run)
    {
        return std::count(run.calls.begin(), run.calls.end(), RowOf("SendMessageTimeoutW")) > 0;
    }

    // What the user and the disk must show after the nth call of a run like
    // base failed that way.
    static void ExpectAsTold(SweptRun const& base, size_t n, Failure const& failure, SweptRun const& run)
    {
        EXPECT_EQ(run.failed, &failure) << "the run went another way than without the failure";
        auto const failing = base.calls.begin() + static_cast<std::ptrdiff_t>(n - 1);
        size_t const boxesBefore = static_cast<size_t>(std::count(base.calls.begin(), failing, RowOf("MessageBoxW")));
        bool const boxLost = failure.outcome == Outcome::BoxLost;
        bool const overwriteLost = boxLost && base.shown[boxesBefore] == "overwrite";
        // Too late to change anything: a failure the program may ignore, or the outcome box.
        bool const asBase = failure.outcome == Outcome::AsIfNone || (boxLost && boxesBefore + 1 == base.shown.size());

        std::vector<std::string> boxes(base.shown.begin(), base.shown.begin() + static_cast<std::ptrdiff_t>(boxesBefore));
        if (failure.outcome == Outcome::AsIfNone)
            boxes = base.shown;
        else if (!boxLost || overwriteLost)
            boxes.push_back("not created");
        EXPECT_EQ(run.shown, boxes);
        EXPECT_EQ(run.exitCode, boxLost && !overwriteLost ? 0 : IDOK);

        auto const shortcut = asBase ? base.shortcut : run.shortcutBefore;
        auto const icon = asBase                                   ? base.icon
                          : failure.outcome == Outcome::NotSaved ? std::optional<std::string>(Image)
                                                                 : run.iconBefore;
        EXPECT_TRUE(run.shortcut == shortcut)
            << "the shortcut is " << Described(run.shortcut) << ", not " << Described(shortcut);
        EXPECT_TRUE(run.icon == icon) << "the icon file is " << Described(run.icon) << ", not " << Described(icon);
        EXPECT_EQ(Refreshed(run), asBase ? Refreshed(base) : failure.outcome == Outcome::NotSaved);
    }
};

TEST_F(FailureSweep, EachCallFailingInTurnEndsAsTheUserIsTold)
{
    double const began = RigNowMs();
    size_t runs = 0;
    for (Start const& start : Starts) {
        SCOPED_TRACE(start.name);
        // Run once without failures: it shows which calls there are to fail.
        SweptRun const base = RunFailing(start, 0, 0);
        SetupCheck(!base.calls.empty(), "the sweep saw no call: its patches took nothing");
        ++runs;
        // What the object is handed, when it is: the service, the icon file at
        // index 0, the description, the desktop's shortcut remembered; then
        // each interface let go, the persister first and the locator last.
        if (!base.objectCalls.empty()) {
            EXPECT_EQ(base.objectCalls, (std::vector<std::string>{
                                            "QueryInterface IPersistFile 0", "QueryInterface IShellLinkW 0",
                                            "SetURL \"" + Utf8(ExpectedUrl) + "\" 0",
                                            "SetIconLocation \"" + Utf8(IconPath()) + "\" 0",
                                            "SetDescription \"Quorvel\" 0", "Save \"" + Utf8(ShortcutPath()) + "\" 1",
                                            "Release IPersistFile 2", "Release IShellLinkW 1",
                                            "Release IUniformResourceLocatorW 0"}));
        }
        for (size_t n = 1; n <= base.calls.size(); ++n) {
            PlatformCall const& call = Table()[base.calls[n - 1]];
            for (size_t f = 0; f < call.failures.size(); ++f, ++runs) {
                SCOPED_TRACE(testing::Message() << "call " << n << " failing: " << call.function
                                                << " gives " << call.failures[f].documented);
                ExpectAsTold(base, n, call.failures[f], RunFailing(start, n, f));
            }
        }
    }
    std::printf("%zu runs from %zu starts in %.0f ms\n", runs, std::size(Starts), RigNowMs() - began);
}

} // namespace
