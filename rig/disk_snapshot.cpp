#include "disk_snapshot.h"

#include <algorithm>
#include <cstdio>

#include "files.h"
#include "setup_check.h"

namespace {

DWORD const Marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

ULONGLONG Joined(DWORD high, DWORD low)
{
    return ULONGLONG{high} << 32 | low;
}

bool SameName(std::wstring const& one, std::wstring const& other)
{
    return CompareStringOrdinal(one.c_str(), -1, other.c_str(), -1, TRUE) == CSTR_EQUAL;
}

void Walk(std::wstring const& folder, std::wstring const& skipped, DiskSnapshot& snapshot)
{
    for (WIN32_FIND_DATAW const& found : EntriesIn(folder)) {
        std::wstring const path = folder + L"\\" + found.cFileName;
        DWORD const attributes = found.dwFileAttributes;
        bool const file = !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (SameName(path, skipped))
            continue;
        snapshot[path] = {attributes, file ? Joined(found.nFileSizeHigh, found.nFileSizeLow) : 0,
                          file ? Joined(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime) : 0};
        if (!file && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            Walk(path, skipped, snapshot);
    }
}

} // namespace

DiskSnapshot TakeDiskSnapshot(std::wstring const& folder)
{
    DiskSnapshot snapshot;
    Walk(folder, L"", snapshot);
    return snapshot;
}

DiskSnapshot TakeDriveSnapshot()
{
    WCHAR windows[MAX_PATH]{};
    UINT const length = GetWindowsDirectoryW(windows, MAX_PATH);
    SetupCheck(length > 2 && length < MAX_PATH, "GetWindowsDirectoryW");
    DiskSnapshot snapshot;
    Walk(std::wstring(windows, 2), windows, snapshot);
    return snapshot;
}

std::vector<std::string> DiskChanges(DiskSnapshot const& before, DiskSnapshot const& after,
                                     std::vector<std::wstring> const& written)
{
    std::vector<std::string> changes;
    auto const compare = [&](std::wstring const& path, DiskEntry const* old, DiskEntry const* now) {
        DWORD const was = old ? old->attributes : 0, is = now ? now->attributes : 0;
        bool const meant = std::any_of(written.begin(), written.end(), [&](auto const& file) { return SameName(path, file); });
        char const* const what = meant ? (is & ~was & Marks ? "became hidden, system or read-only" : nullptr)
                                 : !old ? "appeared"
                                 : !now ? "disappeared"
                                 : was != is || old->size != now->size || old->written != now->written ? "changed"
                                                                                                         : nullptr;
        if (!what)
            return;
        char text[128]{};
        std::snprintf(text, sizeof(text), " %s: attributes 0x%lX, then 0x%lX; %llu bytes, then %llu", what, was, is,
                      old ? old->size : 0, now ? now->size : 0);
        changes.push_back(Utf8(path) + text);
    };
    for (auto const& [path, old] : before) {
        auto const now = after.find(path);
        compare(path, &old, now == after.end() ? nullptr : &now->second);
    }
    for (auto const& [path, now] : after)
        if (!before.count(path))
            compare(path, nullptr, &now);
    return changes;
}
