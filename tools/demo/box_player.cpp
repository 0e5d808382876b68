// Runs the program for tools/run.sh and tells where its files landed.
//   box_player run PROGRAM           the user answers the boxes
//   box_player play SHOTS PROGRAM    answers Yes, then OK, saving SHOTS\box-N.bmp
//                                    of each box just before answering it
// Exits with 0 once the program has ended by itself, 3 if it had to be ended.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "user_player.h"

namespace {

// Where a message box keeps its text.
int const MessageTextId = 0xFFFF;

// The console wants UTF-16; a pipe or a file gets UTF-8.
void Print(std::wstring const& text)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, done = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    int const length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                        nullptr);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

std::wstring WindowText(HWND window)
{
    WCHAR text[1024]{};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

// What is on the screen where the box is, frame and all, as a 24-bit BMP.
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

    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    DWORD const stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(static_cast<size_t>(stride) * static_cast<size_t>(height), '\0');
    bool const copied = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                                  reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS)
                        == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!copied)
        return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0, total = 0;
    WriteFile(out, &file, sizeof(file), &written, nullptr);
    total += written;
    WriteFile(out, &header, sizeof(header), &written, nullptr);
    total += written;
    WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
    total += written;
    CloseHandle(out);
    return total == file.bfSize;
}

// Clicks Yes where there is one, else the box's only button.
void Answer(HWND box)
{
    int const answer = GetDlgItem(box, IDYES) ? IDYES : IDOK;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
}

// Plays every box the program shows until it exits; gives up after a minute.
bool Play(PROCESS_INFORMATION const& process, std::wstring const& shots)
{
    HWND answered = nullptr;
    int shown = 0;
    for (ULONGLONG const deadline = GetTickCount64() + 60000; GetTickCount64() < deadline; Sleep(20)) {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0)
            return true;
        if (answered && IsWindow(answered))
            continue;
        HWND box = FindBoxOf(process.dwProcessId);
        if (!box)
            continue;
        // Lets the box finish drawing itself before it is taken.
        Sleep(700);
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(300);
        std::wstring const shot = shots + L"\\box-" + std::to_wstring(++shown) + L".bmp";
        bool const saved = SaveScreenshot(box, shot);
        bool const yes = GetDlgItem(box, IDYES) != nullptr;
        Print(L"    Box " + std::to_wstring(shown) + L": \u300c" + WindowText(box) + L"\u300d "
              + WindowText(GetDlgItem(box, MessageTextId)) + (yes ? L"  [Yes] [No] -> Yes" : L"  [OK] -> OK")
              + (saved ? L"" : L"  (no screenshot)") + L"\n");
        Answer(box);
        answered = box;
    }
    Print(L"    The program did not finish within a minute; ending it.\n");
    TerminateProcess(process.hProcess, 0xDEAD);
    WaitForSingleObject(process.hProcess, 5000);
    return false;
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
    int const length = MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, wide.data(), length);
    wide.pop_back();
    HeapFree(GetProcessHeap(), 0, unixPath);
    Print(L"    Linux:   " + wide + L"\n");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    bool const play = argc == 4 && lstrcmpW(argv[1], L"play") == 0;
    if (!play && !(argc == 3 && lstrcmpW(argv[1], L"run") == 0)) {
        Print(L"usage: box_player run PROGRAM | box_player play SHOTS PROGRAM\n");
        return 2;
    }
    std::wstring const program = argv[argc - 1];
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        Print(L"The program could not be started: error " + std::to_wstring(GetLastError()) + L"\n");
        return 2;
    }
    bool const finished = !play || Play(process, argv[2]);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    wchar_t const* const answers[] = {L"", L"OK", L"", L"", L"", L"", L"Yes", L"No"};
    std::wstring answer = exitCode < ARRAYSIZE(answers) ? answers[exitCode] : L"";
    Print(L"Exit code: " + std::to_wstring(exitCode) + (answer.empty() ? L"" : L" (the last answer: " + answer + L")")
          + L"\n");
    PrintPlace(L"Shortcut", CSIDL_DESKTOPDIRECTORY, L"Quorvel.url");
    PrintPlace(L"Icon file", CSIDL_LOCAL_APPDATA, L"gomri.ico");
    return finished ? 0 : 3;
}
