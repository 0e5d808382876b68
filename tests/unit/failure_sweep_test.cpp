// Every platform call of a whole run, and every call on the shortcut object,
// failed in turn the way Windows documents, from three starts, a test each.
// A start's run without failures ends as the start says; each way of failing
// says what the user must then see and find on disk; every run keeps the
// promised order, changes nothing on the drive but the two files, asks for
// no flag that defeats them, and leaves no handle open, no object held and
// no path Windows would refuse; nothing else is asked of the object. The entry
// runs in this process with its imports patched to log the calls; boxes and
// folders are scripted, and the shortcut object is the rig's stand-in, loaded
// here and watched.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
// Needs the COM declarations above.
#include <intshcut.h>
#include <isguids.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "import_patch.h"
#include "install/icon_image.h"
#include "rig/clock.h"
#include "rig/command_line.h"
#include "rig/disk_snapshot.h"
#include "rig/files.h"
#include "rig/setup_check.h"
#include "rig/shortcut_reader.h"
#include "rig/standin/standin_watch.h"
#include "rig/user_texts.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {

// What the user sees after the failure, and what is on disk.
enum class Outcome {
    AsIfNone,    // the same calls and the same end as without it: the program may ignore it
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
    // names a folder that is not there, or none at all).
    bool after = false;
};

// What the sweep notes of a call besides logging it.
enum Watch : unsigned {
    OnlyLogged = 0,
    InIconFolder = 1,  // its string arguments are paths in the icon file's folder
    SearchHandle = 2,  // it opens or closes a search handle
    FileHandle = 4,    // it opens or closes a file handle
    Closes = 8,        // it closes the handle it is given
    Shortcut = 16,     // it makes or uses the shortcut object
    Refresh = 32,      // it is part of the refresh
    Box = 64,          // it shows a box
    OnDesktop = 128,   // its string arguments are paths on the desktop
};

struct PlatformCall {
    char const* function;
    void* swept;  // logs the call, then fails it or hands it on; null for the object's own calls
    unsigned watch;
    std::vector<Failure> failures;
};

std::vector<PlatformCall> const& Table();

// The row of a call; the table's size for one the sweep does not log.
size_t RowOf(std::string_view function)
{
    size_t row = 0;
    while (row < Table().size() && Table()[row].function != function)
        ++row;
    return row;
}

// A call as the log keeps it.
struct Call {
    size_t row;
    std::wstring path{};      // its first path argument
    HANDLE handle = nullptr;  // the handle it was given or gave
    bool succeeded = true;    // for a call that answers TRUE or FALSE
    std::vector<unsigned long long> arguments{};  // each one's value, a pointer's address
};

// A run: which call it fails how, and what it did and left.
struct SweptRun {
    size_t failAt = 0, failure = 0;  // the call to fail, 1-based (0 fails none), and how
    Failure const* failed = nullptr;
    bool objectCallFailed = false;
    std::vector<Call> calls{};
    std::vector<std::string> objectCalls{};  // with their arguments, releases too
    std::vector<std::string> shown{};        // the boxes: "question", "overwrite", "created", "not created"
    int exitCode = 0;
    PathState shortcutBefore{}, iconBefore{}, shortcut{}, icon{};
};
SweptRun CurrentRun;
// The handles the program holds, each with the kind it was opened as.
std::map<HANDLE, unsigned> OpenHandles;
// Per row, what a call is handed on to: the real function, or the script
// standing in for the user, the folders and the shortcut class.
std::vector<void*> HandedTo;

// Flags that Wine takes without a sign but Windows obeys, each held to what
// it is there for rather than to one value.
struct FlagRule {
    char const* function;
    size_t argument;
    unsigned long long required, refused;
    char const* serves;
};
FlagRule const FlagRules[] = {
    {"SHGetFolderPathW", 1, 0, CSIDL_FLAG_CREATE, "a folder that is not there is never made"},
    {"CreateFileW", 5, 0,
     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ENCRYPTED
         | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_NO_BUFFERING,
     "the new icon file is a plain file, buffered as usual"},
    {"MoveFileExW", 2, MOVEFILE_WRITE_THROUGH, 0, "the icon file is in place on disk before the user hears of it"},
};

