// What a run changed on the disk, seen from outside: every file and folder
// under some roots, with its attributes and a file's size and last write
// time, taken before the run and after it and compared.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct DiskEntry {
    std::wstring path;  // spelled as the disk has it
    DWORD attributes = 0;
    ULONGLONG size = 0, written = 0;  // a file's; a folder's change shows in its entries
};
// By path in capitals: Windows' names ignore letter case.
using DiskSnapshot = std::map<std::wstring, DiskEntry>;

// Everything under the roots but the skipped folders and what links lead to.
DiskSnapshot TakeDiskSnapshot(std::vector<std::wstring> const& roots, std::vector<std::wstring> const& skipped = {});

// What appeared, disappeared or changed, a line each. The paths a run is
// meant to write may change, but never newly become hidden, system or
// read-only.
std::vector<std::string> DiskChanges(DiskSnapshot const& before, DiskSnapshot const& after,
                                     std::vector<std::wstring> const& written);
