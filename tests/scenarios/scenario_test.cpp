// The whole program, run for real: each scenario arranges the disk or the
// registry, plays the user's answers and checks every box, the exit code,
// both files and the settings-change broadcasts. The same table runs with
// the stand-in and with the host's own object; where the host makes a
// difference, the assertion says so. What a single failing call does is the
// failure sweep's to show (tests/unit).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "rig/broadcast_listener.h"
#include "rig/disk_snapshot.h"
#include "rig/files.h"
#include "rig/host.h"
#include "rig/player.h"
#include "rig/setup_check.h"
#include "rig/user_texts.h"
#include "rig/world.h"

namespace {

// Written: the icon file holds IconImage; the shortcut reads back as the
// program saved it. Unchanged: as it was before: the same bytes, the same
// folder with its file, or still not there.
enum class After { Absent, Written, Unchanged };

struct Scenario {
    char const* name;
    void (*arrange)() = [] {};
    wchar_t const* arguments = L"";
    std::vector<int> answers;
    std::vector<wchar_t const*> boxes;  // texts, in the order shown
    DWORD exitCode = IDOK;
    After icon = After::Absent;
    After shortcut = After::Absent;
    // The host's file system decides whether the shortcut can be replaced:
    // if not, the user hears "not created" and the old one stays as it was.
    bool hostDecides = false;
};

// Names the case in gtest's output instead of dumping its bytes.
void PrintTo(Scenario const& scenario, std::ostream* out)
{
    *out << scenario.name;
}

HANDLE HeldIcon = INVALID_HANDLE_VALUE;

void ExistingShortcutNamed(wchar_t const* name)
{
    WriteBytes(DesktopFolder() + L"\\" + name, "[InternetShortcut]\r\nURL=http://example.invalid/\r\n");
    WriteBytes(IconPath(), "an older icon");
}
void ExistingShortcut() { ExistingShortcutNamed(ExpectedShortcutName); }
// Windows' names ignore letter case: the same file.
void LowerCaseShortcut() { ExistingShortcutNamed(L"quorvel.url"); }

void HiddenShortcut()
{
    ExistingShortcut();
    SetupCheck(SetFileAttributesW(ShortcutPath().c_str(), FILE_ATTRIBUTE_HIDDEN), "SetFileAttributesW", ShortcutPath());
}

// A folder with a file in it, where the shortcut would go.
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

// Both folders named as a Chinese user may name them, one with a character
// beyond the BMP (two UTF-16 code units).
void ChineseAndAstralFolders()
{
    std::wstring const desktop = WorldFolder() + L"\\桌面（测试）";
    std::wstring const appData = WorldFolder() + L"\\数据\U00020BB7";
    MakeDirectories(desktop);
    MakeDirectories(appData);
    RedirectShellFolder(L"Desktop", desktop);
    RedirectShellFolder(L"Local AppData", appData);
}

// Folders exactly as long as still fits, and one code unit longer.
void Folder(wchar_t const* name, wchar_t const* base, size_t length)
{
    RedirectShellFolder(name, MakeFolderOfLength(WorldFolder() + L"\\" + base, length));
}
void DesktopAtPathLimit() { Folder(L"Desktop", L"deep", LongestDesktopFolder); }
void DesktopPastPathLimit() { Folder(L"Desktop", L"deeper", LongestDesktopFolder + 1); }
void AppDataAtPathLimit() { Folder(L"Local AppData", L"data", LongestLocalAppDataFolder); }
void AppDataPastPathLimit() { Folder(L"Local AppData", L"datas", LongestLocalAppDataFolder + 1); }

// The broadcasts must give up on a window that never answers.
void FrozenWindowOnDesktop() { StartFrozenWindow(); }

int const Yes = IDYES, No = IDNO, Ok = IDOK;
using A = After;

// Arguments, whatever they are, change nothing.
wchar_t const SomeArguments[] = L"/uninstall --force C:\\x.url \"two words\" /? \"\" %APPDATA%";

Scenario const Scenarios[] = {
    {.name = "AnsweredNo", .arguments = SomeArguments, .answers = {No}, .boxes = {ExpectedQuestion}, .exitCode = IDNO},
    {.name = "FirstRun", .arguments = SomeArguments, .answers = {Yes, Ok}, .boxes = {ExpectedQuestion, ExpectedCreated},
     .icon = A::Written, .shortcut = A::Written},
    {.name = "ExistingKept", .arrange = ExistingShortcut, .answers = {Yes, No, Ok},
     .boxes = {ExpectedQuestion, ExpectedOverwrite, ExpectedNotCreated}, .icon = A::Unchanged, .shortcut = A::Unchanged},
    {.name = "ExistingReplaced", .arrange = ExistingShortcut, .answers = {Yes, Yes, Ok},
     .boxes = {ExpectedQuestion, ExpectedOverwrite, ExpectedCreated}, .icon = A::Written, .shortcut = A::Written},
    {.name = "LowerCaseShortcutReplaced", .arrange = LowerCaseShortcut, .answers = {Yes, Yes, Ok},
     .boxes = {ExpectedQuestion, ExpectedOverwrite, ExpectedCreated}, .icon = A::Written, .shortcut = A::Written},
    {.name = "HiddenShortcutReplaced", .arrange = HiddenShortcut, .answers = {Yes, Yes, Ok},
     .boxes = {ExpectedQuestion, ExpectedOverwrite, ExpectedCreated}, .icon = A::Written, .shortcut = A::Written,
     .hostDecides = true},
    {.name = "DirectoryNamedLikeShortcutKept", .arrange = DirectoryAsShortcut, .answers = {Yes, No, Ok},
     .boxes = {ExpectedQuestion, ExpectedOverwrite, ExpectedNotCreated}, .shortcut = A::Unchanged},
    {.name = "IconHeldOpenByAnotherProcess", .arrange = IconHeldOpen, .answers = {Yes, Ok},
     .boxes = {ExpectedQuestion, ExpectedNotCreated}, .icon = A::Unchanged},
    {.name = "ChineseAndAstralFolders", .arrange = ChineseAndAstralFolders, .answers = {Yes, Ok},
     .boxes = {ExpectedQuestion, ExpectedCreated}, .icon = A::Written, .shortcut = A::Written},
    {.name = "DesktopAtPathLimit", .arrange = DesktopAtPathLimit, .answers = {Yes, Ok},
     .boxes = {ExpectedQuestion, ExpectedCreated}, .icon = A::Written, .shortcut = A::Written},
    {.name = "DesktopPastPathLimit", .arrange = DesktopPastPathLimit, .answers = {Yes, Ok},
     .boxes = {ExpectedQuestion, ExpectedNotCreated}},
    {.name = "AppDataAtPathLimit", .arrange = AppDataAtPathLimit, .answers = {Yes, Ok},
     .boxes = {ExpectedQuestion, ExpectedCreated}, .icon = A::Written, .shortcut = A::Written},
    {.name = "AppDataPastPathLimit", .arrange = AppDataPastPathLimit, .answers = {Yes, Ok},
     .boxes = {ExpectedQuestion, ExpectedNotCreated}},
    {.name = "FrozenWindowIgnored", .arrange = FrozenWindowOnDesktop, .answers = {Yes, Ok},
     .boxes = {ExpectedQuestion, ExpectedCreated}, .icon = A::Written, .shortcut = A::Written},
};

// Wine's own Internet Shortcut object lacks IShellLinkW: with it the save
// fails after the icon file is written, and the user hears so.
bool HostObjectCannotSave()
{
    return RigPathsInUse().object == ShortcutObject::Host && RunningUnderWine();
}

// On Windows other programs write to the profile and the drive all the
// while, so there only the world's folder is compared: it holds both of the
// run's folders.
DiskSnapshot UserDisk()
{
    return RunningUnderWine() ? TakeDriveSnapshot() : TakeDiskSnapshot(WorldFolder());
}

// Nothing but the program's two files changed, and neither became hidden,
// system or read-only.
void ExpectNothingElseChanged(DiskSnapshot const& before)
{
    for (std::string const& change : DiskChanges(before, UserDisk(), {IconPath(), ShortcutPath()}))
        ADD_FAILURE() << change;
}

std::string ExpectedIconFile()
{
    return ReadFixture(RigPathsInUse().iconAsset) + '\0';
}

// The refresh's broadcasts, in the order received, each before the outcome
// box seen at outcomeAtMs. One with a string in lParam is some other
// application's.
std::vector<WPARAM> TakeRefreshes(double outcomeAtMs)
{
    std::vector<WPARAM> settings;
    for (SettingChange const& change : TakeSettingChanges()) {
        if (change.lParam != 0)
            continue;
        settings.push_back(change.wParam);
        EXPECT_LT(change.receivedAtMs, outcomeAtMs) << "broadcast " << change.wParam << " came late";
    }
    return settings;
}

// What stands at path after the run; differences tells what is wrong with
// what the program wrote there, nothing when all is right.
void ExpectAfter(std::wstring const& path, After after, PathState const& before,
                 std::function<std::string()> const& differences)
{
    if (after == After::Absent)
        EXPECT_FALSE(Exists(path)) << Utf8(path) << " was written";
    else if (after == After::Written)
        EXPECT_EQ(differences(), "") << Utf8(path);
    else
        EXPECT_TRUE(StateOf(path) == before) << Utf8(path) << " changed";
}

void ExpectBox(SeenBox const& box, wchar_t const* text)
{
    bool const isQuestion = text == ExpectedQuestion || text == ExpectedOverwrite;
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
        if (!WorldMayMoveUserFolders())
            GTEST_SKIP() << "moves your own Desktop and Local AppData for a while: configure with "
                            "-DQUORVEL_TESTS_MAY_MOVE_USER_FOLDERS=ON to allow it";
        ResetWorld();
        TakeSettingChanges();
    }