// Logs a call; the failure to give when it is the one to fail.
Failure const* LogCall(Call call)
{
    for (FlagRule const& rule : FlagRules)
        if (Table()[call.row].function == std::string_view(rule.function)) {
            unsigned long long const flags = call.arguments.at(rule.argument);
            EXPECT_TRUE((flags & rule.required) == rule.required && !(flags & rule.refused))
                << rule.function << " given flags 0x" << std::hex << flags << ": " << rule.serves;
        }
    CurrentRun.calls.push_back(std::move(call));
    std::vector<Failure> const& failures = Table()[CurrentRun.calls.back().row].failures;
    if (CurrentRun.calls.size() != CurrentRun.failAt || failures.empty())
        return nullptr;
    return CurrentRun.failed = &failures[std::min(CurrentRun.failure, failures.size() - 1)];
}

std::wstring DesktopFolder;
std::wstring LocalAppDataFolder;
std::wstring MissingFolder;

bool InFolder(std::wstring_view path, std::wstring const& folder)
{
    return path.substr(0, path.rfind(L'\\') + 1) == folder + L"\\";
}

template <typename T>
void Note(Call& call, T const& argument)
{
    if constexpr (std::is_pointer_v<T>)
        call.arguments.push_back(reinterpret_cast<unsigned long long>(argument));
    else if constexpr (std::is_integral_v<T>)
        call.arguments.push_back(static_cast<unsigned long long>(argument));
    else
        call.arguments.push_back(0);  // a GUID, not a number
}
// Windows takes at most 259 code units before the terminator (MAX_PATH, 260,
// counts it) unless the path begins with \\?\; Wine takes longer ones too:
// https://learn.microsoft.com/windows/win32/fileio/maximum-file-path-limitation
// Each file the program touches lies right in its own folder, nowhere else.
void Note(Call& call, LPCWSTR path)
{
    Note<LPCWSTR>(call, path);
    unsigned const watch = Table()[call.row].watch;
    if (!(watch & (InIconFolder | OnDesktop)) || !path)
        return;
    if (std::wcsncmp(path, L"\\\\?\\", 4) != 0 && std::wcslen(path) >= MAX_PATH)
        ADD_FAILURE() << "a path Windows refuses, " << std::wcslen(path) << " code units: " << Utf8(path);
    EXPECT_TRUE(InFolder(path, watch & InIconFolder ? LocalAppDataFolder : DesktopFolder))
        << Table()[call.row].function << " given " << Utf8(path) << ", not in "
        << (watch & InIconFolder ? "the icon file's folder" : "the desktop folder");
    if (call.path.empty())
        call.path = path;
}
// Windows closes a handle only by the call that matches how it was opened:
// CloseHandle fails on a search handle, and the search stays open.
void Note(Call& call, HANDLE handle)
{
    Note<HANDLE>(call, handle);
    call.handle = handle;
    unsigned const watch = Table()[call.row].watch;
    auto const open = OpenHandles.find(handle);
    if (!(watch & Closes) || open == OpenHandles.end())
        return;
    EXPECT_EQ(open->second, watch & (SearchHandle | FileHandle))
        << Table()[call.row].function << " given a handle of another kind";
    OpenHandles.erase(open);
}

// A function's name as a template argument: each replacement finds its row by it.
template <size_t Size>
struct FunctionName {
    char text[Size];
    constexpr FunctionName(char const (&name)[Size]) { std::copy_n(name, Size, text); }
};

