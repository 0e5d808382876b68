// The images of an ICO file, as its directory lists them.
#pragma once

#include <string>
#include <vector>

struct IconFileImage {
    int width;  // in pixels: 256 where the directory says 0
    int height;
    int bitCount;
    int colorCount;
    int planes;
    std::string bytes;  // the image itself, as the file holds it
};

// In the directory's order; empty when the bytes are not an icon file or an
// image would lie outside them.
std::vector<IconFileImage> IconFileImages(std::string const& file);
