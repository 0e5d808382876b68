// The world the program runs in, as a test arranges it: the user's shell
// folders, the files in them, which object answers to the shell's Internet
// Shortcut class.
//
// Every registry value the rig changes is first written down in the rig's
// folder, so that RestoreWorld() puts it back, and so does the next rig
// program that starts there if this one never got to (a crash, a kill).
#pragma once

#include <windows.h>

#include <string>

// Which object saves the shortcut in the runs a world is reset for.
enum class ShortcutObject {
    Standin,  // the rig's stand-in, registered for the class (Wine only)
    Host,     // whatever the host has registered: Windows' own, or Wine's
};

struct RigPaths {
    std::wstring program;    // the program under test
    std::wstring standin;    // the stand-in shortcut object's DLL, if built
    std::wstring iconAsset;  // the icon asset the program embeds
    std::wstring rigRoot;    // a folder of the rig's own: the restore record
    ShortcutObject object = ShortcutObject::Standin;
    // On Windows the world moves the user's own Desktop and Local AppData for
    // a while; only when asked for (CI asks). Under Wine the prefix is the rig's.
    bool mayMoveUserFolders = false;
};

RigPaths const& RigPathsInUse();
// Takes the paths and first puts back what an earlier rig program left changed.
void UseRigPaths(RigPaths const& paths);

// Whether ResetWorld() may move the user's folders on this host.
bool WorldMayMoveUserFolders();

// The folders the program will resolve now, and the files it writes there.
std::wstring DesktopFolder();
std::wstring LocalAppDataFolder();
std::wstring IconPath();
std::wstring ShortcutPath();
// A throw-away folder of the world's, for folders a test moves the others to.
std::wstring WorldFolder();

// Moves a user shell folder ("Desktop", "Local AppData") until ResetWorld().
void RedirectShellFolder(wchar_t const* valueName, std::wstring const& path);

// Which object answers to the shell's Internet Shortcut class until ResetWorld().
void UseStandinObject();
void UseHostObject();

// What differs between the saved shortcut, read back by the host's own
// object, and what the program hands over; empty when nothing does.
std::string SavedShortcutDifferences();

// A clean first run: both folders moved into a fresh throw-away folder, no
// shortcut, no icon file, and the rig's object registered.
void ResetWorld();
// Puts back every registry value the rig changed and removes its folders.
void RestoreWorld();
