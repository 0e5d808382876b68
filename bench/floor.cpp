// The floor: the program's question box and nothing else, built with the
// same flags, so the benchmark can tell what the rest of the program costs.
#include <windows.h>

#include "install/names.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return MessageBoxW(nullptr, L"在桌面创建Quorvel的快捷方式么？", AppCaption, MB_YESNO);
}
