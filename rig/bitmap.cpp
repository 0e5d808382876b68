#include "bitmap.h"

#include <cstring>

#include "files.h"
#include "setup_check.h"

void SaveBmp(std::wstring const& path, int width, int height, std::vector<DWORD> const& pixels)
{
    SetupCheck(width > 0 && height > 0 && pixels.size() == static_cast<size_t>(width) * static_cast<size_t>(height),
               "SaveBmp: the pixels do not fill the picture", path);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height;  // top row first
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
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
