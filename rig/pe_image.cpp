#include "pe_image.h"

#include <cstddef>
#include <cstring>

namespace {

template <typename T>
T const* At(PeImage const& image, DWORD rva)
{
    return static_cast<T const*>(AtRva(image, rva, sizeof(T)));
}

// A zero-terminated name at rva; "?" when it runs off the image.
std::string NameAt(PeImage const& image, DWORD rva)
{
    std::string name;
    for (char const* c; (c = At<char>(image, rva)) != nullptr && *c; ++rva)
        name += *c;
    return At<char>(image, rva) ? name : "?";
}

IMAGE_DATA_DIRECTORY Directory(PeImage const& image, int entry)
{
    return image.nt.OptionalHeader.DataDirectory[entry];
}

std::vector<IMAGE_IMPORT_DESCRIPTOR const*> ImportEntries(PeImage const& image)
{
    std::vector<IMAGE_IMPORT_DESCRIPTOR const*> entries;
    DWORD rva = Directory(image, IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress;
    for (IMAGE_IMPORT_DESCRIPTOR const* entry; rva && (entry = At<IMAGE_IMPORT_DESCRIPTOR>(image, rva)) && entry->Name;
         rva += static_cast<DWORD>(sizeof(*entry)))
        entries.push_back(entry);
    return entries;
}

} // namespace

bool ReadPeFile(std::string const& bytes, PeImage& image)
{
    image = PeImage{};
    image.base = reinterpret_cast<BYTE const*>(bytes.data());
    image.size = bytes.size();
    IMAGE_DOS_HEADER dos{};
    if (bytes.size() < sizeof(dos))
        return false;
    std::memcpy(&dos, bytes.data(), sizeof(dos));
    size_t const ntAt = static_cast<size_t>(dos.e_lfanew);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || ntAt > bytes.size() || bytes.size() - ntAt < sizeof(image.nt))
        return false;
    std::memcpy(&image.nt, bytes.data() + ntAt, sizeof(image.nt));
    if (image.nt.Signature != IMAGE_NT_SIGNATURE || image.nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return false;
    size_t const first = ntAt + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + image.nt.FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < image.nt.FileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section{};
        size_t const at = first + i * sizeof(section);
        if (at > bytes.size() || bytes.size() - at < sizeof(section))
            return false;
        std::memcpy(&section, bytes.data() + at, sizeof(section));
        image.sections.push_back(section);
    }
    return true;
}

PeImage PeImageOfModule(HMODULE module)
{
    PeImage image;
    image.base = reinterpret_cast<BYTE const*>(module ? module : GetModuleHandleW(nullptr));
    image.mapped = true;
    auto const* dos = reinterpret_cast<IMAGE_DOS_HEADER const*>(image.base);
    std::memcpy(&image.nt, image.base + dos->e_lfanew, sizeof(image.nt));
    return image;
}

void const* AtRva(PeImage const& image, DWORD rva, size_t size)
{
    if (image.mapped)
        return rva < image.nt.OptionalHeader.SizeOfImage ? image.base + rva : nullptr;
    for (IMAGE_SECTION_HEADER const& section : image.sections) {
        if (rva < section.VirtualAddress || rva - section.VirtualAddress >= section.SizeOfRawData)
            continue;
        size_t const offset = size_t{rva - section.VirtualAddress} + section.PointerToRawData;
        return offset <= image.size && image.size - offset >= size ? image.base + offset : nullptr;
    }
    return nullptr;
}

std::vector<std::string> ImportedDlls(PeImage const& image)
{
    std::vector<std::string> names;
    for (IMAGE_IMPORT_DESCRIPTOR const* entry : ImportEntries(image))
        names.push_back(NameAt(image, entry->Name));
    return names;
}

std::vector<std::string> DelayImportedDlls(PeImage const& image)
{
    std::vector<std::string> names;
    DWORD rva = Directory(image, IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT).VirtualAddress;
    for (IMAGE_DELAYLOAD_DESCRIPTOR const* entry;
         rva && (entry = At<IMAGE_DELAYLOAD_DESCRIPTOR>(image, rva)) && entry->DllNameRVA; rva += static_cast<DWORD>(sizeof(*entry)))
        names.push_back(NameAt(image, entry->DllNameRVA));
    return names;
}

std::vector<std::pair<std::string, void**>> ImportedFunctions(PeImage const& image)
{
    std::vector<std::pair<std::string, void**>> functions;
    for (IMAGE_IMPORT_DESCRIPTOR const* entry : ImportEntries(image)) {
        auto const* names = At<IMAGE_THUNK_DATA64>(image, entry->OriginalFirstThunk);
        auto* slots = const_cast<IMAGE_THUNK_DATA64*>(At<IMAGE_THUNK_DATA64>(image, entry->FirstThunk));
        for (; names && slots && names->u1.AddressOfData; ++names, ++slots)
            if (!IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal))
                functions.emplace_back(NameAt(image, static_cast<DWORD>(names->u1.AddressOfData
                                                                      + offsetof(IMAGE_IMPORT_BY_NAME, Name))),
                                       reinterpret_cast<void**>(&slots->u1.Function));
    }
    return functions;
}

void** ImportSlot(PeImage const& image, char const* function)
{
    if (!image.mapped)
        return nullptr;
    for (auto const& [name, slot] : ImportedFunctions(image))
        if (name == function)
            return slot;
    return nullptr;
}
