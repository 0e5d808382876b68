// Saves the Internet shortcut file through the shell's own object.
#pragma once

#include <windows.h>

// Hands the shell's Internet Shortcut object the service URL, the icon file
// (index 0) and the description, and has it save itself at shortcutPath.
// Returns the first failing COM status, or the status of the save.
HRESULT SaveUrlShortcut(PCWSTR shortcutPath, PCWSTR iconPath);
