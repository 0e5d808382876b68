// The whole program, run for real under Wine: each scenario arranges the
// disk, the registry or the shortcut object, plays the user's answers and
// checks every box, the exit code, both files, the calls the shortcut
// object received and the settings-change broadcast.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "broadcast_listener.h"
#include "scenario_world.h"
#include "user_player.h"

namespace {

wchar_t const Caption[] = L"创建Quorvel桌面快捷方式";
wchar_t const Question[] = L"在桌面创建Quorvel的快捷方式么？";
wchar_t const Overwrite[] = L"Quorvel的桌面快捷方式已存在，是否覆盖？";
wchar_t const Created[] = L"创建Quorvel桌面快捷方式成功";
wchar_t const NotCreated[] = L"未创建Quorvel桌面快捷方式";
wchar_t const Url[] = L"http://www.quorvel.com/";

enum class IconAfter { Absent, Image, Unchanged, NotRead };
enum class ShortcutAfter { Absent, Saved, Unchanged };

struct Scenario {
    char const* name;
    void (*arrange)();
    std::vector<int> answers;
    std::vector<wchar_t const*> boxes;  // texts, in the order shown
    DWORD exitCode;
    IconAfter icon;
    ShortcutAfter shortcut;
    std::vector<char const*> calls;     // "{icon}" and "{shortcut}" stand for the paths
    bool refreshed;
    wchar_t const* arguments = L"";
    void (*verify)() = nullptr;         // what the arrangement must still show afterwards
};

// Names the case in gtest's output instead of dumping its bytes.
void PrintTo(Scenario const& scenario, std::ostream* out)
{
    *out << scenario.name;
}

HANDLE HeldIcon = INVALID_HANDLE_VALUE;

void Nothing() {}

void ExistingShortcut()
{
    WriteBytes(ShortcutPath(), "[InternetShortcut]\r\nURL=http://example.invalid/\r\n");
    WriteBytes(IconPath(), "an older icon");
}

// Windows refuses to replace it; the stand-in does as Windows does.
void ReadOnlyShortcut()
{
    WriteBytes(ShortcutPath(), "[InternetShortcut]\r\nURL=http://example.invalid/read-only\r\n");
    ASSERT_TRUE(SetFileAttributesW(ShortcutPath().c_str(), FILE_ATTRIBUTE_READONLY));
}

void ShortcutStillReadOnly()
{
    DWORD const attributes = GetFileAttributesW(ShortcutPath().c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        << "the shortcut lost its read-only attribute";
}

void DirectoryAsIcon()
{
    MakeDirectories(IconPath());
    WriteBytes(IconPath() + L"\\keep.txt", "kept");
}

void IconDirectoryKept()
{
    std::string kept;
    EXPECT_TRUE(IsDirectory(IconPath()));
    EXPECT_TRUE(ReadBytes(IconPath() + L"\\keep.txt", kept) && kept == "kept") << "the folder lost its file";
}

void DirectoryAsShortcut()
{
    MakeDirectories(ShortcutPath());
    WriteBytes(ShortcutPath() + L"\\keep.txt", "kept");
}

// Another process holds the icon file open and lets others only read it.
void IconHeldOpen()
{
    WriteBytes(IconPath(), "held by another process");
    HeldIcon = CreateFileW(IconPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(HeldIcon, INVALID_HANDLE_VALUE);
}

void IconLongerThanImage()
{
    WriteBytes(IconPath(), std::string(40000, 'x'));
}

// The prefix script links this folder's gomri.ico to /dev/full.
void IconOnFullDevice()
{
    RedirectShellFolder(L"Local AppData", Rig().rigRoot + L"\\fixtures\\full");
}

std::wstring UserFolder()
{
    std::wstring desktop = DefaultDesktopFolder();
    return desktop.substr(0, desktop.rfind(L'\\'));
}

void ChineseDesktop()
{
    std::wstring const desktop = UserFolder() + L"\\桌面（测试）";
    RemoveTree(desktop);
    MakeDirectories(desktop);
    RedirectShellFolder(L"Desktop", desktop);
}

std::wstring MissingDesktopPath()
{
    return UserFolder() + L"\\no such desktop";
}

void MissingDesktop()
{
    RemoveTree(MissingDesktopPath());
    RedirectShellFolder(L"Desktop", MissingDesktopPath());
}

// The program reports it rather than making the folder up.
void DesktopStillMissing()
{
    EXPECT_FALSE(Exists(MissingDesktopPath())) << "the missing desktop was created";
}

// An existing folder whose path is exactly length code units long.
std::wstring FolderOfLength(wchar_t const* base, size_t length)
{
    std::wstring path = UserFolder() + L"\\" + base;
    RemoveTree(path);
    while (path.size() + 1 < length)
        path += L"\\" + std::wstring(std::min<size_t>(40, length - path.size() - 1), L'd');
    path.resize(length, L'e');
    MakeDirectories(path);
    return path;
}

// 247 + "\Quorvel.url" + terminator is exactly MAX_PATH.
void DesktopAtPathLimit() { RedirectShellFolder(L"Desktop", FolderOfLength(L"deep", 247)); }
void DesktopPastPathLimit() { RedirectShellFolder(L"Desktop", FolderOfLength(L"deeper", 248)); }
// 249 + "\gomri.ico" + terminator is exactly MAX_PATH.
void AppDataAtPathLimit() { RedirectShellFolder(L"Local AppData", FolderOfLength(L"data", 249)); }
void AppDataPastPathLimit() { RedirectShellFolder(L"Local AppData", FolderOfLength(L"datas", 250)); }

void WineObject() { UseWineObject(); }

void CreationFails() { FailStandinCalls("CreateInstance=0x80040154"); }
void PersisterMissing() { FailStandinCalls("QueryInterface:IPersistFile=0x80004002"); }
void LinkMissing() { FailStandinCalls("QueryInterface:IShellLinkW=0x80004002"); }
void BothMissing() { FailStandinCalls("QueryInterface:IPersistFile=0x80004002;QueryInterface:IShellLinkW=0x80004003"); }
void SetUrlFails() { FailStandinCalls("SetURL=0x80070057"); }
void SetIconFails() { FailStandinCalls("SetIconLocation=0x80004005"); }
void SetDescriptionFails() { FailStandinCalls("SetDescription=0x8007000E"); }
void SaveFails() { FailStandinCalls("Save=0x80070070"); }

// The broadcast must give up on a window that never answers.
void HungWindowOnDesktop() { StartHungWindow(); }

#define CREATE "CreateInstance IUniformResourceLocatorW -> 0x00000000"
#define QI_PERSIST "QueryInterface IPersistFile -> 0x00000000"
#define QI_LINK "QueryInterface IShellLinkW -> 0x00000000"
#define SET_URL "SetURL \"http://www.quorvel.com/\" 0 -> 0x00000000"
#define SET_ICON "SetIconLocation \"{icon}\" 0 -> 0x00000000"
#define SET_DESC "SetDescription \"Quorvel\" -> 0x00000000"
#define SAVE "Save \"{shortcut}\" 1 -> 0x00000000"
#define RELEASES "Release IPersistFile -> 2", "Release IShellLinkW -> 1", "Release IUniformResourceLocatorW -> 0"
#define ALL_CALLS CREATE, QI_PERSIST, QI_LINK, SET_URL, SET_ICON, SET_DESC, SAVE, RELEASES

int const Yes = IDYES, No = IDNO, Ok = IDOK;
using IA = IconAfter;
using SA = ShortcutAfter;

Scenario const Scenarios[] = {
    {"AnsweredNo", Nothing, {No}, {Question}, 7, IA::Absent, SA::Absent, {}, false},
    {"FirstRun", Nothing, {Yes, Ok}, {Question, Created}, 1, IA::Image, SA::Saved, {ALL_CALLS}, true},
    {"ArgumentsIgnoredOnNo", Nothing, {No}, {Question}, 7, IA::Absent, SA::Absent, {}, false,
     L"/uninstall --force C:\\x.url \"two words\" /?"},
    {"ArgumentsIgnoredOnYes", Nothing, {Yes, Ok}, {Question, Created}, 1, IA::Image, SA::Saved, {ALL_CALLS}, true,
     L"/S /quiet -desktop=D:\\ \"\" %APPDATA%"},
    {"ExistingKept", ExistingShortcut, {Yes, No, Ok}, {Question, Overwrite, NotCreated}, 1, IA::Unchanged,
     SA::Unchanged, {}, false},
    {"ExistingReplaced", ExistingShortcut, {Yes, Yes, Ok}, {Question, Overwrite, Created}, 1, IA::Image, SA::Saved,
     {ALL_CALLS}, true},
    {"DirectoryNamedLikeShortcutKept", DirectoryAsShortcut, {Yes, No, Ok}, {Question, Overwrite, NotCreated}, 1,
     IA::Absent, SA::Absent, {}, false},
    {"DirectoryNamedLikeShortcutCannotBeReplaced", DirectoryAsShortcut, {Yes, Yes, Ok},
     {Question, Overwrite, NotCreated}, 1, IA::Image, SA::Absent,
     {CREATE, QI_PERSIST, QI_LINK, SET_URL, SET_ICON, SET_DESC, "Save \"{shortcut}\" 1 -> 0x80070005", RELEASES},
     true},
    {"ReadOnlyShortcutCannotBeReplaced", ReadOnlyShortcut, {Yes, Yes, Ok}, {Question, Overwrite, NotCreated}, 1,
     IA::Image, SA::Unchanged,
     {CREATE, QI_PERSIST, QI_LINK, SET_URL, SET_ICON, SET_DESC, "Save \"{shortcut}\" 1 -> 0x80070005", RELEASES},
     true, L"", ShortcutStillReadOnly},
    {"DirectoryNamedLikeIcon", DirectoryAsIcon, {Yes, Ok}, {Question, NotCreated}, 1, IA::NotRead, SA::Absent, {},
     false, L"", IconDirectoryKept},
    {"IconHeldOpenByAnotherProcess", IconHeldOpen, {Yes, Ok}, {Question, NotCreated}, 1, IA::Unchanged, SA::Absent,
     {}, false},
    {"IconLongerThanImage", IconLongerThanImage, {Yes, Ok}, {Question, Created}, 1, IA::Image, SA::Saved,
     {ALL_CALLS}, true},
    {"IconWriteComesUpShort", IconOnFullDevice, {Yes, Ok}, {Question, NotCreated}, 1, IA::NotRead, SA::Absent, {},
     false},
    {"ObjectCannotBeCreated", CreationFails, {Yes, Ok}, {Question, NotCreated}, 1, IA::Image, SA::Absent,
     {"CreateInstance IUniformResourceLocatorW -> 0x80040154"}, true},
    {"ObjectLacksPersistFile", PersisterMissing, {Yes, Ok}, {Question, NotCreated}, 1, IA::Image, SA::Absent,
     {CREATE, "QueryInterface IPersistFile -> 0x80004002", QI_LINK, "Release IShellLinkW -> 1",
      "Release IUniformResourceLocatorW -> 0"},
     true},
    {"ObjectLacksShellLink", LinkMissing, {Yes, Ok}, {Question, NotCreated}, 1, IA::Image, SA::Absent,
     {CREATE, QI_PERSIST, "QueryInterface IShellLinkW -> 0x80004002", "Release IPersistFile -> 1",
      "Release IUniformResourceLocatorW -> 0"},
     true},
    {"ObjectLacksBoth", BothMissing, {Yes, Ok}, {Question, NotCreated}, 1, IA::Image, SA::Absent,
     {CREATE, "QueryInterface IPersistFile -> 0x80004002", "QueryInterface IShellLinkW -> 0x80004003",
      "Release IUniformResourceLocatorW -> 0"},
     true},
    {"SetUrlFails", SetUrlFails, {Yes, Ok}, {Question, NotCreated}, 1, IA::Image, SA::Absent,
     {CREATE, QI_PERSIST, QI_LINK, "SetURL \"http://www.quorvel.com/\" 0 -> 0x80070057", RELEASES}, true},
    {"SetIconLocationFails", SetIconFails, {Yes, Ok}, {Question, NotCreated}, 1, IA::Image, SA::Absent,
     {CREATE, QI_PERSIST, QI_LINK, SET_URL, "SetIconLocation \"{icon}\" 0 -> 0x80004005", RELEASES}, true},
    {"SetDescriptionFails", SetDescriptionFails, {Yes, Ok}, {Question, NotCreated}, 1, IA::Image, SA::Absent,
     {CREATE, QI_PERSIST, QI_LINK, SET_URL, SET_ICON, "SetDescription \"Quorvel\" -> 0x8007000E", RELEASES}, true},
    {"SaveFails", SaveFails, {Yes, Ok}, {Question, NotCreated}, 1, IA::Image, SA::Absent,
     {CREATE, QI_PERSIST, QI_LINK, SET_URL, SET_ICON, SET_DESC, "Save \"{shortcut}\" 1 -> 0x80070070", RELEASES},
     true},
    {"WinesOwnObject", WineObject, {Yes, Ok}, {Question, NotCreated}, 1, IA::Image, SA::Absent, {}, true},
    {"ChineseDesktop", ChineseDesktop, {Yes, Ok}, {Question, Created}, 1, IA::Image, SA::Saved, {ALL_CALLS}, true},
    {"DesktopMissing", MissingDesktop, {Yes, Ok}, {Question, NotCreated}, 1, IA::Absent, SA::Absent, {}, false, L"",
     DesktopStillMissing},
    {"DesktopAtPathLimit", DesktopAtPathLimit, {Yes, Ok}, {Question, Created}, 1, IA::Image, SA::Saved, {ALL_CALLS},
     true},
    {"DesktopPastPathLimit", DesktopPastPathLimit, {Yes, Ok}, {Question, NotCreated}, 1, IA::Absent, SA::Absent, {},
     false},
    {"AppDataAtPathLimit", AppDataAtPathLimit, {Yes, Ok}, {Question, Created}, 1, IA::Image, SA::Saved, {ALL_CALLS},
     true},
    {"AppDataPastPathLimit", AppDataPastPathLimit, {Yes, Ok}, {Question, NotCreated}, 1, IA::Absent, SA::Absent, {},
     false},
    // Last: the hung window stays hung for the rest of the run.
    {"HungWindowIgnored", HungWindowOnDesktop, {Yes, Ok}, {Question, Created}, 1, IA::Image, SA::Saved, {ALL_CALLS},
     true},
};

std::string ReplaceAll(std::string text, std::string const& from, std::string const& to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

std::string ExpectedIconFile()
{
    std::string image;
    EXPECT_TRUE(ReadBytes(Rig().iconAsset, image));
    return image + '\0';
}

// What the stand-in writes: UTF-16 with a byte-order mark.
std::string ExpectedShortcutFile()
{
    std::wstring const text = std::wstring(L"\xFEFF[InternetShortcut]\r\nURL=") + Url + L"\r\nIconFile=" + IconPath()
                              + L"\r\nIconIndex=0\r\n";
    return std::string(reinterpret_cast<char const*>(text.data()), text.size() * sizeof(wchar_t));
}

// Windows also broadcasts SPI_SETICONS for the icon reload; Wine sends nothing for it.
size_t TakeRefreshes()
{
    size_t refreshes = 0;
    for (SettingChange const& change : TakeSettingChanges()) {
        if (change.wParam == SPI_SETNONCLIENTMETRICS && change.lParam == 0)
            ++refreshes;
        else
            EXPECT_EQ(change.wParam, static_cast<WPARAM>(SPI_SETICONS)) << "unexpected WM_SETTINGCHANGE";
    }
    return refreshes;
}

void ExpectBox(SeenBox const& box, wchar_t const* text)
{
    bool const isQuestion = text == Question || text == Overwrite;
    EXPECT_EQ(Utf8(box.caption), Utf8(Caption));
    EXPECT_EQ(Utf8(box.text), Utf8(text));
    std::vector<int> const buttons = isQuestion ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK};
    EXPECT_EQ(box.buttons, buttons);
    EXPECT_EQ(box.defaultButton, isQuestion ? IDYES : IDOK);
    EXPECT_FALSE(box.hasIcon) << "no icon flag is given";
    EXPECT_FALSE(box.topmost) << "no modality flag is given";
    EXPECT_FALSE(box.owned) << "the box has no owner window";
}

class WholeRun : public testing::TestWithParam<Scenario> {
protected:
    void SetUp() override
    {
        Reset();
        TakeSettingChanges();
    }

    void TearDown() override
    {
        if (HeldIcon != INVALID_HANDLE_VALUE)
            CloseHandle(HeldIcon);
        HeldIcon = INVALID_HANDLE_VALUE;
        // Leaves the prefix as the next run expects to find it.
        Reset();
    }
};

TEST_P(WholeRun, BehavesAsTheUserIsTold)
{
    Scenario const& scenario = GetParam();
    scenario.arrange();
    if (HasFatalFailure())
        return;
    std::wstring const iconPath = IconPath();
    std::wstring const shortcutPath = ShortcutPath();
    std::string iconBefore, shortcutBefore;
    bool const hadIcon = scenario.icon != IconAfter::NotRead && ReadBytes(iconPath, iconBefore);
    bool const hadShortcut = ReadBytes(shortcutPath, shortcutBefore);
    bool const hadDirectory = IsDirectory(shortcutPath);

    PlayedRun const run = PlayProgram(Rig().program, {scenario.arguments, scenario.answers});

    ASSERT_EQ(run.startError, 0u) << "the program could not be started";
    ASSERT_FALSE(run.timedOut);
    EXPECT_FALSE(run.unscriptedBox);
    EXPECT_EQ(run.exitCode, scenario.exitCode);
    ASSERT_EQ(run.boxes.size(), scenario.boxes.size());
    for (size_t i = 0; i < run.boxes.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "box " << i + 1);
        ExpectBox(run.boxes[i], scenario.boxes[i]);
    }

    std::string icon;
    switch (scenario.icon) {
    case IconAfter::Absent:
        EXPECT_FALSE(Exists(iconPath)) << "the icon file was written";
        break;
    case IconAfter::Image:
        ASSERT_TRUE(ReadBytes(iconPath, icon));
        EXPECT_TRUE(icon == ExpectedIconFile()) << "the icon file is " << icon.size() << " bytes unlike IconImage";
        break;
    case IconAfter::Unchanged:
        ASSERT_TRUE(hadIcon);
        ASSERT_TRUE(ReadBytes(iconPath, icon));
        EXPECT_EQ(icon, iconBefore);
        break;
    case IconAfter::NotRead:
        break;
    }

    std::string shortcut;
    switch (scenario.shortcut) {
    case ShortcutAfter::Absent:
        EXPECT_FALSE(Exists(shortcutPath) && !hadDirectory) << "a shortcut file was saved";
        break;
    case ShortcutAfter::Saved:
        ASSERT_TRUE(ReadBytes(shortcutPath, shortcut));
        EXPECT_EQ(shortcut, ExpectedShortcutFile());
        break;
    case ShortcutAfter::Unchanged:
        ASSERT_TRUE(hadShortcut);
        ASSERT_TRUE(ReadBytes(shortcutPath, shortcut));
        EXPECT_EQ(shortcut, shortcutBefore);
        break;
    }
    if (hadDirectory) {
        std::string kept;
        EXPECT_TRUE(IsDirectory(shortcutPath));
        EXPECT_TRUE(ReadBytes(shortcutPath + L"\\keep.txt", kept) && kept == "kept") << "the folder lost its file";
    }

    std::vector<std::string> expectedCalls;
    for (char const* call : scenario.calls)
        expectedCalls.push_back(ReplaceAll(ReplaceAll(call, "{icon}", Utf8(iconPath)), "{shortcut}", Utf8(shortcutPath)));
    EXPECT_EQ(StandinCalls(), expectedCalls);
    EXPECT_EQ(TakeRefreshes(), scenario.refreshed ? 1u : 0u);
    if (scenario.verify)
        scenario.verify();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WholeRun, testing::ValuesIn(Scenarios),
                         [](testing::TestParamInfo<Scenario> const& param) { return param.param.name; });

// The same clean world before and after as the table's runs.
using TwoCopiesAtOnce = WholeRun;

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Both copies answered Yes, then OK. The one that looks second may already
// find the other's shortcut and ask to replace it (Yes again), and while the
// other writes the file its own save may be refused as a sharing violation.
// Whatever the order, each tells the truth, both exit 1 and the files are whole.
TEST_F(TwoCopiesAtOnce, BothTellTheTruthAndTheFilesStayWhole)
{
    Launch const copy{L"", {Yes, Yes, Ok}};
    std::vector<PlayedRun> const runs = PlayPrograms(Rig().program, {copy, copy});

    size_t created = 0;
    size_t notCreated = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "copy " << i + 1);
        PlayedRun const& run = runs[i];
        ASSERT_EQ(run.startError, 0u) << "the program could not be started";
        ASSERT_FALSE(run.timedOut);
        EXPECT_FALSE(run.unscriptedBox);
        EXPECT_EQ(run.exitCode, 1u);
        ASSERT_TRUE(run.boxes.size() == 2 || run.boxes.size() == 3) << run.boxes.size() << " boxes";
        ExpectBox(run.boxes.front(), Question);
        if (run.boxes.size() == 3)
            ExpectBox(run.boxes[1], Overwrite);
        bool const saved = run.boxes.back().text == Created;
        ExpectBox(run.boxes.back(), saved ? Created : NotCreated);
        ++(saved ? created : notCreated);
    }
    EXPECT_GE(created, 1u) << "neither copy saved the shortcut";

