// The program file under check, and what it is checked against: the icon
// asset and the manifest it is built from, read before any test runs.
#pragma once

#include <string>
#include <vector>

#include "rig/icon_file.h"

struct ProgramFiles {
    std::wstring program;
    std::string iconAsset;                   // the asset's bytes
    std::vector<IconFileImage> assetImages;  // as the asset's directory lists them
    std::string manifest;                    // the manifest file's bytes
    std::wstring renderFolder;               // where the compared pictures are saved
};

ProgramFiles const& ProgramUnderCheck();
