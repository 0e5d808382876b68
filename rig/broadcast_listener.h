// Top-level windows in the rig's own process, as running applications would
// have them: one that records every WM_SETTINGCHANGE it is sent, and one that
// stops answering, like a hung application.
#pragma once

#include <windows.h>

#include <vector>

struct SettingChange {
    WPARAM wParam;
    LPARAM lParam;
    double receivedAtMs;  // on the rig's clock
};

// Starts the listener on a thread of its own; it lives until the process ends.
void StartBroadcastListener();

// The broadcasts received since the last call.
std::vector<SettingChange> TakeSettingChanges();

// Puts up a top-level window whose thread answers nothing until thawed.
void StartFrozenWindow();

// Lets the frozen window's thread answer what waits for it, then closes the
// window; does nothing when none is frozen.
void ThawFrozenWindow();