    std::string icon, shortcut;
    ASSERT_TRUE(ReadBytes(IconPath(), icon));
    EXPECT_TRUE(icon == ExpectedIconFile()) << "the icon file is " << icon.size() << " bytes unlike IconImage";
    ASSERT_TRUE(ReadBytes(ShortcutPath(), shortcut));
    EXPECT_EQ(shortcut, ExpectedShortcutFile());

    // The copies' calls interleave; as a whole they are two full sequences,
    // and the boxes shown add up to the saves made and refused.
    std::string const save = ReplaceAll("Save \"{shortcut}\" 1 -> ", "{shortcut}", Utf8(ShortcutPath()));
    std::vector<std::string> expectedOthers;
    for (char const* call : {ALL_CALLS})
        if (std::string(call).rfind("Save ", 0) != 0)
            for (int copies = 0; copies < 2; ++copies)
                expectedOthers.push_back(ReplaceAll(call, "{icon}", Utf8(IconPath())));
    std::vector<std::string> others;
    size_t saves = 0;
    size_t refusals = 0;
    for (std::string const& call : StandinCalls()) {
        if (call == save + "0x00000000")
            ++saves;
        else if (call == save + "0x80070020")
            ++refusals;
        else
            others.push_back(call);
    }
    EXPECT_EQ(Sorted(others), Sorted(expectedOthers));
    EXPECT_EQ(saves, created);
    EXPECT_EQ(refusals, notCreated);
    EXPECT_EQ(TakeRefreshes(), 2u);
}

} // namespace
