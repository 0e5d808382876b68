// What the user is shown and what the shortcut points at, as the tests
// expect them: written out again here, so a slip in the program's own
// constants shows up as a difference.
#pragma once

#include <windows.h>

#include <iterator>

wchar_t const ExpectedCaption[] = L"创建Quorvel桌面快捷方式";
wchar_t const ExpectedQuestion[] = L"在桌面创建Quorvel的快捷方式么？";
wchar_t const ExpectedOverwrite[] = L"Quorvel的桌面快捷方式已存在，是否覆盖？";
wchar_t const ExpectedCreated[] = L"创建Quorvel桌面快捷方式成功";
wchar_t const ExpectedNotCreated[] = L"未创建Quorvel桌面快捷方式";
wchar_t const ExpectedUrl[] = L"http://www.quorvel.com/";

// The two files, and the longest folders that hold them: folder, separator,
// name and terminator fill MAX_PATH exactly.
wchar_t const ExpectedShortcutName[] = L"Quorvel.url";
wchar_t const ExpectedIconName[] = L"gomri.ico";
size_t const LongestDesktopFolder = MAX_PATH - 1 - std::size(ExpectedShortcutName);
size_t const LongestLocalAppDataFolder = MAX_PATH - 1 - std::size(ExpectedIconName);
