// Reads the program file's resources as Windows sees them, and the icon the
// shell shows for it. The compared pictures are saved as BMP files, to look at.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "program_file.h"
#include "rig/bitmap.h"
#include "rig/files.h"

namespace {

// As the resource script numbers them.
WORD const IconGroupId = 107;
WORD const ManifestId = 1;

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "GRPICONDIRENTRY is 14 bytes");

// A resource type or name as "#3" for numbers, or the name itself.
std::wstring Label(LPCWSTR typeOrName)
{
    if (IS_INTRESOURCE(typeOrName))
        return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(typeOrName));
    return typeOrName;
}

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR found)
{
    reinterpret_cast<std::vector<std::wstring>*>(found)->push_back(Label(type));
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found)
{
    reinterpret_cast<std::vector<std::wstring>*>(found)->push_back(Label(name));
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

// The program file opened as a bag of resources, as Explorer would open it.
class ProgramResources : public testing::Test {
protected:
    void SetUp() override
    {
        std::wstring const& program = ProgramUnderCheck().program;
        module_ = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot open " << Utf8(program) << ": " << GetLastError();
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }

    std::vector<std::wstring> Types() const
    {
        std::vector<std::wstring> types;
        EnumResourceTypesW(module_, CollectType, reinterpret_cast<LONG_PTR>(&types));
        return types;
    }
    std::vector<std::wstring> Names(LPCWSTR type) const
    {
        std::vector<std::wstring> names;
        EnumResourceNamesW(module_, type, CollectName, reinterpret_cast<LONG_PTR>(&names));
        return names;
    }
    std::vector<WORD> Languages(LPCWSTR type, WORD id) const
    {
        std::vector<WORD> languages;
        EnumResourceLanguagesW(module_, type, MAKEINTRESOURCEW(id), CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        return languages;
    }
    // The bytes of one resource; empty when there is none.
    std::string Bytes(LPCWSTR type, WORD id) const
    {
        HRSRC const found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
        HGLOBAL const loaded = found ? LoadResource(module_, found) : nullptr;
        void const* const data = loaded ? LockResource(loaded) : nullptr;
        return data ? std::string(static_cast<char const*>(data), SizeofResource(module_, found)) : std::string();
    }

    HMODULE module_ = nullptr;
};

TEST_F(ProgramResources, HoldOnlyTheIconAndTheManifest)
{
    // No version resource, no dialogs, no strings: only the icon and the manifest.
    EXPECT_EQ(Types(), (std::vector<std::wstring>{L"#3", L"#14", L"#24"}));
    // Images #1 to #n, one for each of the asset's.
    WORD const imageCount = static_cast<WORD>(ProgramUnderCheck().assetImages.size());
    std::vector<std::wstring> imageNames;
    for (WORD id = 1; id <= imageCount; ++id)
        imageNames.push_back(Label(MAKEINTRESOURCEW(id)));
    EXPECT_EQ(Names(RT_ICON), imageNames);
    EXPECT_EQ(Names(RT_GROUP_ICON), (std::vector<std::wstring>{Label(MAKEINTRESOURCEW(IconGroupId))}));
    EXPECT_EQ(Names(RT_MANIFEST), (std::vector<std::wstring>{Label(MAKEINTRESOURCEW(ManifestId))}));

    // One language each: a second manifest, say a toolchain's default one,
    // would hide under the same id in another language.
    for (WORD id = 1; id <= imageCount; ++id)
        EXPECT_EQ(Languages(RT_ICON, id).size(), 1u) << "icon image " << id;
    EXPECT_EQ(Languages(RT_GROUP_ICON, IconGroupId).size(), 1u);
    EXPECT_EQ(Languages(RT_MANIFEST, ManifestId).size(), 1u);
}

TEST_F(ProgramResources, IconGroupListsTheAssetsImagesAndHoldsTheirBytes)
{
    std::vector<IconFileImage> const& asset = ProgramUnderCheck().assetImages;
    std::string const group = Bytes(RT_GROUP_ICON, IconGroupId);
    ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + asset.size() * sizeof(GroupIconEntry));

    GroupIconHeader header{};
    std::memcpy(&header, group.data(), sizeof(header));
    EXPECT_EQ(header.reserved, 0);
    EXPECT_EQ(header.type, 1);  // icons, not cursors
    EXPECT_EQ(header.count, asset.size());

    // Entry for entry what the asset's directory says, in its order.
    for (size_t i = 0; i < asset.size(); ++i) {
        GroupIconEntry entry{};
        std::memcpy(&entry, group.data() + sizeof(header) + i * sizeof(entry), sizeof(entry));
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(entry.width, static_cast<BYTE>(asset[i].width));  // 256 is written as 0
        EXPECT_EQ(entry.height, static_cast<BYTE>(asset[i].height));
        EXPECT_EQ(entry.colorCount, asset[i].colorCount);
        EXPECT_EQ(entry.reserved, 0);
        EXPECT_EQ(entry.planes, asset[i].planes);
        EXPECT_EQ(entry.bitCount, asset[i].bitCount);
        EXPECT_EQ(entry.bytesInRes, asset[i].bytes.size());
        EXPECT_EQ(entry.id, i + 1);
        EXPECT_TRUE(Bytes(RT_ICON, entry.id) == asset[i].bytes) << "the image's bytes are not the asset's";
    }
}

TEST_F(ProgramResources, ManifestIsTheResourceScriptsFile)
{
    std::string const manifest = Bytes(RT_MANIFEST, ManifestId);
    EXPECT_EQ(manifest, ProgramUnderCheck().manifest);
    // What it asks for, spelled out, so an edit to the file cannot slip by.
    EXPECT_NE(manifest.find("manifestVersion=\"1.0\""), std::string::npos);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos);
    EXPECT_EQ(manifest.find("<dependency"), std::string::npos);
    EXPECT_EQ(manifest.find("<application"), std::string::npos);
    EXPECT_EQ(manifest.find("<compatibility"), std::string::npos);
}

