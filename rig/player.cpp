#include "player.h"

#include "clock.h"
#include "process.h"

namespace {

DWORD const PollMs = 5;

struct Running {
    PROCESS_INFORMATION process{};
    HWND answeredBox = nullptr;
    size_t nextAnswer = 0;
    bool done = false;
};

// Answers the box the run shows now, if it shows a new one.
void PlayBox(Running& run, Launch const& launch, PlayedRun& played)
{
    // A box just answered may linger a moment; wait for it to go.
    if (run.answeredBox && IsWindow(run.answeredBox))
        return;
    HWND box = FindBoxOf(run.process.dwProcessId);
    if (!box)
        return;
    played.boxes.push_back(ReadBox(box));
    int answer = IDOK;
    if (run.nextAnswer < launch.answers.size())
        answer = launch.answers[run.nextAnswer++];
    else
        played.unscriptedBox = true;
    AnswerBox(box, answer);
    run.answeredBox = box;
}

} // namespace

std::vector<PlayedRun> PlayPrograms(std::wstring const& program, std::vector<Launch> const& launches)
{
    std::vector<PlayedRun> played(launches.size());
    std::vector<Running> running(launches.size());
    for (size_t i = 0; i < launches.size(); ++i) {
        played[i].startedAtMs = RigNowMs();
        played[i].startError = StartProgram(program, launches[i].arguments, running[i].process);
        running[i].done = played[i].startError != 0;
    }

    double const deadline = RigNowMs() + PlayTimeLimitMs;
    for (bool allDone = false; !allDone; Sleep(PollMs)) {
        allDone = true;
        bool const overdue = RigNowMs() > deadline;
        for (size_t i = 0; i < launches.size(); ++i) {
            Running& run = running[i];
            if (run.done)
                continue;
            bool const ended = WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0;
            if (ended || overdue) {
                played[i].endedAtMs = RigNowMs();
                played[i].timedOut = !EndProgram(run.process, 0, played[i].exitCode);
                run.done = true;
                continue;
            }
            allDone = false;
            PlayBox(run, launches[i], played[i]);
        }
    }
    return played;
}

PlayedRun PlayProgram(std::wstring const& program, Launch const& launch)
{
    return PlayPrograms(program, {launch}).front();
}
