// The world the program runs in, as a test arranges it: the user's shell
// folders, the files in them, which object answers to the shell's Internet
// Shortcut class, and the stand-in's instructions.
//
// Every registry value the rig changes is first written down in the rig's
// folder, so that Restore() puts it back, and so does the next rig program
// that starts there if this one never got to (a crash, a kill).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Which object saves the shortcut in the runs a world is reset for.
enum class ShortcutObject {
    Standin,  // the rig's stand-in, registered for the class (Wine only)
    Host,     // whatever the host has registered: Windows' own, or Wine's
};

struct RigPaths {
    std::wstring program;    // the program under test
    std::wstring standin;    // the stand-in shortcut object's DLL, if built
    std::wstring iconAsset;  // the icon asset the program embeds
    std::wstring rigRoot;    // a folder of the rig's own: logs, the restore record
    ShortcutObject object = ShortcutObject::Standin;
};

RigPaths const& Rig();
// Takes the paths and first puts back what an earlier rig program left changed.
void SetRig(RigPaths const& paths);

// The folders the program will resolve now, and the files it writes there.
std::wstring DesktopFolder();
std::wstring LocalAppDataFolder();
std::wstring IconPath();
std::wstring ShortcutPath();
// The user's own desktop, before any redirection.
std::wstring DefaultDesktopFolder();

// Moves a user shell folder ("Desktop", "Local AppData") until Reset().
void RedirectShellFolder(wchar_t const* valueName, std::wstring const& path);

// Which object answers to the shell's Internet Shortcut class until Reset().
void UseStandinObject();
void UseHostObject();

// Tells the stand-in to fail calls, e.g. "SetURL=0x80070005"; "" for none.
void FailStandinCalls(char const* instructions);
// The calls the stand-in received since the last Reset().
std::vector<std::string> StandinCalls();

// A clean first run for the rig's object: no shortcut, no icon file. With
// the host's object, both folders are redirected into a throw-away folder,
// so nothing of the user's own is touched.
void Reset();
// Puts back every registry value the rig changed and removes its folders.
void Restore();