// The icon the shell shows for a file at one size. One size a call: asked for
// a large and a small one together, Wine scales the large image down for the
// small one instead of taking the file's own small image.
HICON ShellIcon(std::wstring const& path, int size)
{
    HICON icon = nullptr;
    WORD const pixels = static_cast<WORD>(size);
    HRESULT const hr = SHDefExtractIconW(path.c_str(), 0, 0, &icon, nullptr, MAKELONG(pixels, pixels));
    EXPECT_EQ(hr, S_OK) << Utf8(path) << " at " << size << " px";
    return icon;
}

// The asset's own true-colour image of that size, as an icon; null when it has none.
HICON AssetIcon(int size)
{
    // A copy each: the call takes the bytes as writable.
    for (IconFileImage image : ProgramUnderCheck().assetImages)
        if (image.width == size && image.bitCount == 32)
            return CreateIconFromResourceEx(reinterpret_cast<PBYTE>(image.bytes.data()),
                                            static_cast<DWORD>(image.bytes.size()), TRUE, 0x00030000, size, size,
                                            LR_DEFAULTCOLOR);
    return nullptr;
}

// Not blank: most of the square is drawn over, in more than one colour.
void ExpectDrawn(std::vector<DWORD> const& pixels, DWORD background)
{
    size_t covered = 0;
    std::set<DWORD> colours;
    for (DWORD pixel : pixels) {
        if (pixel != background)
            ++covered;
        colours.insert(pixel);
    }
    EXPECT_GT(covered, pixels.size() / 2);
    EXPECT_GT(colours.size(), 2u);
}

TEST(ShellIcon, ProgramShowsTheSamePictureAsTheIconFile)
{
    // The icon file the program writes holds IconImage: the asset plus one zero.
    std::wstring const folder = FreshTempFolder(L"quorvel-shell-icon");
    std::wstring const iconFile = folder + L"\\gomri.ico";
    WriteBytes(iconFile, ProgramUnderCheck().iconAsset + '\0');

    // A light and a dark backdrop, so both the colours and the edges' blending count.
    struct Backdrop {
        DWORD colour;
        wchar_t const* name;
    } const backdrops[] = {{0x00FF00FF, L"magenta"}, {0x00202020, L"dark"}};

    // The shell's large and small icons.
    for (int size : {32, 16}) {
        HICON const fromProgram = ShellIcon(ProgramUnderCheck().program, size);
        HICON const fromIconFile = ShellIcon(iconFile, size);
        HICON const asset = AssetIcon(size);
        ASSERT_TRUE(fromProgram && fromIconFile && asset) << size << " px";
        for (Backdrop const& backdrop : backdrops) {
            SCOPED_TRACE(std::to_string(size) + " px over " + Utf8(backdrop.name));
            std::vector<DWORD> const program = DrawnIcon(fromProgram, size, backdrop.colour);
            std::vector<DWORD> const file = DrawnIcon(fromIconFile, size, backdrop.colour);
            std::wstring const stem =
                ProgramUnderCheck().renderFolder + L"\\icon-" + std::to_wstring(size) + L"-" + backdrop.name;
            SaveBmp(stem + L"-program.bmp", size, size, program);
            SaveBmp(stem + L"-gomri.bmp", size, size, file);
            ExpectDrawn(program, backdrop.colour);
            EXPECT_TRUE(program == file);
            // And it is the asset's image for this size, not another one scaled.
            EXPECT_TRUE(program == DrawnIcon(asset, size, backdrop.colour));
        }
        DestroyIcon(fromProgram);
        DestroyIcon(fromIconFile);
        DestroyIcon(asset);
    }
    RemoveTree(folder);
}

} // namespace
