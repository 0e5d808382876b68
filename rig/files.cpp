#include "files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

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
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.fail();
}

std::string ReadFixture(std::wstring const& path)
{
    std::string bytes;
    SetupCheck(ReadBytes(path, bytes), "reading", path);
    return bytes;
}

bool Exists(std::wstring const& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

void WriteBytes(std::wstring const& path, std::string const& bytes)
{
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    SetupCheck(!out.fail(), "writing", path);
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
    std::sort(names.begin(), names.end());
    return names;
}

PathState StateOf(std::wstring const& path)
{
    PathState state;
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
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
    std::error_code error;
    std::filesystem::remove_all(ExtendedLengthPath(path), error);
    SetupCheck(!error, "RemoveTree", path);
}

void MakeDirectories(std::wstring const& path)
{
    std::error_code error;
    std::filesystem::create_directories(ExtendedLengthPath(path), error);
    SetupCheck(!error && std::filesystem::is_directory(ExtendedLengthPath(path), error), "MakeDirectories", path);
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
    std::error_code error;
    std::wstring const folder = (std::filesystem::temp_directory_path(error) / name).wstring() + L"-"
                                + std::to_wstring(GetCurrentProcessId());
    SetupCheck(!error, "the temporary folder");
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
