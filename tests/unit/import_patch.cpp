#include "import_patch.h"

#include <windows.h>

#include "rig/pe_image.h"

namespace {

void WriteSlot(void** slot, void* value)
{
    DWORD protection = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

} // namespace

ImportPatch::ImportPatch(char const* dll, char const* function, void* replacement)
    : slot_(ImportSlot(PeImageOfModule(nullptr), dll, function))
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
