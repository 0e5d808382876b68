// The program file's PE header and imports, read from the file itself: what
// it needs from the system, and the exploit mitigations it asks for.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "program_file.h"
#include "rig/files.h"
#include "rig/pe_image.h"

namespace {

class ImageHeader : public testing::Test {
protected:
    void SetUp() override
    {
        std::wstring const& program = ProgramUnderCheck().program;
        ASSERT_TRUE(ReadBytes(program, bytes_)) << "cannot read " << Utf8(program);
        ASSERT_TRUE(ReadPeFile(bytes_, image_)) << "not a 64-bit PE file";
    }

    IMAGE_DATA_DIRECTORY Directory(int entry) const { return image_.nt.OptionalHeader.DataDirectory[entry]; }

    std::string bytes_;
    PeImage image_;
};

TEST_F(ImageHeader, ImportsOnlyWindowsOwnDlls)
{
    // Anything else would have to ship beside the program (libstdc++, libgcc,
    // winpthread, libssp) or might be missing on a plain Windows.
    std::set<std::string> const allowed = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll",
                                           "oleaut32.dll", "advapi32.dll", "shlwapi.dll", "msvcrt.dll"};
    std::vector<std::string> const imports = ImportedDlls(image_);
    EXPECT_FALSE(imports.empty()) << "no import table";
    for (std::string dll : imports) {
        std::transform(dll.begin(), dll.end(), dll.begin(), [](unsigned char c) { return std::tolower(c); });
        EXPECT_TRUE(allowed.count(dll)) << "imports " << dll << ", which is not a Windows system DLL";
    }
    // Delay-loaded DLLs would be found through the search order at run time.
    EXPECT_EQ(Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT).Size, 0u);
    EXPECT_TRUE(DelayImportedDlls(image_).empty());
}

// Windows 7 without KB2533623 lacks these: imported, they would keep the
// program from starting there at all, so it looks them up instead.
TEST_F(ImageHeader, StartsOnWindows7WithoutTheDllDirectoryUpdate)
{
    std::set<std::string> functions;
    for (auto const& function : ImportedFunctions(image_))
        functions.insert(function.first);
    EXPECT_TRUE(functions.count("MessageBoxW")) << "the imports were read wrongly";
    for (char const* missing : {"SetDefaultDllDirectories", "AddDllDirectory", "RemoveDllDirectory"})
        EXPECT_FALSE(functions.count(missing)) << "imports " << missing;
}

TEST_F(ImageHeader, AsksForTheMitigationsAsAGuiProgram)
{
    EXPECT_EQ(image_.nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    WORD const wanted = IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA | IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE
                        | IMAGE_DLLCHARACTERISTICS_NX_COMPAT | IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE;
    EXPECT_EQ(image_.nt.OptionalHeader.DllCharacteristics & wanted, wanted);
    // ASLR needs the relocations to be there.
    EXPECT_FALSE(image_.nt.FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    EXPECT_NE(Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 0u);
}

TEST_F(ImageHeader, CarriesNoBuildTimeOrPath)
{
#ifdef _MSC_VER
    // /Brepro puts a hash of the contents where the time would be, in a
    // REPRO entry of the debug directory; no entry may name a PDB.
    IMAGE_DATA_DIRECTORY const debug = Directory(IMAGE_DIRECTORY_ENTRY_DEBUG);
    for (DWORD at = 0; at + sizeof(IMAGE_DEBUG_DIRECTORY) <= debug.Size; at += sizeof(IMAGE_DEBUG_DIRECTORY)) {
        auto const* entry = static_cast<IMAGE_DEBUG_DIRECTORY const*>(
            AtRva(image_, debug.VirtualAddress + at, sizeof(IMAGE_DEBUG_DIRECTORY)));
        ASSERT_NE(entry, nullptr);
        EXPECT_NE(entry->Type, static_cast<DWORD>(IMAGE_DEBUG_TYPE_CODEVIEW)) << "names a PDB";
    }
#else
    EXPECT_EQ(image_.nt.FileHeader.TimeDateStamp, 0u);
    // A debug directory would carry a time stamp and a path.
    EXPECT_EQ(Directory(IMAGE_DIRECTORY_ENTRY_DEBUG).Size, 0u);
#endif
}

} // namespace
