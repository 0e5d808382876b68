// Plays the user: starts copies of a program, waits for each message box
// they show, records it and answers it from a script.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "boxes.h"

struct Launch {
    std::wstring arguments;    // appended to the program path
    std::vector<int> answers;  // one per box, in order
};

struct PlayedRun {
    std::vector<SeenBox> boxes;
    DWORD exitCode = STILL_ACTIVE;
    DWORD startError = 0;
    bool timedOut = false;
    bool unscriptedBox = false;  // a box appeared after the script ran out
    double startedAtMs = 0;      // on the rig's clock
    double endedAtMs = 0;
};

// Time a played program may take before it counts as hung and is ended.
DWORD const PlayTimeLimitMs = 30000;

// Runs every launch at once and plays each box as it appears.
std::vector<PlayedRun> PlayPrograms(std::wstring const& program, std::vector<Launch> const& launches);

PlayedRun PlayProgram(std::wstring const& program, Launch const& launch);
