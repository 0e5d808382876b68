// Plays the user: starts copies of a program, waits for each message box
// they show, records it and answers it from a script. The tests, the
// benchmark and the demo all play through here.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "boxes.h"
#include "time_limits.h"

struct Launch {
    std::wstring arguments;    // appended to the program path
    std::vector<int> answers;  // one per box, in order; a box without that button gets its first
};

struct PlayedRun {
    std::vector<SeenBox> boxes;
    DWORD exitCode = STILL_ACTIVE;
    DWORD startError = 0;
    int startRetries = 0;        // starts Wine refused and that were tried again
    bool timedOut = false;
    bool unscriptedBox = false;  // a box appeared after the script ran out
    double startedAtMs = 0;      // on the rig's clock
    double endedAtMs = 0;
    double widestPollGapMs = 0;  // how finely the run was watched
};

// How a play goes besides its answers.
struct PlayStyle {
    double pollMs = 5;
    // Reads each box's caption, text, buttons and flags; without it only the
    // time it was seen, so a measured run pays for nothing else.
    bool readBoxes = true;
    // Called just before each box is answered, with the box as recorded.
    std::function<void(PROCESS_INFORMATION const&, HWND, SeenBox const&)> beforeAnswer;
};

// Runs every launch at once and plays each box as it appears; a run that
// overstays PlayTimeLimitMs is ended as hung.
std::vector<PlayedRun> PlayPrograms(std::wstring const& program, std::vector<Launch> const& launches,
                                    PlayStyle const& style = {});

PlayedRun PlayProgram(std::wstring const& program, Launch const& launch, PlayStyle const& style = {});
