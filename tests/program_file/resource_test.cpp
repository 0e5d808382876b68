// Reads the program file's resources as Windows sees them, and the icon the
// shell shows for it. The compared pictures are saved as BMP files, to look at.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "program_file.h"
#include "rig/bitmap.h"
#include "rig/files.h"

namespace {

// The asset's five images, in its own order.
struct ExpectedImage {
    int size;
    int bitCount;
    DWORD bytes;
};
ExpectedImage const ExpectedImages[] = {
    {48, 32, 9640}, {32, 32, 4264}, {32, 8, 2216}, {16, 32, 1128}, {16, 8, 1384},
};
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

// One image as the ICO file's directory describes it.
struct AssetImage {
    int width;
    int height;
    int bitCount;
    std::string bytes;
};

std::vector<AssetImage> AssetImages()
{
    std::string file;
    EXPECT_TRUE(ReadBytes(Checked().iconAsset, file));
    std::vector<AssetImage> images;
    if (file.size() < 6)
        return images;
    WORD count = 0;
    std::memcpy(&count, file.data() + 4, sizeof(count));
    for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= file.size(); ++i) {
        unsigned char const* entry = reinterpret_cast<unsigned char const*>(file.data()) + 6 + 16 * i;
        WORD bitCount = 0;
        DWORD size = 0;
        DWORD offset = 0;
        std::memcpy(&bitCount, entry + 6, sizeof(bitCount));
        std::memcpy(&size, entry + 8, sizeof(size));
        std::memcpy(&offset, entry + 12, sizeof(offset));
        if (static_cast<size_t>(offset) + size > file.size())
            break;
        images.push_back({entry[0] ? entry[0] : 256, entry[1] ? entry[1] : 256, bitCount, file.substr(offset, size)});
    }
    return images;
}

