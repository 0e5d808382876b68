// The whole program, run for real: each scenario arranges the disk, the
// registry or the shortcut object, plays the user's answers and checks every
// box, the exit code, both files, the calls the stand-in received and the
// settings-change broadcasts. The few that mean something with the host's
// own object run with it as well, and are checked for the host's outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rig/broadcast_listener.h"
#include "rig/files.h"
#include "rig/host.h"
#include "rig/player.h"
#include "rig/setup_check.h"
#include "rig/shortcut_reader.h"
#include "rig/user_texts.h"
#include "rig/world.h"

namespace {

wchar_t const* const Question = ExpectedQuestion;
wchar_t const* const Overwrite = ExpectedOverwrite;
wchar_t const* const Created = ExpectedCreated;
wchar_t const* const NotCreated = ExpectedNotCreated;

enum class IconAfter { Absent, Image, Unchanged, NotRead };
// Unchanged: as it was before, the same bytes or still not there.
enum class ShortcutAfter { Absent, Saved, Unchanged };

void Nothing() {}

struct Scenario {
    char const* name;
    void (*arrange)() = Nothing;
    wchar_t const* arguments = L"";
    std::vector<int> answers;
    std::vector<wchar_t const*> boxes;  // texts, in the order shown
    DWORD exitCode = IDOK;
    IconAfter icon = IconAfter::Absent;
    ShortcutAfter shortcut = ShortcutAfter::Absent;
    std::vector<char const*> calls = {};  // the stand-in's log; "{icon}" and "{shortcut}" stand for the paths
    bool refreshed = false;
    void (*verify)() = nullptr;         // what the arrangement must still show afterwards
    bool withHostObject = false;        // runs with the host's own object too
};

// Names the case in gtest's output instead of dumping its bytes.
void PrintTo(Scenario const& scenario, std::ostream* out)
{
    *out << scenario.name;
}

HANDLE HeldIcon = INVALID_HANDLE_VALUE;

void ExistingShortcut()
{
    WriteBytes(ShortcutPath(), "[InternetShortcut]\r\nURL=http://example.invalid/\r\n");
    WriteBytes(IconPath(), "an older icon");
}

// Windows refuses to replace it; the stand-in does as Windows does.
void ReadOnlyShortcut()
{
    WriteBytes(ShortcutPath(), "[InternetShortcut]\r\nURL=http://example.invalid/read-only\r\n");
    SetupCheck(SetFileAttributesW(ShortcutPath().c_str(), FILE_ATTRIBUTE_READONLY) != FALSE, "SetFileAttributesW",
               ShortcutPath());
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
    SetupCheck(HeldIcon != INVALID_HANDLE_VALUE, "CreateFileW", IconPath());
}

void IconLongerThanImage()
{
    WriteBytes(IconPath(), std::string(40000, 'x'));
}

std::wstring UserFolder()
{
    std::wstring const desktop = DefaultDesktopFolder();
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

void HostObject() { UseHostObject(); }

void CreationFails() { FailStandinCalls("CreateInstance=0x80040154"); }
void PersisterMissing() { FailStandinCalls("QueryInterface:IPersistFile=0x80004002"); }
void LinkMissing() { FailStandinCalls("QueryInterface:IShellLinkW=0x80004002"); }
void BothMissing() { FailStandinCalls("QueryInterface:IPersistFile=0x80004002;QueryInterface:IShellLinkW=0x80004003"); }
void SetUrlFails() { FailStandinCalls("SetURL=0x80070057"); }
void SetIconFails() { FailStandinCalls("SetIconLocation=0x80004005"); }
void SetDescriptionFails() { FailStandinCalls("SetDescription=0x8007000E"); }
void SaveFails() { FailStandinCalls("Save=0x80070070"); }

// The broadcasts must give up on a window that never answers.
void FrozenWindowOnDesktop() { StartFrozenWindow(); }

#define CREATE "CreateInstance IUniformResourceLocatorW -> 0x00000000"
#define QI_PERSIST "QueryInterface IPersistFile -> 0x00000000"
#define QI_LINK "QueryInterface IShellLinkW -> 0x00000000"
#define SET_URL "SetURL \"http://www.quorvel.com/\" 0 -> 0x00000000"
#define SET_ICON "SetIconLocation \"{icon}\" 0 -> 0x00000000"
#define SET_DESC "SetDescription \"Quorvel\" -> 0x00000000"
#define SAVE "Save \"{shortcut}\" 1 -> 0x00000000"
#define RELEASES "Release IPersistFile -> 2", "Release IShellLinkW -> 1", "Release IUniformResourceLocatorW -> 0"
#define ALL_CALLS CREATE, QI_PERSIST, QI_LINK, SET_URL, SET_ICON, SET_DESC, SAVE, RELEASES
#define SAVE_REFUSED CREATE, QI_PERSIST, QI_LINK, SET_URL, SET_ICON, SET_DESC, "Save \"{shortcut}\" 1 -> 0x80070005", RELEASES

int const Yes = IDYES, No = IDNO, Ok = IDOK;
using IA = IconAfter;
using SA = ShortcutAfter;

Scenario const Scenarios[] = {
    {.name = "AnsweredNo", .answers = {No}, .boxes = {Question}, .exitCode = IDNO, .withHostObject = true},
    {.name = "FirstRun", .answers = {Yes, Ok}, .boxes = {Question, Created}, .icon = IA::Image, .shortcut = SA::Saved,
     .calls = {ALL_CALLS}, .refreshed = true, .withHostObject = true},
    {.name = "ArgumentsIgnoredOnNo", .arguments = L"/uninstall --force C:\\x.url \"two words\" /?", .answers = {No},
     .boxes = {Question}, .exitCode = IDNO},
    {.name = "ArgumentsIgnoredOnYes", .arguments = L"/S /quiet -desktop=D:\\ \"\" %APPDATA%", .answers = {Yes, Ok},
     .boxes = {Question, Created}, .icon = IA::Image, .shortcut = SA::Saved, .calls = {ALL_CALLS}, .refreshed = true},
    {.name = "ExistingKept", .arrange = ExistingShortcut, .answers = {Yes, No, Ok},
     .boxes = {Question, Overwrite, NotCreated}, .icon = IA::Unchanged, .shortcut = SA::Unchanged},
    {.name = "ExistingReplaced", .arrange = ExistingShortcut, .answers = {Yes, Yes, Ok},
     .boxes = {Question, Overwrite, Created}, .icon = IA::Image, .shortcut = SA::Saved, .calls = {ALL_CALLS},
     .refreshed = true, .withHostObject = true},
    {.name = "DirectoryNamedLikeShortcutKept", .arrange = DirectoryAsShortcut, .answers = {Yes, No, Ok},
     .boxes = {Question, Overwrite, NotCreated}},
    {.name = "DirectoryNamedLikeShortcutCannotBeReplaced", .arrange = DirectoryAsShortcut, .answers = {Yes, Yes, Ok},
     .boxes = {Question, Overwrite, NotCreated}, .icon = IA::Image, .calls = {SAVE_REFUSED}, .refreshed = true},
    {.name = "ReadOnlyShortcutCannotBeReplaced", .arrange = ReadOnlyShortcut, .answers = {Yes, Yes, Ok},
     .boxes = {Question, Overwrite, NotCreated}, .icon = IA::Image, .shortcut = SA::Unchanged,
     .calls = {SAVE_REFUSED}, .refreshed = true, .verify = ShortcutStillReadOnly},
    {.name = "DirectoryNamedLikeIcon", .arrange = DirectoryAsIcon, .answers = {Yes, Ok},
     .boxes = {Question, NotCreated}, .icon = IA::NotRead, .verify = IconDirectoryKept},
    {.name = "IconHeldOpenByAnotherProcess", .arrange = IconHeldOpen, .answers = {Yes, Ok},
     .boxes = {Question, NotCreated}, .icon = IA::Unchanged},
    {.name = "IconLongerThanImage", .arrange = IconLongerThanImage, .answers = {Yes, Ok},
     .boxes = {Question, Created}, .icon = IA::Image, .shortcut = SA::Saved, .calls = {ALL_CALLS}, .refreshed = true},
    {.name = "ObjectCannotBeCreated", .arrange = CreationFails, .answers = {Yes, Ok}, .boxes = {Question, NotCreated},
     .icon = IA::Image, .calls = {"CreateInstance IUniformResourceLocatorW -> 0x80040154"}, .refreshed = true},
    {.name = "ObjectLacksPersistFile", .arrange = PersisterMissing, .answers = {Yes, Ok},
     .boxes = {Question, NotCreated}, .icon = IA::Image,
     .calls = {CREATE, "QueryInterface IPersistFile -> 0x80004002", QI_LINK, "Release IShellLinkW -> 1",
               "Release IUniformResourceLocatorW -> 0"},
     .refreshed = true},
    {.name = "ObjectLacksShellLink", .arrange = LinkMissing, .answers = {Yes, Ok}, .boxes = {Question, NotCreated},
     .icon = IA::Image,
     .calls = {CREATE, QI_PERSIST, "QueryInterface IShellLinkW -> 0x80004002", "Release IPersistFile -> 1",
               "Release IUniformResourceLocatorW -> 0"},
     .refreshed = true},
    {.name = "ObjectLacksBoth", .arrange = BothMissing, .answers = {Yes, Ok}, .boxes = {Question, NotCreated},
     .icon = IA::Image,
     .calls = {CREATE, "QueryInterface IPersistFile -> 0x80004002", "QueryInterface IShellLinkW -> 0x80004003",
               "Release IUniformResourceLocatorW -> 0"},
     .refreshed = true},
    {.name = "SetUrlFails", .arrange = SetUrlFails, .answers = {Yes, Ok}, .boxes = {Question, NotCreated},
     .icon = IA::Image,
     .calls = {CREATE, QI_PERSIST, QI_LINK, "SetURL \"http://www.quorvel.com/\" 0 -> 0x80070057", RELEASES},
     .refreshed = true},
    {.name = "SetIconLocationFails", .arrange = SetIconFails, .answers = {Yes, Ok}, .boxes = {Question, NotCreated},
     .icon = IA::Image,
     .calls = {CREATE, QI_PERSIST, QI_LINK, SET_URL, "SetIconLocation \"{icon}\" 0 -> 0x80004005", RELEASES},
     .refreshed = true},
    {.name = "SetDescriptionFails", .arrange = SetDescriptionFails, .answers = {Yes, Ok},
     .boxes = {Question, NotCreated}, .icon = IA::Image,
     .calls = {CREATE, QI_PERSIST, QI_LINK, SET_URL, SET_ICON, "SetDescription \"Quorvel\" -> 0x8007000E", RELEASES},
     .refreshed = true},
    {.name = "SaveFails", .arrange = SaveFails, .answers = {Yes, Ok}, .boxes = {Question, NotCreated},
     .icon = IA::Image,
     .calls = {CREATE, QI_PERSIST, QI_LINK, SET_URL, SET_ICON, SET_DESC, "Save \"{shortcut}\" 1 -> 0x80070070",
               RELEASES},
     .refreshed = true},
    {.name = "WinesOwnObject", .arrange = HostObject, .answers = {Yes, Ok}, .boxes = {Question, NotCreated},
     .icon = IA::Image, .refreshed = true},
    {.name = "ChineseDesktop", .arrange = ChineseDesktop, .answers = {Yes, Ok}, .boxes = {Question, Created},
     .icon = IA::Image, .shortcut = SA::Saved, .calls = {ALL_CALLS}, .refreshed = true},
    {.name = "DesktopMissing", .arrange = MissingDesktop, .answers = {Yes, Ok}, .boxes = {Question, NotCreated},
     .verify = DesktopStillMissing},
    {.name = "DesktopAtPathLimit", .arrange = DesktopAtPathLimit, .answers = {Yes, Ok}, .boxes = {Question, Created},
     .icon = IA::Image, .shortcut = SA::Saved, .calls = {ALL_CALLS}, .refreshed = true},
    {.name = "DesktopPastPathLimit", .arrange = DesktopPastPathLimit, .answers = {Yes, Ok},
     .boxes = {Question, NotCreated}},
    {.name = "AppDataAtPathLimit", .arrange = AppDataAtPathLimit, .answers = {Yes, Ok}, .boxes = {Question, Created},
     .icon = IA::Image, .shortcut = SA::Saved, .calls = {ALL_CALLS}, .refreshed = true},
    {.name = "AppDataPastPathLimit", .arrange = AppDataPastPathLimit, .answers = {Yes, Ok},
     .boxes = {Question, NotCreated}},
    {.name = "FrozenWindowIgnored", .arrange = FrozenWindowOnDesktop, .answers = {Yes, Ok},
     .boxes = {Question, Created}, .icon = IA::Image, .shortcut = SA::Saved, .calls = {ALL_CALLS},
     .refreshed = true, .withHostObject = true},
};

// What a scenario comes to with the host's own object. Windows' saves the
// shortcut as the stand-in does; Wine's lacks IShellLinkW, so there the save
// fails after the icon file is written, the user hears that nothing was
// created, and an older shortcut stays as it was.
std::vector<Scenario> WithHostsOutcome()
{
    std::vector<Scenario> scenarios;
    for (Scenario scenario : Scenarios) {
        if (!scenario.withHostObject)
            continue;
        scenario.calls.clear();
        if (RunningUnderWine()) {
            std::replace(scenario.boxes.begin(), scenario.boxes.end(), Created, NotCreated);
            if (scenario.shortcut == SA::Saved)
                scenario.shortcut = SA::Unchanged;
        }
        scenarios.push_back(scenario);
    }
    return scenarios;
}

// Two broadcast time-outs at the most, and time to spare; well under the
// player's own limit.
double const LongestRunMs = 15000;

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
std::string ExpectedStandinFile()
{
    std::wstring const text = std::wstring(L"\xFEFF[InternetShortcut]\r\nURL=") + ExpectedUrl + L"\r\nIconFile="
                              + IconPath() + L"\r\nIconIndex=0\r\n";
    return std::string(reinterpret_cast<char const*>(text.data()), text.size() * sizeof(wchar_t));
}

// The saved shortcut: the stand-in's file byte for byte, or whatever the
// host's object wrote, read back through that object.
void ExpectSavedShortcut()
{
    if (Rig().object == ShortcutObject::Standin) {
        std::string shortcut;
        ASSERT_TRUE(ReadBytes(ShortcutPath(), shortcut));
        EXPECT_EQ(shortcut, ExpectedStandinFile());
        return;
    }
    EXPECT_EQ(ReadBackDifferences(ShortcutPath(), IconPath()), "");
}

// The refresh's broadcasts, in the order received. One with a string in
// lParam is some other application's.
std::vector<SettingChange> TakeRefreshes()
{
    std::vector<SettingChange> refreshes;
    for (SettingChange const& change : TakeSettingChanges())
        if (change.lParam == 0)
            refreshes.push_back(change);
    return refreshes;
}

std::vector<WPARAM> SettingsOf(std::vector<SettingChange> const& changes)
{
    std::vector<WPARAM> settings;
    for (SettingChange const& change : changes)
        settings.push_back(change.wParam);
    return settings;
}

void ExpectBox(SeenBox const& box, wchar_t const* text)
{
    bool const isQuestion = text == Question || text == Overwrite;
    EXPECT_EQ(Utf8(box.caption), Utf8(ExpectedCaption));
    EXPECT_EQ(Utf8(box.text), Utf8(text));
    std::vector<int> const buttons = isQuestion ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK};
    EXPECT_EQ(box.buttons, buttons);
    EXPECT_EQ(box.defaultButton, isQuestion ? IDYES : IDOK);
    EXPECT_FALSE(box.hasIcon) << "no icon flag is given";
    EXPECT_FALSE(box.topmost) << "no modality flag is given";
    EXPECT_FALSE(box.owned) << "the box has no owner window";
}

void ExpectPlayed(PlayedRun const& run)
{
    ASSERT_EQ(run.startError, 0u) << "the program could not be started";
    ASSERT_FALSE(run.timedOut);
    EXPECT_FALSE(run.unscriptedBox);
    EXPECT_LT(run.endedAtMs - run.startedAtMs, LongestRunMs);
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
        ThawFrozenWindow();
        // Leaves the world as the next run expects to find it.
        Reset();
    }
};