template <FunctionName Function, typename R, typename... A>
R WINAPI Swept(A... arguments)
{
    static size_t const row = RowOf(Function.text);
    auto const handOn = reinterpret_cast<R(WINAPI*)(A...)>(HandedTo[row]);
    Call call{row};
    (Note(call, arguments), ...);
    Failure const* failure = LogCall(std::move(call));
    size_t const at = CurrentRun.calls.size() - 1;
    if constexpr (std::is_void_v<R>) {
        return handOn(arguments...);
    } else {
        R result{};
        if (!failure || failure->after)
            result = handOn(arguments...);
        if (failure) {
            SetLastError(failure->error);
            if constexpr (std::is_pointer_v<R>)
                result = reinterpret_cast<R>(failure->returns);
            else
                result = static_cast<R>(failure->returns);
        }
        Call& logged = CurrentRun.calls[at];
        if constexpr (std::is_same_v<R, HANDLE>) {
            logged.handle = result;
            if (result != INVALID_HANDLE_VALUE)
                OpenHandles[result] = Table()[row].watch & (SearchHandle | FileHandle);
        }
        if constexpr (std::is_same_v<R, BOOL>)
            logged.succeeded = result != FALSE;
        return result;
    }
}

template <FunctionName Function, typename R, typename... A>
void* SweptAs(R(WINAPI*)(A...))
{
    return reinterpret_cast<void*>(&Swept<Function, R, A...>);
}

#define SWEPT(FUNCTION, WATCH, ...) {#FUNCTION, SweptAs<#FUNCTION>(&FUNCTION), WATCH, {__VA_ARGS__}}
#define OBJECT(CALL, WATCH, ...) {CALL, nullptr, Shortcut | WATCH, {__VA_ARGS__}}

std::vector<PlatformCall> const& Table()
{
    using enum Outcome;
    static std::vector<PlatformCall> const table = {
        SWEPT(SHGetFolderPathW, OnlyLogged, {"E_FAIL", NotCreated, E_FAIL}, {"S_FALSE, not there", NotCreated, S_FALSE, 0, true},
              {"S_OK, an empty path", NotCreated, S_OK, 0, true}),
        SWEPT(GetModuleHandleW, OnlyLogged, {"NULL, ERROR_MOD_NOT_FOUND", AsIfNone, 0, ERROR_MOD_NOT_FOUND}),
        SWEPT(GetProcAddress, OnlyLogged, {"NULL, ERROR_PROC_NOT_FOUND", AsIfNone, 0, ERROR_PROC_NOT_FOUND}),
        SWEPT(MessageBoxW, Box, {"0, ERROR_NOT_ENOUGH_MEMORY", BoxLost, 0, ERROR_NOT_ENOUGH_MEMORY}),
        SWEPT(FindFirstFileW, OnDesktop | SearchHandle,
              {"INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED", NotCreated, -1, ERROR_ACCESS_DENIED},
              {"INVALID_HANDLE_VALUE, ERROR_NETWORK_UNREACHABLE", NotCreated, -1, ERROR_NETWORK_UNREACHABLE},
              {"INVALID_HANDLE_VALUE, no error code", NotCreated, -1, ERROR_SUCCESS}),
        SWEPT(FindClose, SearchHandle | Closes, {"FALSE, ERROR_INVALID_HANDLE, closed", AsIfNone, FALSE, ERROR_INVALID_HANDLE, true}),
        SWEPT(CreateFileW, InIconFolder | FileHandle, {"INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED", NotCreated, -1, ERROR_ACCESS_DENIED}),
        SWEPT(WriteFile, OnlyLogged, {"FALSE, ERROR_DISK_FULL, none written", NotCreated, FALSE, ERROR_DISK_FULL},
              {"FALSE, ERROR_DISK_FULL, half written", NotCreated, FALSE, ERROR_DISK_FULL, true},
              {"TRUE, half written", NotCreated, TRUE, 0, true}),
        SWEPT(FlushFileBuffers, OnlyLogged, {"FALSE, ERROR_DISK_FULL", NotCreated, FALSE, ERROR_DISK_FULL}),
        // The handle is gone either way; the bytes are on disk already.
        SWEPT(CloseHandle, FileHandle | Closes, {"FALSE, ERROR_IO_DEVICE, closed", AsIfNone, FALSE, ERROR_IO_DEVICE, true}),
        SWEPT(MoveFileExW, InIconFolder, {"FALSE, ERROR_ACCESS_DENIED", NotCreated, FALSE, ERROR_ACCESS_DENIED}),
        // Only ever after another failure, so never the one to fail; watched for its path.
        SWEPT(DeleteFileW, InIconFolder),
        SWEPT(CoCreateInstance, Shortcut, {"REGDB_E_CLASSNOTREG", NotSaved, REGDB_E_CLASSNOTREG}),
        OBJECT("QueryInterface IPersistFile", OnlyLogged, {"E_NOINTERFACE", NotSaved, E_NOINTERFACE}),
        OBJECT("QueryInterface IShellLinkW", OnlyLogged, {"E_NOINTERFACE", NotSaved, E_NOINTERFACE}),
        OBJECT("SetURL", OnlyLogged, {"URL_E_INVALID_SYNTAX", NotSaved, URL_E_INVALID_SYNTAX}),
        OBJECT("SetIconLocation", InIconFolder, {"E_OUTOFMEMORY", NotSaved, E_OUTOFMEMORY}),
        OBJECT("SetDescription", OnlyLogged, {"E_OUTOFMEMORY", NotSaved, E_OUTOFMEMORY}),
        OBJECT("Save", OnDesktop, {"E_ACCESSDENIED, a read-only file", NotSaved, E_ACCESSDENIED},
               {"ERROR_DISK_FULL", NotSaved, static_cast<LONG_PTR>(HRESULT_FROM_WIN32(ERROR_DISK_FULL))}),
        // Nothing to fail: it answers nothing.
        SWEPT(SHChangeNotify, Refresh),
        SWEPT(SendMessageTimeoutW, Refresh, {"0, ERROR_TIMEOUT", AsIfNone, 0, ERROR_TIMEOUT}),
        SWEPT(SystemParametersInfoW, Refresh, {"FALSE, ERROR_ACCESS_DENIED", AsIfNone, FALSE, ERROR_ACCESS_DENIED}),
    };
    return table;
}