    void TearDown() override
    {
        if (HeldIcon != INVALID_HANDLE_VALUE)
            CloseHandle(HeldIcon);
        HeldIcon = INVALID_HANDLE_VALUE;
        ThawFrozenWindow();
        if (WorldMayMoveUserFolders())
            ResetWorld();
    }
};

TEST_P(WholeRun, BehavesAsTheUserIsTold)
{
    Scenario const& scenario = GetParam();
    scenario.arrange();
    std::wstring const iconPath = IconPath();
    std::wstring const shortcutPath = ShortcutPath();
    PathState const iconBefore = StateOf(iconPath);
    PathState const shortcutBefore = StateOf(shortcutPath);
    DiskSnapshot const diskBefore = UserDisk();

    PlayedRun const run = PlayProgram(RigPathsInUse().program, {scenario.arguments, scenario.answers});

    ExpectPlayed(run);
    if (HasFatalFailure())
        return;
    ExpectNothingElseChanged(diskBefore);
    EXPECT_EQ(run.exitCode, scenario.exitCode);
    ASSERT_EQ(run.boxes.size(), scenario.boxes.size())
        << "the last box said " << (run.boxes.empty() ? "nothing" : Utf8(run.boxes.back().text));
    bool const notSaved = HostObjectCannotSave() || (scenario.hostDecides && run.boxes.back().text == ExpectedNotCreated);
    for (size_t i = 0; i < run.boxes.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "box " << i + 1);
        wchar_t const* const text = scenario.boxes[i];
        ExpectBox(run.boxes[i], notSaved && text == ExpectedCreated ? ExpectedNotCreated : text);
    }

    ExpectAfter(iconPath, scenario.icon, iconBefore, [&iconPath]() -> std::string {
        std::string const icon = StateOf(iconPath).bytes;
        return icon == ExpectedIconFile() ? "" : std::to_string(icon.size()) + " bytes";
    });
    bool const keptByHost = notSaved && scenario.shortcut == After::Written;
    ExpectAfter(shortcutPath, keptByHost ? After::Unchanged : scenario.shortcut, shortcutBefore,
                SavedShortcutDifferences);

    // Both broadcasts, bounded, after every icon file written and before the
    // user hears the outcome.
    std::vector<WPARAM> const expected = {SPI_SETNONCLIENTMETRICS, SPI_SETICONS};
    EXPECT_EQ(TakeRefreshes(run.boxes.back().seenAtMs),
              scenario.icon == After::Written ? expected : std::vector<WPARAM>{});
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WholeRun, testing::ValuesIn(Scenarios),
                         [](testing::TestParamInfo<Scenario> const& param) { return param.param.name; });

