#include "command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "files.h"
#include "world.h"

namespace {

// The first argument that starts with prefix, without the prefix; false when none does.
bool FindArgument(std::wstring const& prefix, bool whole, std::wstring& rest)
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    bool found = false;
    for (int i = 1; arguments && i < count && !found; ++i) {
        std::wstring const argument = arguments[i];
        found = whole ? argument == prefix : argument.compare(0, prefix.size(), prefix) == 0;
        if (found)
            rest = argument.substr(prefix.size());
    }
    LocalFree(arguments);
    return found;
}

} // namespace

std::wstring CommandLineOption(wchar_t const* name)
{
    std::wstring value;
    FindArgument(std::wstring(L"--") + name + L"=", false, value);
    return value;
}

std::wstring CommandLinePath(wchar_t const* name)
{
    return WindowsPathOf(CommandLineOption(name));
}

bool CommandLineFlag(wchar_t const* name)
{
    std::wstring rest;
    return FindArgument(std::wstring(L"--") + name, true, rest);
}

RigPaths RigPathsFromCommandLine()
{
    return {CommandLinePath(L"program"), CommandLinePath(L"standin"), CommandLinePath(L"icon-asset"),
            CommandLinePath(L"rig-root"), CommandLineFlag(L"host-object") ? ShortcutObject::Host : ShortcutObject::Standin,
            CommandLineFlag(L"may-move-user-folders")};
}
