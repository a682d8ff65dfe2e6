// The plugin's whole load inside the simulated host, on the platform's own file
// functions (no test wrappers), against a floor made in the same process of the
// same calls: list the car folder, then open, read and close the settings file and
// each car file. Beside it, the same start-up code linked into this program, and
// an empty DLL's load, to tell where the difference goes. Prints figures; it stops
// only when a load did not do its work.
//
//   simhost-tests.exe --bench-startup [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cars/car_settings.h"
#include "core/os.h"
#include "harness.h"
#include "patches/startup_patches.h"

namespace {

double Seconds() {
    static const double frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

// Opens, reads to the end and closes one file, as a reader that knows nothing of
// the file would: one 64 KB buffer, reads until one comes back short.
std::size_t ReadOneFile(const std::wstring& path, std::vector<char>& buffer) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    std::size_t total = 0;
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
           got != 0) {
        total += got;
        if (got < buffer.size()) break;
    }
    CloseHandle(file);
    return total;
}

// The floor: the same files, listed and read, with nothing made of them.
std::size_t ReadLikeThePlugin(const std::wstring& pluginFolder, std::vector<char>& buffer) {
    std::size_t total = ReadOneFile(pluginFolder + L"ZorbelKavrin.ini", buffer);
    const std::wstring cars = pluginFolder + L"KavrinCars\\";
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW((cars + L"*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return total;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        total += ReadOneFile(cars + found.cFileName, buffer);
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    return total;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

template <typename Call>
double MicrosecondsPerCall(Call call) {
    constexpr int kCalls = 2000;
    const double start = Seconds();
    for (int i = 0; i < kCalls; ++i) call();
    return (Seconds() - start) / kCalls * 1e6;
}

// What single calls cost here, to tell where a load's time goes.
void PrintCallCosts() {
    harness::Scenario scenario;
    scenario.File("KavrinCars/CAR_1.ini", "[GENERAL]\nForceLodA=1\n");
    const std::wstring path = scenario.PluginFolder() + L"KavrinCars\\CAR_1.ini";
    std::vector<char> buffer(65536);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const wchar_t wide[] = L"CAR_1000.ini";
    char narrow[64];
    wchar_t back[64];
    volatile std::uint32_t sink = 0;
    std::printf("  per call (us): open+read+close %.1f, GetFileType %.1f, GetFileSizeEx %.1f, "
                "WideCharToMultiByte %.2f, MultiByteToWideChar %.2f, host name hash %.2f\n",
                MicrosecondsPerCall([&] { sink = sink + ReadOneFile(path, buffer); }),
                MicrosecondsPerCall([&] { sink = sink + GetFileType(file); }),
                MicrosecondsPerCall([&] {
                    LARGE_INTEGER size;
                    sink = sink + GetFileSizeEx(file, &size);
                }),
                MicrosecondsPerCall([&] {
                    BOOL usedDefault = FALSE;
                    sink = sink + WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, narrow,
                                                      sizeof narrow, nullptr, &usedDefault);
                }),
                MicrosecondsPerCall([&] {
                    sink = sink + MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "CAR_1000.ini", -1,
                                                      back, 64);
                }),
                MicrosecondsPerCall([&] { sink = sink + harness::CallHostNameHash("CAR_1000.ini"); }));
    CloseHandle(file);
}

}  // namespace

int RunStartupBenchmark(int rounds) {
    std::vector<char> buffer(65536);
    std::vector<double> loadAt;
    std::vector<double> floorAt;
    std::vector<double> aloneAt;
    std::printf("Start-up in the simulated host (%d rounds each; medians in ms)\n", rounds);
    std::printf("  cars   plugin load   floor     ratio   start-up code alone   ratio\n");
    for (int cars : {0, 100, 1000}) {
        harness::Scenario scenario(L"scripts");
        scenario.Ini("[GENERAL]\nFrontSteerAngle=400\nForceLodA=1\n");
        scenario.Folder("KavrinCars");
        for (int i = 0; i < cars; ++i) {
            scenario.File("KavrinCars/CAR_" + std::to_string(i) + ".ini",
                          "[GENERAL]\nForceLodA=" + std::to_string((i + 1) % 2) + "\n");
        }
        std::vector<double> load;
        std::vector<double> floor;
        std::vector<double> alone;
        // One untimed round of each first, so that all find the files in the cache.
        for (int round = -1; round < rounds; ++round) {
            harness::RestoreHostImage();
            double start = Seconds();
            const bool loaded = scenario.Load();
            const double loadTime = Seconds() - start;
            scenario.Unload();
            harness::RestoreHostImage();

            start = Seconds();
            const std::size_t bytes = ReadLikeThePlugin(scenario.PluginFolder(), buffer);
            const double floorTime = Seconds() - start;

            // The same start-up, linked into this program: no DLL to map, its code
            // already run once.
            zk::os::UsePluginFolder(scenario.PluginFolder());
            zk::CarSettingsRegistry.clear();
            start = Seconds();
            zk::ApplyStartupPatches();
            const double aloneTime = Seconds() - start;
            const std::size_t records = zk::CarSettingsRegistry.size();
            zk::CarSettingsRegistry.clear();
            zk::os::UsePluginFolder(L"");
            if (!loaded || bytes == 0 || records != static_cast<std::size_t>(cars)) {
                std::printf("the plugin did not load, the floor read nothing, or the records "
                            "are not one per car file\n");
                return 1;
            }
            if (round < 0) continue;
            load.push_back(loadTime * 1e3);
            floor.push_back(floorTime * 1e3);
            alone.push_back(aloneTime * 1e3);
        }
        const double loadMedian = Median(load);
        const double floorMedian = Median(floor);
        const double aloneMedian = Median(alone);
        std::printf("  %-5d  %11.3f   %7.3f   %5.2f   %19.3f   %5.2f\n", cars, loadMedian,
                    floorMedian, loadMedian / floorMedian, aloneMedian, aloneMedian / floorMedian);
        loadAt.push_back(loadMedian);
        floorAt.push_back(floorMedian);
        aloneAt.push_back(aloneMedian);
    }
    harness::RestoreHostImage();

    // Where the rest goes: a part paid once per load, then a part per car file.
    std::vector<double> empty;
    const std::wstring emptyDll = harness::ProgramFolder() + L"zk-empty-dll.dll";
    for (int round = 0; round < rounds; ++round) {
        const double start = Seconds();
        HMODULE module = LoadLibraryW(emptyDll.c_str());
        empty.push_back((Seconds() - start) * 1e3);
        if (module == nullptr) {
            std::printf("cannot load %s\n", harness::Narrow(emptyDll).c_str());
            return 1;
        }
        FreeLibrary(module);
    }
    std::printf("  once per load: %.3f ms over the floor; an empty DLL of the same tool chain "
                "loads in %.3f ms\n",
                loadAt[0] - floorAt[0], Median(empty));
    const double pluginPerFile = (loadAt[2] - loadAt[1]) / 900 * 1e3;
    const double alonePerFile = (aloneAt[2] - aloneAt[1]) / 900 * 1e3;
    std::printf("  per car file (100 to 1,000 files): plugin %.1f us, the same code in this "
                "program %.1f us (%.2f), floor %.1f us\n",
                pluginPerFile, alonePerFile, pluginPerFile / alonePerFile,
                (floorAt[2] - floorAt[1]) / 900 * 1e3);
    PrintCallCosts();
    std::fflush(stdout);
    return 0;
}