// The program file as a bag of resources, as Explorer would open it.
class ProgramFile {
public:
    ProgramFile()
        : module_(LoadLibraryExW(Checked().program.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~ProgramFile()
    {
        if (module_)
            FreeLibrary(module_);
    }
    ProgramFile(ProgramFile const&) = delete;
    ProgramFile& operator=(ProgramFile const&) = delete;

    HMODULE Module() const { return module_; }

    // The bytes of one resource; empty when there is none.
    std::string Bytes(LPCWSTR type, WORD id) const
    {
        HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
        if (!found)
            return {};
        HGLOBAL loaded = LoadResource(module_, found);
        void const* data = loaded ? LockResource(loaded) : nullptr;
        if (!data)
            return {};
        return std::string(static_cast<char const*>(data), SizeofResource(module_, found));
    }

private:
    HMODULE module_;
};

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

std::vector<std::wstring> Types(HMODULE module)
{
    std::vector<std::wstring> types;
    EnumResourceTypesW(module, CollectType, reinterpret_cast<LONG_PTR>(&types));
    return types;
}

std::vector<std::wstring> Names(HMODULE module, LPCWSTR type)
{
    std::vector<std::wstring> names;
    EnumResourceNamesW(module, type, CollectName, reinterpret_cast<LONG_PTR>(&names));
    return names;
}

std::vector<WORD> Languages(HMODULE module, LPCWSTR type, WORD id)
{
    std::vector<WORD> languages;
    EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(id), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

TEST(ProgramResources, HoldOnlyTheIconAndTheManifest)
{
    ProgramFile program;
    ASSERT_NE(program.Module(), nullptr) << "cannot open " << Utf8(Checked().program) << ": " << GetLastError();

    // No version resource, no dialogs, no strings: only what the shell reads.
    EXPECT_EQ(Types(program.Module()), (std::vector<std::wstring>{L"#3", L"#14", L"#24"}));
    EXPECT_EQ(Names(program.Module(), RT_ICON), (std::vector<std::wstring>{L"#1", L"#2", L"#3", L"#4", L"#5"}));
    EXPECT_EQ(Names(program.Module(), RT_GROUP_ICON), (std::vector<std::wstring>{L"#107"}));
    EXPECT_EQ(Names(program.Module(), RT_MANIFEST), (std::vector<std::wstring>{L"#1"}));

    // One language each: a second manifest, say a toolchain's default one,
    // would hide under the same id in another language.
    for (WORD id = 1; id <= 5; ++id)
        EXPECT_EQ(Languages(program.Module(), RT_ICON, id).size(), 1u) << "icon image " << id;
    EXPECT_EQ(Languages(program.Module(), RT_GROUP_ICON, IconGroupId).size(), 1u);
    EXPECT_EQ(Languages(program.Module(), RT_MANIFEST, ManifestId).size(), 1u);
}

TEST(ProgramResources, IconGroupListsTheAssetsFiveImages)
{
    ProgramFile program;
    ASSERT_NE(program.Module(), nullptr);
    std::string const group = program.Bytes(RT_GROUP_ICON, IconGroupId);
    size_t const expectedCount = std::size(ExpectedImages);
    ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + expectedCount * sizeof(GroupIconEntry));

    GroupIconHeader header{};
    std::memcpy(&header, group.data(), sizeof(header));
    EXPECT_EQ(header.reserved, 0);
    EXPECT_EQ(header.type, 1);  // icons, not cursors
    EXPECT_EQ(header.count, expectedCount);

    for (size_t i = 0; i < expectedCount; ++i) {
        GroupIconEntry entry{};
        std::memcpy(&entry, group.data() + sizeof(header) + i * sizeof(entry), sizeof(entry));
        ExpectedImage const& expected = ExpectedImages[i];
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(entry.width, expected.size);
        EXPECT_EQ(entry.height, expected.size);
        EXPECT_EQ(entry.colorCount, 0);
        EXPECT_EQ(entry.reserved, 0);
        EXPECT_EQ(entry.planes, 1);
        EXPECT_EQ(entry.bitCount, expected.bitCount);
        EXPECT_EQ(entry.bytesInRes, expected.bytes);
        EXPECT_EQ(entry.id, i + 1);
    }
}

TEST(ProgramResources, IconImagesAreTheAssetsBytes)
{
    std::vector<AssetImage> const asset = AssetImages();
    ASSERT_EQ(asset.size(), std::size(ExpectedImages));
    ProgramFile program;
    ASSERT_NE(program.Module(), nullptr);
    for (size_t i = 0; i < asset.size(); ++i) {
        SCOPED_TRACE("image " + std::to_string(i + 1));
        EXPECT_EQ(asset[i].width, ExpectedImages[i].size);
        EXPECT_EQ(asset[i].bitCount, ExpectedImages[i].bitCount);
        EXPECT_EQ(asset[i].bytes.size(), ExpectedImages[i].bytes);
        std::string const image = program.Bytes(RT_ICON, static_cast<WORD>(i + 1));
        EXPECT_EQ(image.size(), asset[i].bytes.size());
        EXPECT_TRUE(image == asset[i].bytes);
    }
}

TEST(ProgramResources, ManifestIsTheResourceScriptsFile)
{
    std::string manifest;
    ASSERT_TRUE(ReadBytes(Checked().manifest, manifest));
    ProgramFile program;
    ASSERT_NE(program.Module(), nullptr);
    EXPECT_EQ(program.Bytes(RT_MANIFEST, ManifestId), manifest);
    // What it asks for, spelled out, so an edit to the file cannot slip by.
    EXPECT_NE(manifest.find("manifestVersion=\"1.0\""), std::string::npos);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos);
    EXPECT_EQ(manifest.find("<dependency"), std::string::npos);
    EXPECT_EQ(manifest.find("<application"), std::string::npos);
    EXPECT_EQ(manifest.find("<compatibility"), std::string::npos);
}

// A picture drawn by GDI: 0x00RRGGBB per pixel, top row first. GDI leaves the
// alpha byte undefined on an opaque surface, so it is not part of the picture.
struct Picture {
    int size = 0;
    std::vector<DWORD> pixels;
};

Picture Render(HICON icon, int size, DWORD background)
{
    Picture picture;
    picture.size = size;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dc || !bitmap || !bits) {
        ADD_FAILURE() << "cannot make a " << size << " px drawing surface";
        return picture;
    }
    HGDIOBJ const previous = SelectObject(dc, bitmap);
    DWORD* const pixels = static_cast<DWORD*>(bits);
    size_t const count = static_cast<size_t>(size) * static_cast<size_t>(size);
    std::fill(pixels, pixels + count, background);
    EXPECT_TRUE(DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL));
    GdiFlush();
    picture.pixels.assign(pixels, pixels + count);
    for (DWORD& pixel : picture.pixels)
        pixel &= 0x00FFFFFF;
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return picture;
}

