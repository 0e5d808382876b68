// The program file under check, and what it is checked against.
#pragma once

#include <string>

struct CheckedFiles {
    std::wstring program;
    std::wstring iconAsset;
    std::wstring manifest;
    std::wstring renderFolder;  // where the compared pictures are saved
};

CheckedFiles const& Checked();
