#include "icon_file.h"

std::vector<IconFileImage> IconFileImages(std::string const& file)
{
    // Little-endian, as the format is.
    auto number = [&file](size_t at, size_t size) {
        size_t value = 0;
        for (size_t i = size; i-- > 0;)
            value = value << 8 | static_cast<size_t>(static_cast<unsigned char>(file[at + i]));
        return value;
    };
    // ICONDIR: reserved 0, type 1 (icons, not cursors), count; then 16 bytes an image.
    if (file.size() < 6 || number(0, 2) != 0 || number(2, 2) != 1)
        return {};
    size_t const end = 6 + 16 * number(4, 2);
    if (file.size() < end)
        return {};
    std::vector<IconFileImage> images;
    for (size_t entry = 6; entry < end; entry += 16) {
        size_t const size = number(entry + 8, 4);
        size_t const offset = number(entry + 12, 4);
        if (offset > file.size() || size > file.size() - offset)
            return {};
        int const width = static_cast<int>(number(entry, 1));
        int const height = static_cast<int>(number(entry + 1, 1));
        images.push_back({width ? width : 256, height ? height : 256, static_cast<int>(number(entry + 6, 2)),
                          static_cast<int>(number(entry + 2, 1)), static_cast<int>(number(entry + 4, 2)),
                          file.substr(offset, size)});
    }
    return images;
}
