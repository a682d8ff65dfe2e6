// The live check (zk-check --running) against one running simulated game, from
// this process: finding the games (every process of the machine opened and its
// modules listed), reading one (its places, its file, the folder check and the
// settings), and the two together. Prints medians.
//
//   simhost-tests.exe --bench-live [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"
#include "live.h"

namespace {

double Milliseconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int RunLiveBenchmark(int rounds) {
    namespace live = zk::check::live;
    harness::RunningGame game;
    const std::wstring folder = harness::ProgramFolder() + L"scenarios\\bench-live";
    if (!harness::StartGame(folder, "[GENERAL]\r\nInfiniteTuningSliders=1\r\n", game)) {
        std::printf("the simulated game did not start: %s\n", game.Said.c_str());
        harness::EndGame(game);
        return 1;
    }
    std::vector<double> find, read, whole;
    std::size_t processes = 0, found = 0;
    bool working = true;
    for (int round = 0; round < rounds; ++round) {
        const double start = Milliseconds();
        std::vector<live::Candidate> candidates = live::FindGames();
        const double between = Milliseconds();
        for (live::Candidate& candidate : candidates) {
            if (candidate.Process.Id != game.Process.dwProcessId) continue;
            const live::Game read = live::ReadGame(candidate);
            working = working && read.Errors.empty() && read.Warnings.empty();
            ++found;
        }
        const double end = Milliseconds();
        find.push_back(between - start);
        read.push_back(end - between);
        const double again = Milliseconds();
        working = working && live::ExitStatus(live::RunLive()) == 0;
        whole.push_back(Milliseconds() - again);
    }
    processes = zk::check::sys::ProcessIds().size();
    harness::EndGame(game);
    std::printf("Live check of one running game (%d rounds; medians in ms; %zu other processes)\n", rounds,
                processes);
    std::printf("  find the games %.2f, read the game %.2f, the whole check %.2f\n", Median(find), Median(read),
                Median(whole));
    if (!working || found != static_cast<std::size_t>(rounds)) {
        std::printf("the check did not find the game working in every round\n");
        return 1;
    }
    return 0;
}
