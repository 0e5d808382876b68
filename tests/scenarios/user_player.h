// Plays the user: starts copies of the program, waits for each message box
// they show, records what the box says and offers, and answers it from a script.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SeenBox {
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // left to right, as IDYES, IDNO, IDOK, ...
    int defaultButton = 0;
    bool hasIcon = false;
    bool topmost = false;
    bool owned = false;
};

struct PlayedRun {
    std::vector<SeenBox> boxes;
    DWORD exitCode = STILL_ACTIVE;
    DWORD startError = 0;
    bool timedOut = false;
    bool unscriptedBox = false;  // a box appeared after the script ran out
};

struct Launch {
    std::wstring arguments;       // appended to the program path
    std::vector<int> answers;     // one per box, in order
};

// The visible message box of that process, if it shows one.
HWND FindBoxOf(DWORD processId);

// Runs every launch at once and plays each box as it appears. Copies that
// run past the time limit are killed and reported as timed out.
std::vector<PlayedRun> PlayPrograms(std::wstring const& program, std::vector<Launch> const& launches,
                                    DWORD timeLimitMs = 30000);

PlayedRun PlayProgram(std::wstring const& program, Launch const& launch);
