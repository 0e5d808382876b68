// The world the program runs in, as a scenario arranges it: the user's shell
// folders, the files in them, the registered shortcut object and the
// stand-in's instructions. Reset() brings it back to a clean first run.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RigPaths {
    std::wstring program;   // the program under test
    std::wstring standin;   // the stand-in shortcut object's DLL
    std::wstring iconAsset; // the icon asset it embeds
    std::wstring rigRoot;   // the test run's folder: fixtures and logs
};

RigPaths const& Rig();
void SetRig(RigPaths const& paths);

// "/a/b" as the Windows path Wine shows for it.
std::wstring WindowsPathOf(char const* unixPath);

std::wstring Utf16(std::string const& utf8);
std::string Utf8(std::wstring const& utf16);

// File helpers; ReadBytes gives false when the file cannot be read.
bool ReadBytes(std::wstring const& path, std::string& bytes);
void WriteBytes(std::wstring const& path, std::string const& bytes);
bool IsDirectory(std::wstring const& path);
bool Exists(std::wstring const& path);
void RemoveTree(std::wstring const& path);
void MakeDirectories(std::wstring const& path);

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
