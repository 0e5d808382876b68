// What a run changed on the disk, seen from outside: each file and folder
// below a root with its attributes, and a file's size and last write time,
// taken before the run and after it.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct DiskEntry {
    DWORD attributes = 0;
    ULONGLONG size = 0, written = 0;  // a file's; a folder's changes show in what it holds
};
using DiskSnapshot = std::map<std::wstring, DiskEntry>;

// Everything under a folder but what links lead to.
DiskSnapshot TakeDiskSnapshot(std::wstring const& folder);
// The same for the whole system drive but Windows' own folder: wherever a
// program could leave what its user would find.
DiskSnapshot TakeDriveSnapshot();

// What appeared, disappeared or changed, a line each. The files a run is
// meant to write, named in any letter case as Windows takes them, may
// change, but never newly become hidden, system or read-only.
std::vector<std::string> DiskChanges(DiskSnapshot const& before, DiskSnapshot const& after,
                                     std::vector<std::wstring> const& written);