// Once a call on the object has failed only releases follow, and the second
// interface request, which is made either way, whatever the stand-in would do.
HRESULT WINAPI ObjectCall(LPCWSTR name, LPCWSTR text, LONG number)
{
    std::string const call = Utf8(name);
    CurrentRun.objectCalls.push_back(call + (text ? " \"" + Utf8(text) + "\" " : " ") + std::to_string(number));
    if (CurrentRun.objectCallFailed && !call.starts_with("Release ") && !call.starts_with("QueryInterface "))
        ADD_FAILURE() << call << " after a call on the object failed";
    size_t const row = RowOf(call);
    // Nothing else is asked of it: a hotkey, a show command or the site opened would reach the user.
    if (row == Table().size()) {
        EXPECT_TRUE(call.starts_with("Release ")) << call << ": a call on the shortcut object the program has no use for";
        return S_OK;
    }
    Call logged{row};
    Note(logged, text);
    Failure const* failure = LogCall(std::move(logged));
    CurrentRun.objectCallFailed |= failure != nullptr;
    return failure ? static_cast<HRESULT>(failure->returns) : S_OK;
}

// The sweep's folders; the one that fails with S_FALSE is known but not
// there, the one that fails with S_OK names none.
HRESULT WINAPI ScriptedFolders(HWND, int csidl, HANDLE, DWORD, LPWSTR path)
{
    std::wstring folder = (csidl & ~CSIDL_FLAG_MASK) == CSIDL_DESKTOPDIRECTORY ? DesktopFolder : LocalAppDataFolder;
    if (CurrentRun.calls.size() == CurrentRun.failAt)
        folder = CurrentRun.failed->returns == S_OK ? L"" : MissingFolder;
    lstrcpynW(path, folder.c_str(), MAX_PATH);
    return S_OK;
}

