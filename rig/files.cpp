#include "files.h"

#include <algorithm>
#include <string_view>

#include "setup_check.h"

// Win32's own calls throughout: they take "\\?\" paths on Windows under
// either C runtime, where msvcrt's stat (and so MinGW's std::filesystem)
// refuses any path with a "?" in it.

std::wstring WindowsPathOf(std::wstring path)
{
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

namespace {

// "\\?\" takes a drive path as it is (only backslashes, no "." or "..") and
// lifts Windows' limits on its length.
std::wstring ExtendedLengthPath(std::wstring const& path)
{
    bool const drivePath = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    return drivePath ? L"\\\\?\\" + path : path;
}

DWORD AttributesOf(std::wstring const& path)
{
    return GetFileAttributesW(ExtendedLengthPath(path).c_str());
}

bool IsFolder(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool ReadBytes(std::wstring const& path, std::string& bytes)
{
    bytes.clear();
    HANDLE const file = CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof(buffer), &got, nullptr) != FALSE) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return ok;
}

std::string ReadFixture(std::wstring const& path)
{
    std::string bytes;
    SetupCheck(ReadBytes(path, bytes), "reading", path);
    return bytes;
}

bool Exists(std::wstring const& path)
{
    return AttributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

void WriteBytes(std::wstring const& path, std::string const& bytes)
{
    HANDLE const file = CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    SetupCheck(file != INVALID_HANDLE_VALUE, "CreateFileW", path);
    DWORD written = 0;
    BOOL const wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    SetupCheck(CloseHandle(file) && wrote && written == bytes.size(), "writing", path);
}

std::vector<WIN32_FIND_DATAW> EntriesIn(std::wstring const& folder)
{
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW found;
    HANDLE const search = FindFirstFileW(ExtendedLengthPath(folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        std::wstring_view const name = found.cFileName;
        if (name != L"." && name != L"..")
            entries.push_back(found);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

std::vector<std::wstring> NamesIn(std::wstring const& folder)
{
    std::vector<std::wstring> names;
    for (WIN32_FIND_DATAW const& entry : EntriesIn(folder))
        names.push_back(entry.cFileName);
    std::sort(names.begin(), names.end());
    return names;
}

PathState StateOf(std::wstring const& path)
{
    PathState state;
    if (IsFolder(AttributesOf(path))) {
        state.kind = PathState::Folder;
        for (std::wstring const& name : NamesIn(path))
            state.bytes += Utf8(name) + '\0' + StateOf(path + L"\\" + name).bytes + '\0';
    } else if (ReadBytes(path, state.bytes)) {
        state.kind = PathState::File;
    }
    return state;
}

void RemoveTree(std::wstring const& path)
{
    DWORD const attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD const error = GetLastError();
        SetupCheck(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND, "RemoveTree", path);
        return;
    }
    bool const folder = IsFolder(attributes);
    // A link to a folder goes, not what it links to.
    if (folder && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        for (std::wstring const& name : NamesIn(path))
            RemoveTree(path + L"\\" + name);
    std::wstring const full = ExtendedLengthPath(path);
    SetupCheck(folder ? RemoveDirectoryW(full.c_str()) : DeleteFileW(full.c_str()), "RemoveTree", path);
}

void MakeDirectories(std::wstring const& path)
{
    std::wstring const full = ExtendedLengthPath(path);
    // Past "\\?\C:\", where the first folder of a drive path begins.
    size_t const firstFolder = full.size() > path.size() ? 7 : 0;
    for (size_t end = full.find(L'\\', firstFolder);; end = full.find(L'\\', end + 1)) {
        std::wstring const folder = full.substr(0, end);
        if (!CreateDirectoryW(folder.c_str(), nullptr))
            SetupCheck(GetLastError() == ERROR_ALREADY_EXISTS, "CreateDirectoryW", folder);
        if (end == std::wstring::npos)
            break;
    }
    SetupCheck(IsFolder(AttributesOf(path)), "MakeDirectories: no folder at", path);
}

std::wstring MakeFolderOfLength(std::wstring const& parent, size_t length)
{
    SetupCheck(parent.size() < length, "MakeFolderOfLength: longer already", parent);
    std::wstring path = parent;
    while (path.size() + 1 < length)
        path += L"\\" + std::wstring(std::min<size_t>(40, length - path.size() - 1), L'd');
    path.resize(length, L'e');
    MakeDirectories(path);
    return path;
}

std::wstring FreshTempFolder(wchar_t const* name)
{
    WCHAR temp[MAX_PATH]{};
    DWORD const length = GetTempPathW(MAX_PATH, temp);
    SetupCheck(length > 0 && length < MAX_PATH, "GetTempPathW");
    std::wstring const folder = std::wstring(temp) + name + L"-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(folder);
    MakeDirectories(folder);
    return WithLongNames(folder);
}

std::wstring WithLongNames(std::wstring const& path)
{
    WCHAR full[MAX_PATH]{};
    DWORD const length = GetLongPathNameW(path.c_str(), full, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(full, length) : path;
}
