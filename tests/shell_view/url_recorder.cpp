// Stands in for the web browser: url_recorder LOG ARGS... appends each of
// ARGS to LOG, one UTF-8 line each, so a test sees what the shell handed over.
#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    PWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 2)
        return 2;

    std::string lines;
    for (int i = 2; i < count; ++i) {
        int const length = WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, nullptr, 0, nullptr, nullptr);
        std::string line(static_cast<size_t>(length > 0 ? length : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, line.data(), length, nullptr, nullptr);
        line.back() = '\n';
        lines += line;
    }

    // One append for the whole call, so launches that overlap stay apart.
    HANDLE log = CreateFileW(arguments[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(log, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    CloseHandle(log);
    return written == lines.size() ? 0 : 1;
}
