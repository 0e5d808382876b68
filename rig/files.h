// File and text helpers for the tests, the benchmark and the demo.
#pragma once

#include <windows.h>

#include <string>

// A path as a build gives it, as Windows names it: a Unix path "/a/b" is
// Wine's "Z:\a\b"; a Windows path ("C:/a/b") only gets backslashes.
std::wstring WindowsPathOf(std::wstring path);

std::wstring Utf16(std::string const& utf8);
std::string Utf8(std::wstring const& utf16);

// False when the file cannot be read.
bool ReadBytes(std::wstring const& path, std::string& bytes);
bool IsDirectory(std::wstring const& path);
bool Exists(std::wstring const& path);

// Set-up: these stop the test program when they cannot do their job, since
// nothing arranged on a half-made world would hold.
void WriteBytes(std::wstring const& path, std::string const& bytes);
// Read-only attributes are cleared first; a path that is not there is fine.
void RemoveTree(std::wstring const& path);
// Folders of 248 characters or more are made through "\\?\", as Windows needs.
void MakeDirectories(std::wstring const& path);
// A fresh, empty folder of that name under the user's temp folder.
std::wstring FreshTempFolder(wchar_t const* name);
