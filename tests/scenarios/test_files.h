// File and text helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <string>

// "/a/b" as the Windows path Wine shows for it.
std::wstring WindowsPathOf(char const* unixPath);

std::wstring Utf16(std::string const& utf8);
std::string Utf8(std::wstring const& utf16);

// File helpers; ReadBytes gives false when the file cannot be read.
bool ReadBytes(std::wstring const& path, std::string& bytes);
// WriteBytes ends the test program when it cannot write: nothing arranged on
// a half-written file would hold.
void WriteBytes(std::wstring const& path, std::string const& bytes);
bool IsDirectory(std::wstring const& path);
bool Exists(std::wstring const& path);
void RemoveTree(std::wstring const& path);
void MakeDirectories(std::wstring const& path);

// A fresh, empty folder of that name under the user's temp folder.
std::wstring FreshTempFolder(wchar_t const* name);
