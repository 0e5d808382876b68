// How long the rig lets things take, each derived from what bounds it.
#pragma once

#include <windows.h>

// The program's promise: each settings broadcast gives up on a window that
// does not answer within 5 s.
DWORD const BroadcastTimeoutMs = 5000;
// It sends two broadcasts, and each window that does not answer may use a
// whole time-out of each: the window a test freezes, and on a busy runner a
// few more that are slow to answer.
DWORD const BroadcastsSent = 2;
DWORD const WindowsSlowToAnswer = 3;
DWORD const LongestRefreshMs = BroadcastsSent * WindowsSlowToAnswer * BroadcastTimeoutMs;
// Starting the program and showing its boxes, on a loaded machine.
DWORD const LongestStartAndBoxesMs = 5000;
// A whole run of the program, answered at once.
DWORD const LongestRunMs = LongestStartAndBoxesMs + LongestRefreshMs;
// Past this the player ends a run as hung: never a correct one.
DWORD const PlayTimeLimitMs = 2 * LongestRunMs;
