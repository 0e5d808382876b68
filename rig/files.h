// File and text helpers for the tests, the benchmark and the demo.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "utf8.h"

// A path as a build gives it, as Windows names it: a Unix path "/a/b" is
// Wine's "Z:\a\b"; a Windows path ("C:/a/b") only gets backslashes.
std::wstring WindowsPathOf(std::wstring path);

// False when the file cannot be read.
bool ReadBytes(std::wstring const& path, std::string& bytes);
// A file the rig was given to compare with: one it cannot read is a set-up failure.
std::string ReadFixture(std::wstring const& path);
bool Exists(std::wstring const& path);

// What a folder holds, "." and ".." left out; none when it cannot be read.
std::vector<WIN32_FIND_DATAW> EntriesIn(std::wstring const& folder);
// The names in it, sorted.
std::vector<std::wstring> NamesIn(std::wstring const& folder);

// What stands at a path, to compare before with after: nothing, a file with
// its bytes, or a folder with what stands at each name in it.
struct PathState {
    enum Kind { Absent, File, Folder } kind = Absent;
    std::string bytes;  // a folder's: each name, then what stands there
    bool operator==(PathState const& other) const { return kind == other.kind && bytes == other.bytes; }
};
PathState StateOf(std::wstring const& path);

// Set-up: these stop the test program when they cannot do their job, since
// nothing arranged on a half-made world would hold.
void WriteBytes(std::wstring const& path, std::string const& bytes);
// A path that is not there is fine.
void RemoveTree(std::wstring const& path);
// Folders of 248 characters or more are made through "\\?\", as Windows needs.
void MakeDirectories(std::wstring const& path);
// A folder under parent whose path is exactly length code units long,
// made of nested folders, as deep a folder as a user may have.
std::wstring MakeFolderOfLength(std::wstring const& parent, size_t length);
// A fresh, empty folder of that name under the user's temp folder, named
// with long names.
std::wstring FreshTempFolder(wchar_t const* name);

// An existing path with every 8.3 short name spelled out: a hosted Windows
// runner's TEMP is C:\Users\RUNNER~1\..., and the shell may store either form.
// https://github.com/actions/runner-images/issues/712
std::wstring WithLongNames(std::wstring const& path);
