// Swaps an entry of this test program's import table for a recorder, so a
// test can see calls whose effects Wine does not let it observe.
#pragma once

class ImportPatch {
public:
    // Redirects calls this program makes to dll!function; restored on destruction.
    ImportPatch(char const* dll, char const* function, void* replacement);
    ~ImportPatch();
    ImportPatch(ImportPatch const&) = delete;
    ImportPatch& operator=(ImportPatch const&) = delete;

    bool Applied() const { return slot_ != nullptr; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};
