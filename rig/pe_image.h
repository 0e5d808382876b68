// A 64-bit PE image's headers and import tables, read either from the
// file's bytes or from a module loaded in this process.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct PeImage {
    BYTE const* base = nullptr;
    size_t size = 0;       // of the bytes at base, for a file; 0 for a module
    bool mapped = false;   // laid out as loaded, so an RVA is an offset from base
    IMAGE_NT_HEADERS64 nt{};
    std::vector<IMAGE_SECTION_HEADER> sections;
};

// False when bytes do not hold a PE32+ image; image points into bytes.
bool ReadPeFile(std::string const& bytes, PeImage& image);

// A module loaded in this process, the program itself for null.
PeImage PeImageOfModule(HMODULE module);

// Where size bytes at rva are, or null when they are not all in the image.
void const* AtRva(PeImage const& image, DWORD rva, size_t size);

// The names of the DLLs the image imports, in table order.
std::vector<std::string> ImportedDlls(PeImage const& image);
std::vector<std::string> DelayImportedDlls(PeImage const& image);
// The functions it imports by name, from any DLL, each with its import
// address slot (written to only in a loaded module).
std::vector<std::pair<std::string, void**>> ImportedFunctions(PeImage const& image);

// The import address slot of function, from whichever DLL, in a loaded
// module; null when the module does not import it.
void** ImportSlot(PeImage const& image, char const* function);
