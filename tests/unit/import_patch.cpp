#include "import_patch.h"

#include <windows.h>

#include <cstring>

namespace {

void** FindImportSlot(char const* dll, char const* function)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto const* dos = reinterpret_cast<IMAGE_DOS_HEADER const*>(base);
    auto const* nt = reinterpret_cast<IMAGE_NT_HEADERS const*>(base + dos->e_lfanew);
    auto const& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto const* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR const*>(base + imports.VirtualAddress);
         entry->Name; ++entry) {
        if (lstrcmpiA(reinterpret_cast<char const*>(base + entry->Name), dll) != 0)
            continue;
        auto const* names = reinterpret_cast<IMAGE_THUNK_DATA const*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto const* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME const*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char const*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value)
{
    DWORD protection = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

} // namespace

ImportPatch::ImportPatch(char const* dll, char const* function, void* replacement)
    : slot_(FindImportSlot(dll, function))
{
    if (slot_) {
        original_ = *slot_;
        WriteSlot(slot_, replacement);
    }
}

ImportPatch::~ImportPatch()
{
    if (slot_)
        WriteSlot(slot_, original_);
}