decltype(&WriteFile) RealWriteFile = nullptr;

// The write that fails writes half of what it is given first.
BOOL WINAPI WriteHalfWhenFailing(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    bool const failing = CurrentRun.calls.size() == CurrentRun.failAt;
    return RealWriteFile(file, data, failing ? size / 2 : size, written, overlapped);
}

IClassFactory* Standin = nullptr;
decltype(&DllCanUnloadNow) StandinUnloadable = nullptr;

HRESULT WINAPI CreateStandinObject(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object)
{
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_InternetShortcut) && IsEqualIID(iid, IID_IUniformResourceLocatorW));
    return Standin->CreateInstance(outer, iid, object);
}

int OverwriteAnswer = 0;

// Each box by what it says, so that a failure message reads plainly.
int WINAPI ScriptedBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    std::wstring_view const shown = text;
    CurrentRun.shown.push_back(shown == ExpectedQuestion      ? "question"
                               : shown == ExpectedOverwrite   ? "overwrite"
                               : shown == ExpectedCreated     ? "created"
                               : shown == ExpectedNotCreated  ? "not created"
                                                              : Utf8(text));
    return shown == ExpectedQuestion ? IDYES : shown == ExpectedOverwrite ? OverwriteAnswer : IDOK;
}

// Where the program is made to run from, what the user answers, and the
// boxes a run without failures shows.
struct Start {
    char const* name;
    // An older shortcut and a longer, older icon file are there, and a copy
    // that crashed left its longer new icon file where this run puts its own.
    bool existing;
    int overwriteAnswer;
    std::vector<std::string> boxes;
};
Start const Starts[] = {
    {"NoFiles", false, 0, {"question", "created"}},
    {"ExistingAnsweredYes", true, IDYES, {"question", "overwrite", "created"}},
    {"ExistingAnsweredNo", true, IDNO, {"question", "overwrite", "not created"}},
};

void PrintTo(Start const& start, std::ostream* out)
{
    *out << start.name;
}

std::string const OlderShortcut = "[InternetShortcut]\r\nURL=http://example.invalid/older\r\n";
PathState const WholeIconFile{PathState::File, std::string(reinterpret_cast<char const*>(IconImage), IconImageSize)};
std::wstring ShortcutPath() { return DesktopFolder + L"\\" + ExpectedShortcutName; }
std::wstring IconPath() { return LocalAppDataFolder + L"\\" + ExpectedIconName; }

std::string Described(PathState const& state)
{
    return state.kind == PathState::Absent   ? "absent"
           : state.kind == PathState::Folder ? "a folder"
           : state == WholeIconFile          ? "IconImage"
                                             : std::to_string(state.bytes.size()) + " bytes";
}

// The calls that are all of watch (every one for 0): the function, and a
// refresh call's arguments in hex.
std::vector<std::string> Listed(std::vector<Call> const& calls, unsigned watch = 0)
{
    std::vector<std::string> listed;
    for (Call const& call : calls) {
        if ((Table()[call.row].watch & watch) != watch)
            continue;
        std::string& text = listed.emplace_back(Table()[call.row].function);
        for (size_t i = 0; Table()[call.row].watch & Refresh && i < call.arguments.size(); ++i) {
            char hex[24]{};
            std::snprintf(hex, sizeof(hex), " 0x%llX", call.arguments[i]);
            text += hex;
        }
    }
    return listed;
}

