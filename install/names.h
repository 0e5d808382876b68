// Names the user sees: the service, and the caption every box carries.
#pragma once

#include <windows.h>

WCHAR const ServiceName[] = L"Quorvel";
WCHAR const AppCaption[] = L"创建Quorvel桌面快捷方式";
