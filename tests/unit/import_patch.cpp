#include "import_patch.h"

#include <windows.h>

#include "rig/pe_image.h"
#include "rig/setup_check.h"

namespace {

void WriteSlot(void** slot, void* value)
{
    DWORD protection = 0;
    SetupCheck(VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection) != FALSE, "VirtualProtect");
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

} // namespace

ImportPatch::ImportPatch(char const* function, void* replacement)
    : slot_(ImportSlot(PeImageOfModule(nullptr), function))
{
    if (!slot_)
        return;
    original_ = *slot_;
    WriteSlot(slot_, replacement);
}

ImportPatch::~ImportPatch()
{
    if (slot_)
        WriteSlot(slot_, original_);
}
