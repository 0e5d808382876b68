// Puts the Quorvel Internet shortcut on the current user's desktop.
#pragma once

#include <windows.h>

// 0 when the shortcut was saved; anything else means it was not.
typedef LONG InstallResult;

InstallResult const InstallCreated = 0;
// The user kept the existing shortcut (or could not be asked), or the new
// icon file could not be created or moved into place.
InstallResult const InstallStopped = 1;
// The new icon file took fewer bytes than it should have.
InstallResult const InstallShortWrite = 2;
// Negative values are COM statuses: a folder that could not be resolved or
// composed, a desktop that could not be searched, or a shortcut the shell
// could not save.

// Writes the icon file into the local application-data folder, saves the
// shortcut on the desktop (asking first if one is there), then refreshes
// the shell's icons.
InstallResult InstallShortcut();
