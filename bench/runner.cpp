// Times the program against the floor, under Wine, and prints the table:
//   bench_runner FLOOR PROGRAM STANDIN_DLL RIG_ROOT [RUNS]   (Unix paths)
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

#include "scenario_world.h"

namespace {

int const DefaultRuns = 31;
int const FewestRuns = 15;
DWORD const RunLimitMs = 30000;
// Lets the previous process's teardown finish outside the next measurement.
DWORD const SettleMs = 100;
int const MessageTextId = 0xFFFF;
int const StartAttempts = 3;
int StartRetries = 0;

double TicksPerMs = 0;

double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / TicksPerMs;
}

// How often the box search really ran: the resolution of every time below.
struct Polling {
    double last = 0;
    double widestGap = 0;
    double gapSum = 0;
    long gaps = 0;

    void Tick()
    {
        double const now = NowMs();
        if (last > 0) {
            widestGap = std::max(widestGap, now - last);
            gapSum += now - last;
            ++gaps;
        }
        last = now;
    }
};
Polling Polls;

// The message box class; any visible one of the process other than skip.
HWND FindBoxOf(DWORD processId, HWND skip)
{
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && window != skip && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

// Win32 waits take whole milliseconds, about 1.2 ms under Wine; ntdll's delay
// takes 100 ns units, so the search can run every half millisecond.
using DelayExecution = LONG(NTAPI*)(BOOLEAN alertable, PLARGE_INTEGER interval);
DelayExecution Delay = nullptr;
LONGLONG const PollInterval = 5000;  // 0.5 ms, in 100 ns units

void PausePoll()
{
    LARGE_INTEGER interval;
    interval.QuadPart = -PollInterval;  // negative: relative to now
    if (Delay)
        Delay(FALSE, &interval);
    else
        Sleep(1);
}

// Null when the process ends or the run overstays.
HWND WaitForBox(PROCESS_INFORMATION const& process, HWND skip, double deadline)
{
    Polls.last = 0;
    for (;;) {
        Polls.Tick();
        if (HWND box = FindBoxOf(process.dwProcessId, skip))
            return box;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0 || NowMs() > deadline)
            return nullptr;
        PausePoll();
    }
}

void Click(HWND box, int button)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

SIZE_T PeakWorkingSet(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    return GetProcessMemoryInfo(process, &counters, sizeof(counters)) ? counters.PeakWorkingSetSize : 0;
}

std::wstring WindowText(HWND window)
{
    WCHAR text[512]{};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

enum class Path { No, YesThenOk };

struct Sample {
    double toBoxMs = 0;
    double wholeMs = 0;
    double peakMiB = 0;
    std::wstring caption;  // of the question box, read on request only
    std::wstring text;
    char const* error = nullptr;
};

Sample Run(std::wstring const& program, Path path, bool readQuestion = false)
{
    Sample sample;
    if (path == Path::YesThenOk) {
        RemoveTree(ShortcutPath());
        RemoveTree(IconPath());
    }
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};

    // A start now and then fails under Wine on a busy machine; the clock restarts with each try.
    double start = 0;
    bool started = false;
    DWORD startError = 0;
    for (int attempt = 0; attempt < StartAttempts && !started; ++attempt) {
        if (attempt > 0) {
            ++StartRetries;
            Sleep(SettleMs);
        }
        start = NowMs();
        started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process) != FALSE;
        if (!started)
            startError = GetLastError();
    }
    if (!started) {
        static char message[48];
        std::snprintf(message, sizeof(message), "could not start (error %lu)", startError);
        sample.error = message;
        return sample;
    }
    double const deadline = start + RunLimitMs;
    HWND const question = WaitForBox(process, nullptr, deadline);
    sample.toBoxMs = NowMs() - start;

    // Read before the click, which closes the box; only warm-ups ask, so no time is lost.
    if (readQuestion && question) {
        sample.caption = WindowText(question);
        sample.text = WindowText(GetDlgItem(question, MessageTextId));
    }
    int expectedExit = IDNO;
    if (!question) {
        sample.error = "no question box";
    } else if (path == Path::No) {
        sample.peakMiB = static_cast<double>(PeakWorkingSet(process.hProcess)) / 1048576.0;
        Click(question, IDNO);
    } else {
        Click(question, IDYES);
        HWND const outcome = WaitForBox(process, question, deadline);
        if (outcome) {
            sample.peakMiB = static_cast<double>(PeakWorkingSet(process.hProcess)) / 1048576.0;
            Click(outcome, IDOK);
            expectedExit = IDOK;
        } else {
            sample.error = "no outcome box";
        }
    }

    DWORD const left = static_cast<DWORD>(std::max(0.0, deadline - NowMs()));
    if (WaitForSingleObject(process.hProcess, left) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
        sample.error = "did not end";
    }
    sample.wholeMs = NowMs() - start;
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    if (!sample.error && exitCode != static_cast<DWORD>(expectedExit))
        sample.error = "unexpected exit code";
    if (!sample.error && path == Path::YesThenOk && !Exists(ShortcutPath()))
        sample.error = "no shortcut saved";
    if (!sample.error && sample.peakMiB <= 0)
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

