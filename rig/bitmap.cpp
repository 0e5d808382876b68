#include "bitmap.h"

#include <algorithm>
#include <cstring>

#include "files.h"
#include "setup_check.h"

BITMAPINFOHEADER TopDownHeader(int width, int height)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height;  // top row first
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    return header;
}

std::vector<DWORD> DrawnIcon(HICON icon, int size, DWORD background)
{
    BITMAPINFO info{};
    info.bmiHeader = TopDownHeader(size, size);
    void* bits = nullptr;
    HDC const dc = CreateCompatibleDC(nullptr);
    SetupCheck(dc != nullptr, "CreateCompatibleDC");
    HBITMAP const bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SetupCheck(bitmap && bits, "CreateDIBSection", std::to_wstring(size) + L" px");
    HGDIOBJ const previous = SelectObject(dc, bitmap);
    DWORD* const surface = static_cast<DWORD*>(bits);
    size_t const count = static_cast<size_t>(size) * static_cast<size_t>(size);
    std::fill(surface, surface + count, background);
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::vector<DWORD> pixels(surface, surface + count);
    for (DWORD& pixel : pixels)
        pixel &= 0x00FFFFFF;
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

void SaveBmp(std::wstring const& path, int width, int height, std::vector<DWORD> const& pixels)
{
    SetupCheck(width > 0 && height > 0 && pixels.size() == static_cast<size_t>(width) * static_cast<size_t>(height),
               "SaveBmp: the pixels do not fill the picture", path);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER const header = TopDownHeader(width, height);
    std::string bytes(sizeof(file) + sizeof(header), '\0');
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = static_cast<DWORD>(bytes.size());
    file.bfSize = static_cast<DWORD>(bytes.size() + pixels.size() * sizeof(DWORD));
    std::memcpy(bytes.data(), &file, sizeof(file));
    std::memcpy(bytes.data() + sizeof(file), &header, sizeof(header));
    for (DWORD pixel : pixels) {
        pixel |= 0xFF000000;  // opaque, whatever a viewer makes of the fourth byte
        bytes.append(reinterpret_cast<char const*>(&pixel), sizeof(pixel));
    }
    WriteBytes(path, bytes);
}