// Owns an icon handle.
class Icon {
public:
    explicit Icon(HICON icon = nullptr) : icon_(icon) {}
    ~Icon()
    {
        if (icon_)
            DestroyIcon(icon_);
    }
    Icon(Icon const&) = delete;
    Icon& operator=(Icon const&) = delete;
    HICON Get() const { return icon_; }

private:
    HICON icon_;
};

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

// The asset's own true-colour image of that size, as an icon.
HICON AssetIcon(std::vector<AssetImage> const& asset, int size)
{
    for (AssetImage const& image : asset) {
        if (image.width == size && image.bitCount == 32) {
            std::string bytes = image.bytes;
            return CreateIconFromResourceEx(reinterpret_cast<PBYTE>(bytes.data()), static_cast<DWORD>(bytes.size()),
                                            TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
        }
    }
    ADD_FAILURE() << "the asset has no 32-bit " << size << " px image";
    return nullptr;
}

int IconWidth(HICON icon)
{
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    if (info.hbmMask)
        DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// Not blank: most of the square is drawn over, in more than one colour.
void ExpectDrawn(Picture const& picture, DWORD background)
{
    size_t covered = 0;
    std::set<DWORD> colours;
    for (DWORD pixel : picture.pixels) {
        if (pixel != background)
            ++covered;
        colours.insert(pixel);
    }
    EXPECT_GT(covered, picture.pixels.size() / 2);
    EXPECT_GT(colours.size(), 2u);
}

TEST(ShellIcon, ProgramShowsTheSamePictureAsTheIconFile)
{
    // The icon file the program writes holds IconImage: the asset plus one zero.
    std::string iconImage;
    ASSERT_TRUE(ReadBytes(Checked().iconAsset, iconImage));
    iconImage.push_back('\0');
    std::wstring const folder = FreshTempFolder(L"quorvel-shell-icon");
    std::wstring const iconFile = folder + L"\\gomri.ico";
    WriteBytes(iconFile, iconImage);
    std::vector<AssetImage> const asset = AssetImages();

    // A light and a dark backdrop, so both the colours and the edges' blending count.
    struct Backdrop {
        DWORD colour;
        wchar_t const* name;
    } const backdrops[] = {{0x00FF00FF, L"magenta"}, {0x00202020, L"dark"}};

    for (int size : {32, 16}) {
        Icon const fromProgram(ShellIcon(Checked().program, size));
        Icon const fromIconFile(ShellIcon(iconFile, size));
        Icon const drawn(AssetIcon(asset, size));
        ASSERT_TRUE(fromProgram.Get() && fromIconFile.Get() && drawn.Get()) << size << " px";
        EXPECT_EQ(IconWidth(fromProgram.Get()), size);
        EXPECT_EQ(IconWidth(fromIconFile.Get()), size);
        for (Backdrop const& backdrop : backdrops) {
            SCOPED_TRACE(std::to_string(size) + " px over " + Utf8(backdrop.name));
            Picture const program = Render(fromProgram.Get(), size, backdrop.colour);
            Picture const file = Render(fromIconFile.Get(), size, backdrop.colour);
            std::wstring const stem = Checked().renderFolder + L"\\icon-" + std::to_wstring(size) + L"-" + backdrop.name;
            SaveBmp(stem + L"-program.bmp", program.size, program.size, program.pixels);
            SaveBmp(stem + L"-gomri.bmp", file.size, file.size, file.pixels);
            ExpectDrawn(program, backdrop.colour);
            EXPECT_TRUE(program.pixels == file.pixels);
            // And it is the image drawn for this size, not another one scaled.
            EXPECT_TRUE(program.pixels == Render(drawn.Get(), size, backdrop.colour).pixels);
        }
    }
    RemoveTree(folder);
}

} // namespace
