// Small file helpers the program-file tests share.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

// "/a/b" as the Windows path Wine shows for it.
inline std::wstring WindowsPathOf(char const* unixPath)
{
    int const length = MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, nullptr, 0);
    std::wstring path(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, path.data(), length);
    path.resize(wcslen(path.c_str()));
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return L"Z:" + path;
}

// For messages: the path or text as UTF-8.
inline std::string Utf8Of(std::wstring const& text)
{
    int const length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), length, nullptr, nullptr);
    utf8.resize(std::strlen(utf8.c_str()));
    return utf8;
}

// Gives false when the file cannot be read whole.
inline bool ReadWholeFile(std::wstring const& path, std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 64 * 1024 * 1024;
    DWORD read = 0;
    if (ok) {
        bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
        ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
             read == bytes.size();
    }
    CloseHandle(file);
    return ok;
}

inline bool WriteWholeFile(std::wstring const& path, std::string const& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool const ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

inline bool FileExists(std::wstring const& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Removes the folder and the plain files in it.
inline void RemoveFolder(std::wstring const& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// A fresh, empty folder of that name under the user's temp folder.
inline std::wstring FreshTempFolder(wchar_t const* name)
{
    WCHAR temp[MAX_PATH]{};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + L"-" + std::to_wstring(GetCurrentProcessId());
    RemoveFolder(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}