// The same clean world before and after as the table's runs.
using TwoCopiesAtOnce = WholeRun;

// Both copies answered Yes, then OK. The one that looks second may already
// find the other's shortcut and ask to replace it (Yes again). Either may be
// refused its move onto the icon file while the other holds it, and then
// says "not created" without a refresh; or its save while the other writes
// the shortcut, after which it refreshes. Whatever the order, at least one
// saves, each that does refreshed, both exit 1 and the files are whole.
TEST_F(TwoCopiesAtOnce, BothEndAndTheFilesStayWhole)
{
    if (HostObjectCannotSave())
        GTEST_SKIP() << "Wine's own object cannot save: the copies have nothing to race for";
    Launch const copy{L"", {Yes, Yes, Ok}};
    DiskSnapshot const diskBefore = UserDisk();
    std::vector<PlayedRun> const runs = PlayPrograms(RigPathsInUse().program, {copy, copy});
    ExpectNothingElseChanged(diskBefore);

    size_t created = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "copy " << i + 1);
        PlayedRun const& run = runs[i];
        ExpectPlayed(run);
        if (HasFatalFailure())
            return;
        EXPECT_EQ(run.exitCode, 1u);
        ASSERT_TRUE(run.boxes.size() == 2 || run.boxes.size() == 3) << run.boxes.size() << " boxes";
        ExpectBox(run.boxes.front(), ExpectedQuestion);
        if (run.boxes.size() == 3)
            ExpectBox(run.boxes[1], ExpectedOverwrite);
        bool const saved = run.boxes.back().text == ExpectedCreated;
        ExpectBox(run.boxes.back(), saved ? ExpectedCreated : ExpectedNotCreated);
        created += saved;
    }
    EXPECT_GE(created, 1u) << "neither copy saved the shortcut";

    std::string const icon = StateOf(IconPath()).bytes;
    EXPECT_TRUE(icon == ExpectedIconFile()) << "the icon file is " << icon.size() << " bytes unlike IconImage";
    EXPECT_EQ(SavedShortcutDifferences(), "");

    std::vector<WPARAM> settings =
        TakeRefreshes(std::max(runs[0].boxes.back().seenAtMs, runs[1].boxes.back().seenAtMs));
    std::sort(settings.begin(), settings.end());
    // Both broadcasts from each copy that refreshed.
    size_t const refreshes = settings.size() / 2;
    std::vector<WPARAM> pairs(refreshes, SPI_SETNONCLIENTMETRICS);
    pairs.resize(2 * refreshes, SPI_SETICONS);
    EXPECT_EQ(settings, pairs);
    EXPECT_TRUE(refreshes >= created && refreshes <= runs.size())
        << refreshes << " copies refreshed, " << created << " said \"created\"";
}

} // namespace