TEST_P(WholeRun, BehavesAsTheUserIsTold)
{
    Scenario const& scenario = GetParam();
    scenario.arrange();
    std::wstring const iconPath = IconPath();
    std::wstring const shortcutPath = ShortcutPath();
    std::string iconBefore, shortcutBefore;
    bool const hadIcon = scenario.icon != IconAfter::NotRead && ReadBytes(iconPath, iconBefore);
    bool const hadShortcut = ReadBytes(shortcutPath, shortcutBefore);
    bool const hadDirectory = IsDirectory(shortcutPath);

    PlayedRun const run = PlayProgram(Rig().program, {scenario.arguments, scenario.answers});

    ExpectPlayed(run);
    if (HasFatalFailure())
        return;
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
        ExpectSavedShortcut();
        break;
    case ShortcutAfter::Unchanged:
        EXPECT_EQ(ReadBytes(shortcutPath, shortcut), hadShortcut);
        EXPECT_EQ(shortcut, shortcutBefore);
        break;
    }
    if (hadDirectory) {
        std::string kept;
        EXPECT_TRUE(IsDirectory(shortcutPath));
        EXPECT_TRUE(ReadBytes(shortcutPath + L"\\keep.txt", kept) && kept == "kept") << "the folder lost its file";
    }

    if (Rig().object == ShortcutObject::Standin) {
        std::vector<std::string> expectedCalls;
        for (char const* call : scenario.calls)
            expectedCalls.push_back(
                ReplaceAll(ReplaceAll(call, "{icon}", Utf8(iconPath)), "{shortcut}", Utf8(shortcutPath)));
        EXPECT_EQ(StandinCalls(), expectedCalls);
    }

    // Both broadcasts, bounded, before the user hears the outcome.
    std::vector<SettingChange> const refreshes = TakeRefreshes();
    std::vector<WPARAM> const expected = {SPI_SETNONCLIENTMETRICS, SPI_SETICONS};
    EXPECT_EQ(SettingsOf(refreshes), scenario.refreshed ? expected : std::vector<WPARAM>{});
    for (SettingChange const& change : refreshes)
        EXPECT_LT(change.receivedAtMs, run.boxes.back().seenAtMs) << "broadcast " << change.wParam << " came late";
    if (scenario.verify)
        scenario.verify();
}

INSTANTIATE_TEST_SUITE_P(WithStandin, WholeRun, testing::ValuesIn(Scenarios),
                         [](testing::TestParamInfo<Scenario> const& param) { return param.param.name; });
INSTANTIATE_TEST_SUITE_P(WithHostObject, WholeRun, testing::ValuesIn(WithHostsOutcome()),
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
        ExpectPlayed(run);
        if (HasFatalFailure())
            return;
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
    EXPECT_EQ(shortcut, ExpectedStandinFile());

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
    std::vector<WPARAM> settings = SettingsOf(TakeRefreshes());
    std::sort(settings.begin(), settings.end());
    EXPECT_EQ(settings, (std::vector<WPARAM>{SPI_SETNONCLIENTMETRICS, SPI_SETNONCLIENTMETRICS, SPI_SETICONS,
                                             SPI_SETICONS}));
}

} // namespace
