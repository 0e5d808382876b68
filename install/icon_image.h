// The icon file written beside the shortcut: the ICO asset plus one trailing
// zero byte. Generated at build time from resources/quorvel.ico.
#pragma once

#include <stddef.h>

constexpr size_t IconImageSize = 18719;
extern unsigned char const IconImage[IconImageSize];