// What the README promises of the order, held of every run: the new icon
// file moves into place only once flushed after its last write, and closed;
// the refresh follows everything done with the shortcut and precedes the
// outcome box.
void ExpectInPromisedOrder(std::vector<Call> const& calls)
{
    Call newFile{Table().size()};
    bool flushed = false, closed = false;
    for (Call const& call : calls) {
        if (call.row == RowOf("CreateFileW")) {
            newFile = call;
            flushed = closed = false;
        } else if (call.row == RowOf("MoveFileExW")) {
            EXPECT_TRUE(call.path == newFile.path && flushed && closed)
                << Utf8(call.path) << " moved: " << (call.path == newFile.path ? "" : "not the file just created, ")
                << (flushed ? "" : "no successful flush after its last write, ") << (closed ? "closed" : "still open");
        } else if (call.handle == newFile.handle) {
            if (call.row == RowOf("WriteFile") || call.row == RowOf("FlushFileBuffers"))
                flushed = call.row == RowOf("FlushFileBuffers") && call.succeeded;
            closed = closed || call.row == RowOf("CloseHandle");
        }
    }
    auto const watched = [](unsigned watch) { return [watch](Call const& call) { return Table()[call.row].watch & watch; }; };
    auto const refresh = std::find_if(calls.begin(), calls.end(), watched(Refresh));
    EXPECT_TRUE(std::none_of(refresh, calls.end(), watched(Shortcut))) << "the refresh began before the shortcut was done with";
    auto const afterLastBox = std::find_if(calls.rbegin(), calls.rend(), watched(Box)).base();
    EXPECT_TRUE(std::none_of(afterLastBox, calls.end(), watched(Refresh))) << "the refresh ended after the outcome box";
}

class FailureSweep : public testing::TestWithParam<Start> {
protected:
    static void SetUpTestSuite()
    {
        if (Standin)
            return;
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
        // A path that lost its folder lands on this drive's root: the prefix's, not the host's.
        SetupCheck(SetCurrentDirectoryW(root.c_str()), "SetCurrentDirectoryW", root);
        DesktopFolder = MakeFolderOfLength(root + L"\\Desktop", LongestDesktopFolder);
        LocalAppDataFolder = MakeFolderOfLength(root + L"\\Local", LongestLocalAppDataFolder);
        MissingFolder = root + L"\\not there";
    }

    // Where the program's own run without failures creates its new icon file,
    // as its CreateFileW names it: where a crashed copy of it would have left one.
    static std::wstring const& NewIconFilePath()
    {
        static std::wstring const path = [] {
            for (Call const& call : RunFailing(Starts[0], 0, 0).calls)
                if (call.row == RowOf("CreateFileW") && InFolder(call.path, LocalAppDataFolder))
                    return call.path;
            ADD_FAILURE() << "a run without failures created no file beside the icon file";
            return std::wstring();
        }();
        return path;
    }

