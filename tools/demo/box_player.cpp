// Runs the program for tools/run.sh, with the rig's stand-in registered for
// the shell's Internet Shortcut class, and tells where its files landed.
//   box_player --program=EXE --standin=DLL --rig-root=DIR
//       the user answers the boxes
//   box_player --program=EXE --standin=DLL --rig-root=DIR --shots=DIR
//       answers Yes, then OK, saving DIR\box-N.bmp of each box just before answering it
// Exits with 0 once the program has ended by itself, 1 if it had to be
// ended, 2 when it could not be started.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "rig/bitmap.h"
#include "rig/boxes.h"
#include "rig/command_line.h"
#include "rig/files.h"
#include "rig/player.h"
#include "rig/process.h"
#include "rig/world.h"

namespace {

// The console wants UTF-16; a pipe or a file gets UTF-8.
void Print(std::wstring const& text)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, done = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    std::string const bytes = Utf8(text);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

// What is on the screen where the box is, frame and all.
bool SaveScreenshot(HWND box, std::wstring const& path)
{
    RECT rect{};
    GetWindowRect(box, &rect);
    int const width = rect.right - rect.left;
    int const height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, previous);

    BITMAPINFO info{};
    info.bmiHeader = TopDownHeader(width, height);
    std::vector<DWORD> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    bool const copied = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS)
                        == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (copied)
        SaveBmp(path, width, height, pixels);
    return copied;
}

// Answers Yes where there is a Yes, else the box's one button, each box
// saved as a picture and described just before it is answered.
PlayedRun PlayWithPictures(std::wstring const& program, std::wstring const& shots)
{
    PlayStyle style;
    int shown = 0;
    style.beforeAnswer = [&](PROCESS_INFORMATION const&, HWND box, SeenBox const& seen) {
        // Lets the box finish drawing itself before it is taken.
        Sleep(700);
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(300);
        bool const saved = SaveScreenshot(box, shots + L"\\box-" + std::to_wstring(++shown) + L".bmp");
        bool const yes = !seen.buttons.empty() && seen.buttons.front() == IDYES;
        Print(L"    Box " + std::to_wstring(shown) + L": \u300c" + seen.caption + L"\u300d " + seen.text
              + (yes ? L"  [Yes] [No] -> Yes" : L"  [OK] -> OK") + (saved ? L"" : L"  (no screenshot)") + L"\n");
    };
    PlayedRun const run = PlayProgram(program, {L"", {IDYES, IDYES, IDYES}}, style);
    if (run.timedOut)
        Print(L"    The program did not finish in time; it was ended.\n");
    return run;
}

// Both names of a file: the Windows one and the Linux one Wine keeps it under.
void PrintPlace(wchar_t const* label, int csidl, wchar_t const* name)
{
    WCHAR folder[MAX_PATH]{};
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
        Print(std::wstring(label) + L": its folder could not be found\n");
        return;
    }
    std::wstring const path = std::wstring(folder) + L"\\" + name;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        Print(std::wstring(label) + L": none at " + path + L"\n");
        return;
    }
    Print(std::wstring(label) + L" (" + std::to_wstring(data.nFileSizeLow) + L" bytes)\n    Windows: " + path
          + L"\n");
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto const unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = unixName ? unixName(path.c_str()) : nullptr;
    if (!unixPath)
        return;
    std::wstring const linuxPath = Utf16(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    Print(L"    Linux:   " + linuxPath + L"\n");
}

} // namespace

int wmain()
{
    RigPaths const paths = RigPathsFromCommandLine();
    std::wstring const& program = paths.program;
    std::wstring const shots = CommandLinePath(L"shots");
    if (program.empty() || paths.standin.empty() || paths.rigRoot.empty()) {
        Print(L"usage: box_player --program=EXE --standin=DLL --rig-root=DIR [--shots=DIR]\n");
        return 2;
    }
    // Wine's own object has no IShellLinkW to take the icon, so the program
    // would only report not-created; the stand-in saves the shortcut instead.
    UseRigPaths(paths);
    UseStandinObject();

    DWORD exitCode = 0;
    bool finished = true;
    if (!shots.empty()) {
        PlayedRun const run = PlayWithPictures(program, shots);
        if (run.startError) {
            Print(L"The program could not be started: error " + std::to_wstring(run.startError) + L"\n");
            return 2;
        }
        exitCode = run.exitCode;
        finished = !run.timedOut;
    } else {
        PROCESS_INFORMATION process{};
        if (DWORD const error = StartProgram(program, L"", process)) {
            Print(L"The program could not be started: error " + std::to_wstring(error) + L"\n");
            return 2;
        }
        // The user answers; however long that takes.
        EndProgram(process, INFINITE, exitCode);
    }

    wchar_t const* const answers[] = {L"", L"OK", L"", L"", L"", L"", L"Yes", L"No"};
    std::wstring answer = exitCode < ARRAYSIZE(answers) ? answers[exitCode] : L"";
    Print(L"Exit code: " + std::to_wstring(exitCode) + (answer.empty() ? L"" : L" (the last answer: " + answer + L")")
          + L"\n");
    PrintPlace(L"Shortcut", CSIDL_DESKTOPDIRECTORY, L"Quorvel.url");
    PrintPlace(L"Icon file", CSIDL_LOCAL_APPDATA, L"gomri.ico");
    return finished ? 0 : 1;
}
