#include "files.h"

#include <algorithm>
#include <filesystem>

#include "setup_check.h"

std::wstring WindowsPathOf(std::wstring path)
{
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

bool ReadBytes(std::wstring const& path, std::string& bytes)
{
    bytes.clear();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool IsDirectory(std::wstring const& path)
{
    DWORD const attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(std::wstring const& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteBytes(std::wstring const& path, std::string const& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetupCheck(file != INVALID_HANDLE_VALUE, "CreateFileW", path);
    DWORD written = 0;
    BOOL const wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    SetupCheck(wrote && written == bytes.size(), "WriteFile", path);
}

namespace {

// "\\?\" takes a drive path as it is (only backslashes, no "." or "..") and
// lifts Windows' limits on its length.
std::wstring ExtendedLengthPath(std::wstring const& path)
{
    bool const drivePath = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    return drivePath ? L"\\\\?\\" + path : path;
}

} // namespace

std::vector<std::wstring> NamesIn(std::wstring const& folder)
{
    std::vector<std::wstring> names;
    std::error_code error;
    for (auto const& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().filename().wstring());
    return names;
}

void RemoveTree(std::wstring const& path)
{
    std::error_code error;
    std::filesystem::remove_all(ExtendedLengthPath(path), error);
    SetupCheck(!error, "RemoveTree", path);
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
    SetupCheck(IsDirectory(full), "MakeDirectories: no folder at", path);
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