    // Arranges the start, runs the entry with the calls logged and the
    // chosen one failed, and checks what every run must leave.
    static SweptRun RunFailing(Start const& start, size_t failAt, size_t failure)
    {
        std::wstring const leftover = start.existing ? NewIconFilePath() : L"";
        for (std::wstring const& folder : {DesktopFolder, LocalAppDataFolder}) {
            RemoveTree(folder);
            MakeDirectories(folder);
        }
        if (start.existing) {
            WriteBytes(ShortcutPath(), OlderShortcut);
            WriteBytes(IconPath(), std::string(30000, 'i'));
            if (!leftover.empty())
                WriteBytes(leftover, std::string(40000, 'x'));
        }
        DiskSnapshot const diskBefore = TakeDriveSnapshot();
        OverwriteAnswer = start.overwriteAnswer;
        OpenHandles.clear();
        CurrentRun = {.shortcutBefore = StateOf(ShortcutPath()), .iconBefore = StateOf(IconPath())};
        {
            // Patching calls some of these itself: none of that counts. What
            // the program does not import it cannot call: nothing to patch.
            std::vector<std::unique_ptr<ImportPatch>> patches;
            HandedTo.assign(Table().size(), nullptr);
            for (size_t row = 0; row < Table().size(); ++row) {
                PlatformCall const& call = Table()[row];
                if (call.swept)
                    HandedTo[row] = patches.emplace_back(new ImportPatch(call.function, call.swept))->Original();
            }
            HandedTo[RowOf("MessageBoxW")] = reinterpret_cast<void*>(ScriptedBox);
            HandedTo[RowOf("SHGetFolderPathW")] = reinterpret_cast<void*>(ScriptedFolders);
            HandedTo[RowOf("CoCreateInstance")] = reinterpret_cast<void*>(CreateStandinObject);
            RealWriteFile = reinterpret_cast<decltype(&WriteFile)>(HandedTo[RowOf("WriteFile")]);
            HandedTo[RowOf("WriteFile")] = reinterpret_cast<void*>(WriteHalfWhenFailing);
            CurrentRun.calls.clear();
            CurrentRun.failAt = failAt;
            CurrentRun.failure = failure;
            CurrentRun.exitCode = wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
        }
        CurrentRun.shortcut = StateOf(ShortcutPath());
        CurrentRun.icon = StateOf(IconPath());

        // Told "created" only beside a whole icon file.
        bool const toldCreated = !CurrentRun.shown.empty() && CurrentRun.shown.back() == "created";
        EXPECT_TRUE(!toldCreated || CurrentRun.icon == WholeIconFile)
            << "created, but the icon file is " << Described(CurrentRun.icon);
        EXPECT_TRUE(OpenHandles.empty()) << OpenHandles.size() << " handles left open";
        EXPECT_EQ(StandinUnloadable(), S_OK) << "the shortcut object is still held";
        // Nothing but the two files changes, no missing folder is made; a
        // crashed copy's leftover may go.
        for (std::string const& change : DiskChanges(diskBefore, TakeDriveSnapshot(), {ShortcutPath(), IconPath()}))
            EXPECT_TRUE(change.starts_with(Utf8(leftover) + " disappeared")) << change;
        ExpectInPromisedOrder(CurrentRun.calls);
        return CurrentRun;
    }

    // A run without failures ends as its start says: the boxes, the exit code,
    // both files (read back at once, before the next run), the refresh, and
    // what the object is handed, each interface let go in the promised order.
    static void ExpectEndsAsTheStartSays(Start const& start, SweptRun const& run)
    {
        bool const created = start.boxes.back() == "created";
        EXPECT_EQ(run.shown, start.boxes);
        EXPECT_EQ(run.exitCode, IDOK);
        EXPECT_TRUE(run.icon == (created ? WholeIconFile : run.iconBefore)) << "the icon file is " << Described(run.icon);
        if (created) {
            EXPECT_EQ(ReadBackDifferences(ShortcutPath(), IconPath()), "");
        } else {
            EXPECT_TRUE(run.shortcut == run.shortcutBefore) << "the shortcut is " << Described(run.shortcut);
        }
        // Each bounded broadcast gives up on a hung window after 5 s (0x1388 ms).
        std::vector<std::string> const refresh = {
            "SHChangeNotify 0x8000000 0x1000 0x0 0x0", "SHChangeNotify 0x7FFFFFFF 0x1000 0x0 0x0",
            "SendMessageTimeoutW 0xFFFF 0x1A 0x2A 0x0 0x2 0x1388 0x0", "SystemParametersInfoW 0x58 0x0 0x0 0x0",
            "SendMessageTimeoutW 0xFFFF 0x1A 0x58 0x0 0x2 0x1388 0x0"};
        EXPECT_EQ(Listed(run.calls, Refresh), created ? refresh : std::vector<std::string>{});
        std::vector<std::string> const handed = {
            "QueryInterface IPersistFile 0", "QueryInterface IShellLinkW 0", "SetURL \"" + Utf8(ExpectedUrl) + "\" 0",
            "SetIconLocation \"" + Utf8(IconPath()) + "\" 0", "SetDescription \"Quorvel\" 0", "Save \"" + Utf8(ShortcutPath()) + "\" 1",
            "Release IPersistFile 2", "Release IShellLinkW 1", "Release IUniformResourceLocatorW 0"};
        EXPECT_EQ(run.objectCalls, created ? handed : std::vector<std::string>{});
    }

