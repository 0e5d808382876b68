#include "player.h"

#include <algorithm>

#include "clock.h"
#include "process.h"

namespace {

struct Running {
    PROCESS_INFORMATION process{};
    HWND answeredBox = nullptr;
    size_t nextAnswer = 0;
    bool done = false;
};

// Answers the box the run shows now, if it shows a new one.
void PlayBox(Running& run, Launch const& launch, PlayStyle const& style, PlayedRun& played)
{
    // A box just answered may linger a moment; wait for it to go.
    if (run.answeredBox && IsWindow(run.answeredBox))
        return;
    HWND box = FindBoxOf(run.process.dwProcessId);
    if (!box)
        return;
    SeenBox seen;
    seen.seenAtMs = RigNowMs();
    if (style.readBoxes)
        seen = ReadBox(box);
    played.boxes.push_back(seen);
    int answer = IDOK;
    if (run.nextAnswer < launch.answers.size())
        answer = launch.answers[run.nextAnswer++];
    else
        played.unscriptedBox = true;
    if (style.beforeAnswer)
        style.beforeAnswer(run.process, box, played.boxes.back());
    AnswerBox(box, answer);
    run.answeredBox = box;
}

} // namespace

std::vector<PlayedRun> PlayPrograms(std::wstring const& program, std::vector<Launch> const& launches,
                                    PlayStyle const& style)
{
    std::vector<PlayedRun> played(launches.size());
    std::vector<Running> running(launches.size());
    for (size_t i = 0; i < launches.size(); ++i) {
        played[i].startedAtMs = RigNowMs();
        played[i].startError = StartProgram(program, launches[i].arguments, running[i].process,
                                            &played[i].startRetries);
        running[i].done = played[i].startError != 0;
    }

    double const deadline = RigNowMs() + PlayTimeLimitMs;
    double lastPoll = 0;
    for (bool allDone = false; !allDone; PauseMs(style.pollMs)) {
        double const now = RigNowMs();
        allDone = true;
        for (size_t i = 0; i < launches.size(); ++i) {
            Running& run = running[i];
            if (run.done)
                continue;
            if (lastPoll > 0)
                played[i].widestPollGapMs = std::max(played[i].widestPollGapMs, now - lastPoll);
            bool const ended = WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0;
            if (ended || now > deadline) {
                played[i].endedAtMs = RigNowMs();
                played[i].timedOut = !EndProgram(run.process, 0, played[i].exitCode);
                run.done = true;
                continue;
            }
            allDone = false;
            PlayBox(run, launches[i], style, played[i]);
        }
        lastPoll = now;
    }
    return played;
}

PlayedRun PlayProgram(std::wstring const& program, Launch const& launch, PlayStyle const& style)
{
    return PlayPrograms(program, {launch}, style).front();
}
