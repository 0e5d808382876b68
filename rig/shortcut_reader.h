// Reads a saved shortcut back through whatever object the host has
// registered for the shell's Internet Shortcut class, noting every call.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One call made on the object, and its status.
struct ObjectCall {
    std::string what;
    HRESULT hr;
};

struct ShortcutContents {
    std::wstring url;
    std::wstring iconFile;
    int iconIndex = -1;
};

// Loads path into a fresh instance and asks it for the URL, the icon file and
// the icon index; appends each call to calls. False at the first that fails.
bool ReadShortcut(std::wstring const& path, ShortcutContents& contents, std::vector<ObjectCall>& calls);

// What differs between the shortcut at path, read back, and what the program
// saves (the service's URL, iconPath at index 0); empty when nothing does.
std::string ReadBackDifferences(std::wstring const& path, std::wstring const& iconPath);

// "0x80004002  QueryInterface IShellLinkW", a line a call, for a test's log.
std::string DescribeCalls(std::vector<ObjectCall> const& calls);
