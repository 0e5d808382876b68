// The world the program runs in, as a scenario arranges it: the user's shell
// folders, the files in them, the registered shortcut object and the
// stand-in's instructions. Reset() brings it back to a clean first run.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "test_files.h"

struct RigPaths {
    std::wstring program;   // the program under test
    std::wstring standin;   // the stand-in shortcut object's DLL
    std::wstring iconAsset; // the icon asset it embeds
    std::wstring rigRoot;   // the test run's folder: fixtures and logs
};

RigPaths const& Rig();
void SetRig(RigPaths const& paths);

// The folder the program will resolve, as the registry now says.
std::wstring DesktopFolder();
std::wstring LocalAppDataFolder();
// The user's own defaults, before any scenario moved them.
std::wstring DefaultDesktopFolder();
std::wstring DefaultLocalAppDataFolder();

// Moves a user shell folder ("Desktop", "Local AppData") until Reset().
void RedirectShellFolder(wchar_t const* valueName, std::wstring const& path);

// Which object answers to the shell's Internet Shortcut class.
void UseStandinObject();
void UseWineObject();

// Tells the stand-in to fail calls, e.g. "SetURL=0x80070005"; "" for none.
void FailStandinCalls(char const* instructions);
// The calls the stand-in received since the last Reset().
std::vector<std::string> StandinCalls();

std::wstring IconPath();
std::wstring ShortcutPath();

void Reset();
// Puts back the user's folders and Wine's own shortcut object.
void Restore();
