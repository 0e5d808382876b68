// Pictures to look at: an icon drawn as pixels, and pixels saved as a BMP file.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A 32-bit picture's header, top row first: 0x00RRGGBB pixels.
BITMAPINFOHEADER TopDownHeader(int width, int height);

// The icon drawn at size x size over a background of one colour, as
// 0x00RRGGBB pixels, top row first; just the background when it cannot be
// drawn. GDI leaves the fourth byte undefined on an opaque surface, so it is
// cleared.
std::vector<DWORD> DrawnIcon(HICON icon, int size, DWORD background);

// pixels: 0x00RRGGBB, top row first, width * height of them; written opaque.
void SaveBmp(std::wstring const& path, int width, int height, std::vector<DWORD> const& pixels);
