// Times the program against the floor, under Wine, and prints the table:
//   bench_runner --floor=EXE --program=EXE --standin=DLL --rig-root=DIR [--runs=N]
// Each run starts a fresh process and answers its boxes the moment they
// are visible, as a user with an instant click would.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rig/command_line.h"
#include "rig/files.h"
#include "rig/pe_image.h"
#include "rig/player.h"
#include "rig/world.h"

namespace {

int const DefaultRuns = 31;
int const FewestRuns = 15;
// Lets the previous process's teardown finish outside the next measurement.
DWORD const SettleMs = 100;
int StartRetries = 0;
// How finely the boxes were watched: the resolution of every time below.
double WidestPollGapMs = 0;

SIZE_T PeakWorkingSet(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    return GetProcessMemoryInfo(process, &counters, sizeof(counters)) ? counters.PeakWorkingSetSize : 0;
}

enum class Path { No, YesThenOk };

struct Sample {
    double toBoxMs = 0;
    double wholeMs = 0;
    double peakMiB = 0;
    SeenBox question;  // read on request only
    char const* error = nullptr;
};

// One fresh process, its boxes answered the moment they are seen.
Sample Run(std::wstring const& program, Path path, bool readQuestion = false)
{
    Sample sample;
    if (path == Path::YesThenOk) {
        RemoveTree(ShortcutPath());
        RemoveTree(IconPath());
    }
    PlayStyle style;
    style.pollMs = 0.5;
    // Only warm-ups read the question, so no measured run pays for it.
    style.readBoxes = readQuestion;
    // Memory at the last box, the most the run holds.
    style.beforeAnswer = [&sample](PROCESS_INFORMATION const& process, HWND, SeenBox const&) {
        sample.peakMiB = static_cast<double>(PeakWorkingSet(process.hProcess)) / 1048576.0;
    };
    std::vector<int> const answers = path == Path::No ? std::vector<int>{IDNO} : std::vector<int>{IDYES, IDOK};
    PlayedRun const run = PlayProgram(program, {L"", answers}, style);
    StartRetries += run.startRetries;
    WidestPollGapMs = std::max(WidestPollGapMs, run.widestPollGapMs);

    if (run.startError) {
        static char message[48];
        std::snprintf(message, sizeof(message), "could not start (error %lu)", run.startError);
        sample.error = message;
        return sample;
    }
    if (!run.boxes.empty()) {
        sample.toBoxMs = run.boxes.front().seenAtMs - run.startedAtMs;
        sample.question = run.boxes.front();
    }
    sample.wholeMs = run.endedAtMs - run.startedAtMs;
    if (run.timedOut)
        sample.error = "did not end";
    else if (run.boxes.size() != answers.size())
        sample.error = "not the boxes expected";
    else if (run.exitCode != static_cast<DWORD>(answers.back()))
        sample.error = "unexpected exit code";
    else if (path == Path::YesThenOk && !Exists(ShortcutPath()))
        sample.error = "no shortcut saved";
    else if (sample.peakMiB <= 0)
        sample.error = "no memory figures";
    Sleep(SettleMs);
    return sample;
}

// ---- the program files -------------------------------------------------------

struct ImageFacts {
    ULONGLONG bytes = 0;
    std::vector<std::string> imports;
    std::vector<std::string> delayImports;
};

ImageFacts ReadImage(std::wstring const& path)
{
    ImageFacts facts;
    std::string bytes;
    PeImage image;
    if (!ReadBytes(path, bytes) || !ReadPeFile(bytes, image))
        return facts;
    facts.bytes = bytes.size();
    facts.imports = ImportedDlls(image);
    facts.delayImports = DelayImportedDlls(image);
    return facts;
}

std::string ImportList(ImageFacts const& facts)
{
    std::string list;
    for (std::string const& name : facts.imports)
        list += (list.empty() ? "" : " ") + name;
    for (std::string const& name : facts.delayImports)
        list += (list.empty() ? "" : " ") + name + "(delay-loaded)";
    return list;
}

// ---- figures -------------------------------------------------------------------

struct Spread {
    double median = 0, q1 = 0, q3 = 0, min = 0, max = 0;
};

double Quantile(std::vector<double> const& sorted, double q)
{
    double const at = q * static_cast<double>(sorted.size() - 1);
    size_t const below = static_cast<size_t>(at);
    size_t const above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (at - static_cast<double>(below)) * (sorted[above] - sorted[below]);
}

Spread SpreadOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {Quantile(values, 0.5), Quantile(values, 0.25), Quantile(values, 0.75), values.front(), values.back()};
}

struct Row {
    char const* what;
    char const* unit;
    char const* floorPath;  // which of the floor's runs it is held against
    Spread floor;
    Spread ours;
    double target;          // the most ours/floor may be; 0 for none set
};

