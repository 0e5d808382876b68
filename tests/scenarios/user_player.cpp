#include "user_player.h"

#include <algorithm>

namespace {

// Where the message box keeps its text and, when it has one, its icon.
int const MessageTextId = 0xFFFF;
int const IconIdsToTry[] = {0x0014, 0x0440};
int const ButtonIds[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDTRYAGAIN, IDCONTINUE, IDHELP};

struct BoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindVisibleBox(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    WCHAR className[16]{};
    GetClassNameW(window, className, ARRAYSIZE(className));
    if (owner == search->processId && lstrcmpW(className, L"#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindBoxOf(DWORD processId)
{
    BoxSearch search{processId, nullptr};
    EnumWindows(FindVisibleBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

namespace {

std::wstring WindowText(HWND window)
{
    WCHAR text[1024]{};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

SeenBox ReadBox(HWND box)
{
    SeenBox seen;
    seen.caption = WindowText(box);
    seen.text = WindowText(GetDlgItem(box, MessageTextId));

    std::vector<std::pair<LONG, int>> placed;
    for (int id : ButtonIds) {
        HWND button = GetDlgItem(box, id);
        if (button && IsWindowVisible(button)) {
            RECT rect{};
            GetWindowRect(button, &rect);
            placed.emplace_back(rect.left, id);
        }
    }
    std::sort(placed.begin(), placed.end());
    for (auto const& [left, id] : placed)
        seen.buttons.push_back(id);

    // The default button is the one drawn as such, whatever DM_GETDEFID says.
    for (int id : seen.buttons)
        if ((GetWindowLongW(GetDlgItem(box, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            seen.defaultButton = id;
    for (int id : IconIdsToTry) {
        HWND icon = GetDlgItem(box, id);
        if (icon && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0))
            seen.hasIcon = true;
    }
    seen.topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    seen.owned = GetWindow(box, GW_OWNER) != nullptr;
    return seen;
}

// Clicks as a user would; a box with no such button gets its first one.
void Answer(HWND box, SeenBox const& seen, int answer)
{
    HWND button = GetDlgItem(box, answer);
    if (!button && !seen.buttons.empty()) {
        answer = seen.buttons.front();
        button = GetDlgItem(box, answer);
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

struct Running {
    PROCESS_INFORMATION process{};
    HWND answeredBox = nullptr;
    size_t nextAnswer = 0;
    bool done = false;
};

} // namespace

std::vector<PlayedRun> PlayPrograms(std::wstring const& program, std::vector<Launch> const& launches,
                                    DWORD timeLimitMs)
{
    std::vector<PlayedRun> runs(launches.size());
    std::vector<Running> running(launches.size());
    for (size_t i = 0; i < launches.size(); ++i) {
        std::wstring commandLine = L"\"" + program + L"\"";
        if (!launches[i].arguments.empty())
            commandLine += L" " + launches[i].arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        // Wine now and then refuses a start under load (ERROR_INTERNAL_ERROR)
        // before any of the program runs; a second try is no different run.
        bool settled = false;
        for (int attempt = 0; attempt < 3 && !settled; ++attempt)
            settled = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &running[i].process)
                      || GetLastError() != ERROR_INTERNAL_ERROR;
        if (!running[i].process.hProcess) {
            runs[i].startError = GetLastError();
            running[i].done = true;
        }
    }

    ULONGLONG const deadline = GetTickCount64() + timeLimitMs;
    for (;;) {
        bool allDone = true;
        for (size_t i = 0; i < launches.size(); ++i) {
            Running& run = running[i];
            if (run.done)
                continue;
            if (WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0) {
                GetExitCodeProcess(run.process.hProcess, &runs[i].exitCode);
                run.done = true;
                continue;
            }
            allDone = false;
            // A box just answered may linger a moment; wait for it to go.
            if (run.answeredBox && IsWindow(run.answeredBox))
                continue;
            HWND box = FindBoxOf(run.process.dwProcessId);
            if (!box)
                continue;
            SeenBox const seen = ReadBox(box);
            runs[i].boxes.push_back(seen);
            int answer = IDOK;
            if (run.nextAnswer < launches[i].answers.size())
                answer = launches[i].answers[run.nextAnswer++];
            else
                runs[i].unscriptedBox = true;
            Answer(box, seen, answer);
            run.answeredBox = box;
        }
        if (allDone)
            break;
        if (GetTickCount64() > deadline) {
            for (size_t i = 0; i < launches.size(); ++i) {
                if (!running[i].done) {
                    TerminateProcess(running[i].process.hProcess, 0xDEAD);
                    WaitForSingleObject(running[i].process.hProcess, 5000);
                    runs[i].timedOut = true;
                }
            }
            break;
        }
        Sleep(5);
    }
    for (Running& run : running) {
        if (run.process.hProcess) {
            CloseHandle(run.process.hThread);
            CloseHandle(run.process.hProcess);
        }
    }
    return runs;
}

PlayedRun PlayProgram(std::wstring const& program, Launch const& launch)
{
    return PlayPrograms(program, {launch}).front();
}
