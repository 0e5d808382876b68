// What the user is shown and what the shortcut points at, as the tests
// expect them: written out again here, so a slip in the program's own
// constants shows up as a difference.
#pragma once

wchar_t const ExpectedCaption[] = L"创建Quorvel桌面快捷方式";
wchar_t const ExpectedQuestion[] = L"在桌面创建Quorvel的快捷方式么？";
wchar_t const ExpectedOverwrite[] = L"Quorvel的桌面快捷方式已存在，是否覆盖？";
wchar_t const ExpectedCreated[] = L"创建Quorvel桌面快捷方式成功";
wchar_t const ExpectedNotCreated[] = L"未创建Quorvel桌面快捷方式";
wchar_t const ExpectedUrl[] = L"http://www.quorvel.com/";
