// A hidden top-level window that records every WM_SETTINGCHANGE it is sent,
// as any running application would receive it.
#pragma once

#include <windows.h>

#include <vector>

struct SettingChange {
    WPARAM wParam;
    LPARAM lParam;
};

// Starts the listener on a thread of its own; it lives until the process ends.
void StartBroadcastListener();

// Makes the listener take this long to answer each broadcast, like a busy
// application; 0 answers at once.
void SetBroadcastReplyDelay(DWORD delayMs);

// The broadcasts received since the last call.
std::vector<SettingChange> TakeSettingChanges();

// Puts up a top-level window whose thread never answers again, like a hung
// application.
void StartHungWindow();