template <typename T>
bool ReadAt(std::string const& image, size_t offset, T& value)
{
    if (offset > image.size() || image.size() - offset < sizeof(T))
        return false;
    std::memcpy(&value, image.data() + offset, sizeof(T));
    return true;
}

struct Sections {
    std::vector<IMAGE_SECTION_HEADER> headers;

    size_t OffsetOf(DWORD rva) const
    {
        for (IMAGE_SECTION_HEADER const& section : headers) {
            DWORD const span = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < span)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        return SIZE_MAX;
    }
};

std::string NameAt(std::string const& image, size_t offset)
{
    if (offset >= image.size())
        return "?";
    return std::string(image.c_str() + offset, strnlen(image.c_str() + offset, image.size() - offset));
}

// The DLL names a PE32+ file imports, read from the file itself.
ImageFacts ReadImage(std::wstring const& path)
{
    ImageFacts facts;
    std::string image;
    if (!ReadBytes(path, image))
        return facts;
    facts.bytes = image.size();

    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    if (!ReadAt(image, 0, dos) || !ReadAt(image, static_cast<size_t>(dos.e_lfanew), nt)
        || nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return facts;
    Sections sections;
    size_t const first = static_cast<size_t>(dos.e_lfanew) + offsetof(IMAGE_NT_HEADERS64, OptionalHeader)
                         + nt.FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section{};
        if (ReadAt(image, first + i * sizeof(section), section))
            sections.headers.push_back(section);
    }

    auto const& directories = nt.OptionalHeader.DataDirectory;
    size_t offset = sections.OffsetOf(directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    IMAGE_IMPORT_DESCRIPTOR entry{};
    for (; ReadAt(image, offset, entry) && entry.Name; offset += sizeof(entry))
        facts.imports.push_back(NameAt(image, sections.OffsetOf(entry.Name)));
    if (directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress) {
        offset = sections.OffsetOf(directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress);
        IMAGE_DELAYLOAD_DESCRIPTOR delayed{};
        for (; ReadAt(image, offset, delayed) && delayed.DllNameRVA; offset += sizeof(delayed))
            facts.delayImports.push_back(NameAt(image, sections.OffsetOf(delayed.DllNameRVA)));
    }
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
    std::printf("Box polling: every %.2f ms on average, %.2f ms at the widest.\n",
                Polls.gaps ? Polls.gapSum / static_cast<double>(Polls.gaps) : 0.0, Polls.widestGap);
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

int main(int argc, char** argv)
{
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: %s FLOOR PROGRAM STANDIN_DLL RIG_ROOT [RUNS]\n", argv[0]);
        return 2;
    }
    int const runs = argc == 6 ? std::atoi(argv[5]) : DefaultRuns;
    if (runs < FewestRuns) {
        std::fprintf(stderr, "at least %d runs, for a median and spread worth printing\n", FewestRuns);
        return 2;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    TicksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;
    Delay = reinterpret_cast<DelayExecution>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDelayExecution")));

    std::wstring const floorExe = WindowsPathOf(argv[1]);
    std::wstring const ourExe = WindowsPathOf(argv[2]);
    SetRig({ourExe, WindowsPathOf(argv[3]), L"", WindowsPathOf(argv[4])});
    // The stand-in neither logs nor fails here: it should cost what a real object costs.
    SetEnvironmentVariableW(L"STANDIN_LOG", nullptr);
    FailStandinCalls("");
    UseStandinObject();

    // The warm-up also proves the floor asks exactly what the program asks.
    Sample const floorWarm = Run(floorExe, Path::No, true);
    Sample const ourWarm = Run(ourExe, Path::No, true);
    Sample const yesWarm = Run(ourExe, Path::YesThenOk);
    for (Sample const* warm : {&floorWarm, &ourWarm, &yesWarm}) {
        if (warm->error) {
            std::fprintf(stderr, "warm-up run failed: %s\n", warm->error);
            return 1;
        }
    }
    if (floorWarm.caption != ourWarm.caption || floorWarm.text != ourWarm.text || ourWarm.caption.empty()) {
        std::fprintf(stderr, "the floor's question box differs from the program's\n");
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
                UseWineObject();
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
    UseWineObject();
    RemoveTree(ShortcutPath());
    RemoveTree(IconPath());

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
