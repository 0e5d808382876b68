// Asks the shell and running applications to redraw icons.
#pragma once

// Sends the shell change notifications, the settings-change broadcast and
// the icon-reload request with its own broadcast, each broadcast bounded by
// a time-out. Results are ignored: a missed refresh only means a stale icon
// until the next one.
void RefreshShellIcons();
