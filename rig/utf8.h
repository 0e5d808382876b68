// UTF-16 to UTF-8 and back, for logs, files and test messages.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring Utf16(std::string const& utf8)
{
    std::wstring text(utf8.size(), L'\0');
    int const length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                                           static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

inline std::string Utf8(std::wstring const& utf16)
{
    std::string text(utf16.size() * 3, '\0');
    int const length = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), text.data(),
                                           static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(static_cast<size_t>(length));
    return text;
}