void PrintTables(ImageFacts const& floorImage, ImageFacts const& ourImage, std::vector<Row> const& rows, int runs)
{
    double const KiB = 1024.0;
    double const sizeTarget = 64.0;
    double const ourKiB = static_cast<double>(ourImage.bytes) / KiB;
    std::printf("\nQuorvel start-up benchmark under Wine: %d runs of each, after one warm-up.\n", runs);
    std::printf("Boxes watched every %.2f ms at the widest.\n", WidestPollGapMs);
    if (StartRetries)
        std::printf("Process starts refused and tried again: %d.\n", StartRetries);
    std::printf("\n");

    std::printf("%-34s %12s %12s %8s %8s  %s\n", "medians", "floor", "ours", "ratio", "target", "");
    std::printf("%-34s %8.1f KiB %8.1f KiB %8.3f %5.0f KiB  %s\n", "program file size",
                static_cast<double>(floorImage.bytes) / KiB, ourKiB,
                static_cast<double>(ourImage.bytes) / static_cast<double>(floorImage.bytes), sizeTarget,
                ourKiB <= sizeTarget ? "met" : "MISSED");
    for (Row const& row : rows) {
        double const ratio = row.ours.median / row.floor.median;
        std::string const what = std::string(row.what) + " (" + row.unit + ")";
        std::string target = "-";
        std::string verdict;
        if (row.target > 0) {
            char text[16];
            std::snprintf(text, sizeof(text), "%.2f", row.target);
            target = text;
            verdict = ratio <= row.target ? "met" : "MISSED";
        }
        std::printf("%-34s %12.1f %12.1f %8.3f %8s  %s%s\n", what.c_str(), row.floor.median, row.ours.median, ratio,
                    target.c_str(), verdict.c_str(), row.floorPath ? row.floorPath : "");
    }
    std::printf("\n%-34s %s\n%-34s %s\n", "imports, floor", ImportList(floorImage).c_str(), "imports, ours",
                ImportList(ourImage).c_str());

    std::printf("\n%-34s %-6s %9s %9s %9s %9s %9s\n", "spread", "", "min", "q1", "median", "q3", "max");
    for (Row const& row : rows) {
        std::string const what = std::string(row.what) + " (" + row.unit + ")";
        for (int side = 0; side < 2; ++side) {
            Spread const& s = side ? row.ours : row.floor;
            std::printf("%-34s %-6s %9.1f %9.1f %9.1f %9.1f %9.1f\n", side ? "" : what.c_str(),
                        side ? "ours" : "floor", s.min, s.q1, s.median, s.q3, s.max);
        }
    }
}

} // namespace

int main()
{
    std::wstring const floorExe = CommandLinePath(L"floor");
    RigPaths const paths = RigPathsFromCommandLine();
    std::wstring const& ourExe = paths.program;
    std::wstring const runsGiven = CommandLineOption(L"runs");
    if (floorExe.empty() || ourExe.empty() || paths.standin.empty() || paths.rigRoot.empty()) {
        std::fprintf(stderr, "usage: bench_runner --floor=EXE --program=EXE --standin=DLL --rig-root=DIR [--runs=N]\n");
        return 2;
    }
    int const runs = runsGiven.empty() ? DefaultRuns : _wtoi(runsGiven.c_str());
    if (runs < FewestRuns) {
        std::fprintf(stderr, "at least %d runs, for a median and spread worth printing\n", FewestRuns);
        return 2;
    }
    UseRigPaths(paths);
    UseStandinObject();

    // The warm-up also proves the floor asks exactly what the program asks.
    Sample const floorWarm = Run(floorExe, Path::No, true);
    Sample const ourWarm = Run(ourExe, Path::No, true);
    Sample const yesWarm = Run(ourExe, Path::YesThenOk);
    for (Sample const* warm : {&floorWarm, &ourWarm, &yesWarm}) {
        if (warm->error) {
            std::fprintf(stderr, "warm-up run failed: %s\n", warm->error);
            RestoreWorld();
            return 1;
        }
    }
    if (floorWarm.question.caption != ourWarm.question.caption || floorWarm.question.text != ourWarm.question.text
        || ourWarm.question.caption.empty()) {
        std::fprintf(stderr, "the floor's question box differs from the program's\n");
        RestoreWorld();
        return 1;
    }

    std::vector<double> toBox[2], no[2], yes, peakNo[2], peakYes;
    for (int i = 0; i < runs; ++i) {
        // Turn by turn, so no kind of run always follows the same other kind.
        for (int turn = 0; turn < 3; ++turn) {
            int const kind = (i + turn) % 3;
            Sample const sample = kind == 0 ? Run(floorExe, Path::No)
                                  : kind == 1 ? Run(ourExe, Path::No)
                                              : Run(ourExe, Path::YesThenOk);
            if (sample.error) {
                std::fprintf(stderr, "run %d (%s) failed: %s\n", i + 1,
                             kind == 0 ? "floor, No" : kind == 1 ? "ours, No" : "ours, Yes", sample.error);
                RestoreWorld();
                return 1;
            }
            if (kind == 2) {
                yes.push_back(sample.wholeMs);
                peakYes.push_back(sample.peakMiB);
            } else {
                toBox[kind].push_back(sample.toBoxMs);
                no[kind].push_back(sample.wholeMs);
                peakNo[kind].push_back(sample.peakMiB);
            }
        }
        std::fprintf(stderr, "\rrun %d of %d", i + 1, runs);
    }
    std::fprintf(stderr, "\n");
    RestoreWorld();

    Spread const floorNo = SpreadOf(no[0]);
    Spread const floorPeakNo = SpreadOf(peakNo[0]);
    std::vector<Row> const rows = {
        {"time to question box", "ms", nullptr, SpreadOf(toBox[0]), SpreadOf(toBox[1]), 1.10},
        {"run answered No", "ms", nullptr, floorNo, SpreadOf(no[1]), 1.10},
        {"run answered Yes, then OK", "ms", "  (floor: its No run)", floorNo, SpreadOf(yes), 1.5},
        {"peak memory, No", "MiB", nullptr, floorPeakNo, SpreadOf(peakNo[1]), 0},
        {"peak memory, Yes", "MiB", "  (floor: its No run)", floorPeakNo, SpreadOf(peakYes), 0},
    };
    PrintTables(ReadImage(floorExe), ReadImage(ourExe), rows, runs);
    return 0;
}
