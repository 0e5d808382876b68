// Reads a saved shortcut back through whatever object the host has
// registered for the shell's Internet Shortcut class.
#pragma once

#include <windows.h>

#include <string>

// What differs between the shortcut at path, read back through a fresh
// instance of whatever object the host has registered for the class, and
// what the program saves (the service's URL, iconPath at index 0); empty
// when nothing does. A read that fails names the call that failed, and how.
std::string ReadBackDifferences(std::wstring const& path, std::wstring const& iconPath);
