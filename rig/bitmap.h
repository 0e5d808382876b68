// Pictures to look at: saves 32-bit pixels as a BMP file.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// pixels: 0x00RRGGBB, top row first, width * height of them; written opaque.
void SaveBmp(std::wstring const& path, int width, int height, std::vector<DWORD> const& pixels);