    // What the user and the disk must show after the nth call of a run like
    // base failed that way.
    static void ExpectAsTold(SweptRun const& base, size_t n, Failure const& failure, SweptRun const& run)
    {
        EXPECT_EQ(run.failed, &failure) << "the run went another way than without the failure";
        auto const failing = base.calls.begin() + static_cast<std::ptrdiff_t>(n - 1);
        auto const boxesBefore = static_cast<size_t>(
            std::count_if(base.calls.begin(), failing, [](Call const& call) { return call.row == RowOf("MessageBoxW"); }));
        bool const boxLost = failure.outcome == Outcome::BoxLost;
        bool const overwriteLost = boxLost && base.shown[boxesBefore] == "overwrite";
        // Too late to change anything: a failure the program may ignore, or the outcome box.
        bool const asBase = failure.outcome == Outcome::AsIfNone || (boxLost && boxesBefore + 1 == base.shown.size());

        std::vector<std::string> boxes(base.shown.begin(), base.shown.begin() + static_cast<std::ptrdiff_t>(boxesBefore));
        if (failure.outcome == Outcome::AsIfNone) {
            boxes = base.shown;
            EXPECT_EQ(Listed(run.calls), Listed(base.calls)) << "the calls after an ignored failure changed";
        } else if (!boxLost || overwriteLost) {
            boxes.push_back("not created");
        }
        EXPECT_EQ(run.shown, boxes);
        EXPECT_EQ(run.exitCode, boxLost && !overwriteLost ? 0 : IDOK);

        PathState const& shortcut = asBase ? base.shortcut : run.shortcutBefore;
        PathState const& icon = asBase                                 ? base.icon
                                : failure.outcome == Outcome::NotSaved ? WholeIconFile
                                                                       : run.iconBefore;
        EXPECT_TRUE(run.shortcut == shortcut)
            << "the shortcut is " << Described(run.shortcut) << ", not " << Described(shortcut);
        EXPECT_TRUE(run.icon == icon) << "the icon file is " << Described(run.icon) << ", not " << Described(icon);
        bool const refreshed = asBase ? !Listed(base.calls, Refresh).empty() : failure.outcome == Outcome::NotSaved;
        EXPECT_EQ(Listed(run.calls, Refresh), refreshed ? Listed(base.calls, Refresh) : std::vector<std::string>{});
    }
};

TEST_P(FailureSweep, EachCallFailingInTurnEndsAsTheUserIsTold)
{
    Start const& start = GetParam();
    double const began = RigNowMs();
    SweptRun const base = RunFailing(start, 0, 0);
    ExpectEndsAsTheStartSays(start, base);
    size_t runs = 1;
    for (size_t n = 1; n <= base.calls.size(); ++n) {
        PlatformCall const& call = Table()[base.calls[n - 1].row];
        for (size_t f = 0; f < call.failures.size(); ++f, ++runs) {
            SCOPED_TRACE(testing::Message() << start.name << ": call " << n << " failing: " << call.function
                                            << " gives " << call.failures[f].documented);
            ExpectAsTold(base, n, call.failures[f], RunFailing(start, n, f));
        }
    }
    std::printf("%s: %zu runs in %.0f ms\n", start.name, runs, RigNowMs() - began);
}

INSTANTIATE_TEST_SUITE_P(Starts, FailureSweep, testing::ValuesIn(Starts),
                         [](testing::TestParamInfo<Start> const& param) { return param.param.name; });

using EveryWayOfFailing = FailureSweep;

// A row no start reaches would fail nothing and pass without a word: the
// program may have moved to another call, and the table must follow it.
TEST_F(EveryWayOfFailing, IsTriedFromSomeStart)
{
    std::vector<bool> reached(Table().size());
    for (Start const& start : Starts)
        for (Call const& call : RunFailing(start, 0, 0).calls)
            reached[call.row] = true;
    for (size_t row = 0; row < Table().size(); ++row)
        EXPECT_TRUE(reached[row] || Table()[row].failures.empty())
            << Table()[row].function << " is called from no start, or not imported at all";
}

} // namespace
