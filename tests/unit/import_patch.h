// Swaps an entry of this test program's import table for a replacement, so a
// test can see, script or fail calls whose effects Wine does not let it
// observe or produce.
#pragma once

class ImportPatch {
public:
    // Redirects calls this program makes to function, whichever DLL it comes
    // from, until destroyed. When the program does not import it, nothing is
    // patched and Original() is null.
    ImportPatch(char const* function, void* replacement);
    ~ImportPatch();
    ImportPatch(ImportPatch const&) = delete;
    ImportPatch& operator=(ImportPatch const&) = delete;

    // What the slot held before: the real function.
    void* Original() const { return original_; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};
