// The start-up: LoadGlobalSettings with its car registry, against the floor of
// listing the same folder and reading the same files' bytes.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "cars/car_settings.h"
#include "core/os.h"
#include "counting_allocator.h"
#include "settings/global_settings.h"

namespace {

// One folder per car count, made once and removed at exit.
class CarFolders {
public:
    ~CarFolders() {
        for (const auto& [count, path] : folders_) std::filesystem::remove_all(path);
    }
    const std::string& For(int count) {
        auto found = folders_.find(count);
        if (found != folders_.end()) return found->second;
        char pattern[] = "/tmp/zk-bench-XXXXXX";
        const std::string path = std::string(mkdtemp(pattern)) + "/";
        std::ofstream(path + "ZorbelKavrin.ini") << "[GENERAL]\nForceLodA=0\nFrontSteerAngle=400\n"
                                                    "ExpandMemoryPools=1\nInfiniteTuningSliders=1\n";
        std::filesystem::create_directory(path + "KavrinCars");
        for (int i = 0; i < count; ++i) {
            std::ofstream(path + "KavrinCars/CAR_" + std::to_string(i) + ".ini")
                << "; car " << i << "\n[GENERAL]\nForceLodA = " << (i % 2) << "\n";
        }
        return folders_.emplace(count, path).first->second;
    }

private:
    std::map<int, std::string> folders_;
};

CarFolders gFolders;

void ResetRegistry() {
    zk::CarSettingsRegistry.clear();
    zk::CarSettingsRegistry.shrink_to_fit();
    zk::GlobalSettings = zk::GlobalSettingsRecord{};
}

void BM_LoadGlobalSettings(benchmark::State& state) {
    const std::string& folder = gFolders.For(static_cast<int>(state.range(0)));
    zk::os::UsePluginFolder(folder);
    for (auto _ : state) {
        state.PauseTiming();
        ResetRegistry();
        state.ResumeTiming();
        zk::LoadGlobalSettings();
        benchmark::DoNotOptimize(zk::CarSettingsRegistry.data());
    }
    // Allocations of one load, and what stays allocated per car record.
    ResetRegistry();
    const auto before = bench::CurrentAllocations();
    zk::LoadGlobalSettings();
    const auto after = bench::CurrentAllocations();
    state.counters["allocations"] = static_cast<double>(after.Calls - before.Calls);
    if (state.range(0) > 0) {
        state.counters["live_bytes_per_car"] =
            static_cast<double>(after.LiveBytes - before.LiveBytes) / static_cast<double>(state.range(0));
    }
    ResetRegistry();
    zk::os::UsePluginFolder("");
}

// The floor: the same folder listed and every file opened and read, nothing parsed.
void BM_ReadFilesFloor(benchmark::State& state) {
    const std::string& folder = gFolders.For(static_cast<int>(state.range(0)));
    char buffer[65536];
    for (auto _ : state) {
        std::size_t total = 0;
        const auto readFile = [&](const std::string& path) {
            const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (file < 0) return;
            ssize_t got;
            while ((got = read(file, buffer, sizeof buffer)) > 0) total += static_cast<std::size_t>(got);
            close(file);
        };
        readFile(folder + "ZorbelKavrin.ini");
        DIR* listing = opendir((folder + "KavrinCars").c_str());
        while (const dirent* entry = readdir(listing)) {
            if (entry->d_name[0] == '.') continue;
            readFile(folder + "KavrinCars/" + entry->d_name);
        }
        closedir(listing);
        benchmark::DoNotOptimize(total);
    }
}

}  // namespace

BENCHMARK(BM_LoadGlobalSettings)->Arg(0)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadFilesFloor)->Arg(0)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
