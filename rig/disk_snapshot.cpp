#include "disk_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "files.h"

namespace {

std::wstring Key(std::wstring path)
{
    CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    return path;
}

ULONGLONG Joined(DWORD high, DWORD low)
{
    return ULONGLONG{high} << 32 | low;
}

void Walk(std::wstring const& folder, std::vector<std::wstring> const& skipped, DiskSnapshot& snapshot)
{
    for (WIN32_FIND_DATAW const& found : EntriesIn(folder)) {
        std::wstring const path = folder + L"\\" + found.cFileName;
        std::wstring const key = Key(path);
        if (std::find(skipped.begin(), skipped.end(), key) != skipped.end())
            continue;
        DiskEntry& entry = snapshot[key] = {path, found.dwFileAttributes};
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            entry.size = Joined(found.nFileSizeHigh, found.nFileSizeLow);
            entry.written = Joined(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
        } else if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            Walk(path, skipped, snapshot);
        }
    }
}

} // namespace

DiskSnapshot TakeDiskSnapshot(std::vector<std::wstring> const& roots, std::vector<std::wstring> const& skipped)
{
    std::vector<std::wstring> skippedKeys;
    for (std::wstring const& folder : skipped)
        skippedKeys.push_back(Key(folder));
    DiskSnapshot snapshot;
    for (std::wstring const& root : roots)
        Walk(root, skippedKeys, snapshot);
    return snapshot;
}

std::vector<std::string> DiskChanges(DiskSnapshot const& before, DiskSnapshot const& after,
                                     std::vector<std::wstring> const& written)
{
    std::map<std::wstring, std::pair<DiskEntry const*, DiskEntry const*>> paths;
    for (auto const& [key, entry] : before)
        paths[key].first = &entry;
    for (auto const& [key, entry] : after)
        paths[key].second = &entry;
    std::vector<std::wstring> writtenKeys;
    for (std::wstring const& path : written)
        writtenKeys.push_back(Key(path));

    DWORD const marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    std::vector<std::string> changes;
    for (auto const& [key, was] : paths) {
        auto const [old, now] = was;
        DWORD const oldAttributes = old ? old->attributes : 0, newAttributes = now ? now->attributes : 0;
        char attributes[48]{};
        std::snprintf(attributes, sizeof(attributes), "attributes 0x%lX, then 0x%lX", oldAttributes, newAttributes);
        std::string what;
        if (std::find(writtenKeys.begin(), writtenKeys.end(), key) != writtenKeys.end())
            what = newAttributes & ~oldAttributes & marks ? "became hidden, system or read-only: " + std::string(attributes) : "";
        else if (!old || !now)
            what = old ? "disappeared" : "appeared";
        else if (oldAttributes != newAttributes)
            what = "changed its " + std::string(attributes);
        else if (old->size != now->size || old->written != now->written)
            what = "was written: " + std::to_string(old->size) + " bytes, then " + std::to_string(now->size);
        if (!what.empty())
            changes.push_back(Utf8((now ? now : old)->path) + " " + what);
    }
    return changes;
}
