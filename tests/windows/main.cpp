// The Windows test program: a DLL that the simulated host imports and hands its
// process to, so that the tests run inside the host the plugin is made for.
//
// Its first line says what it runs under and which wrapper layers are on: under
// Wine the strict layer and the code-page pretence, on Windows (or with
// --as-windows, as if it were) the pretence alone. Scenarios that need a layer
// that could not be installed are skipped, with the function and the reason named.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_THREAD_ATTACH) harness::NoteThreadAttach();
    return TRUE;
}

int RunStartupBenchmark(int rounds);
int RunLiveBenchmark(int rounds);
int SummarizeReports(const std::vector<std::string>& reports);

namespace {

std::string WindowsVersion() {
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (get == nullptr || get(&info) != 0) return "Windows";
    return "Windows " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
           "." + std::to_string(info.dwBuildNumber);
}

// Skips every scenario when a layer this run needs could not be installed: without
// it a scenario would prove only what Wine accepts, or run in the wrong code page.
// Afterwards the process's own code pages are back, for GoogleTest's report file
// (the C library converts its name in the ANSI code page).
class NeedsLayers : public testing::Environment {
  public:
    explicit NeedsLayers(std::string missing) : mMissing(std::move(missing)) {}
    void SetUp() override {
        if (!mMissing.empty()) GTEST_SKIP() << "not wrapped: " << mMissing;
    }
    void TearDown() override { harness::PretendCodePages(0, 0); }

  private:
    std::string mMissing;
};

bool TakeSwitch(std::vector<std::string>& arguments, const std::string& name) {
    const auto it = std::find(arguments.begin(), arguments.end(), name);
    if (it == arguments.end()) return false;
    arguments.erase(it);
    return true;
}

}  // namespace

extern "C" __declspec(dllexport) int DriverMain() {
    harness::SilenceDebugOutput();
    std::vector<std::string> arguments = harness::CommandLineArguments();
    if (arguments.size() >= 2 && arguments[1] == "--summarize") {
        return SummarizeReports(std::vector<std::string>(arguments.begin() + 2, arguments.end()));
    }
    harness::InstallRecorders();
    if (arguments.size() >= 2 && arguments[1] == "--bench-live") {
        return RunLiveBenchmark(arguments.size() >= 3 ? std::atoi(arguments[2].c_str()) : 15);
    }
    if (arguments.size() >= 2 && arguments[1] == "--bench-startup") {
        // Figures on the platform's own file functions: no wrappers in between.
        harness::TakeHostSnapshot();
        return RunStartupBenchmark(arguments.size() >= 3 ? std::atoi(arguments[2].c_str()) : 15);
    }

    const bool asWindows = TakeSwitch(arguments, "--as-windows");
    const std::string wine = harness::WineVersion();
    const bool strict = !wine.empty() && !asWindows;
    const std::string missing = strict ? harness::InstallStrictKernel() : harness::InstallCodePagePretence();
    harness::TakeHostSnapshot();

    // --code-page=N: the process believes its ANSI code page (and the OEM code page
    // that goes with it) is N.
    unsigned codePage = 0;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        if (it->rfind("--code-page=", 0) != 0) continue;
        codePage = static_cast<unsigned>(std::stoul(it->substr(12)));
        harness::PretendCodePages(codePage, codePage == 1252 ? 850 : codePage);
        arguments.erase(it);
        break;
    }
    const std::string platform = wine.empty() ? WindowsVersion() : "Wine " + wine;
    std::printf("simhost-tests: under %s%s; strict layer %s; code-page pretence %s%s\n", platform.c_str(),
                asWindows && !wine.empty() ? " (--as-windows: as on Windows)" : "",
                harness::StrictLayerOn() ? "on" : strict ? "MISSING" : "off",
                harness::CodePagePretenceOn() ? "on" : "MISSING",
                codePage != 0 ? (", ANSI code page " + std::to_string(codePage)).c_str() : "");
    if (!missing.empty()) std::printf("simhost-tests: not wrapped: %s\n", missing.c_str());
    if (TakeSwitch(arguments, "--show-stubs")) std::printf("simhost-tests: stubs: %s\n", harness::WrappedStubs().c_str());
    std::fflush(stdout);

    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());
    testing::InitGoogleTest(&argc, argv.data());
    testing::AddGlobalTestEnvironment(new NeedsLayers(missing));
    testing::Test::RecordProperty("platform", platform);
    testing::Test::RecordProperty("strict_layer", harness::StrictLayerOn() ? "on" : "off");
    testing::Test::RecordProperty("stubs", harness::WrappedStubs());
    testing::Test::RecordProperty("code_page", codePage != 0 ? std::to_string(codePage) : "own");
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
    return result;
}
