// The Windows test program: a DLL that the simulated host imports and hands its
// process to, so that the tests run inside the host the plugin is made for.
#include <windows.h>

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

extern "C" __declspec(dllexport) int DriverMain() {
    harness::SilenceDebugOutput();
    harness::InstallRecorders();
    std::vector<std::string> arguments = harness::CommandLineArguments();
    if (arguments.size() >= 2 && arguments[1] == "--bench-startup") {
        // Figures on the platform's own file functions: no wrappers in between.
        harness::TakeHostSnapshot();
        return RunStartupBenchmark(arguments.size() >= 3 ? std::atoi(arguments[2].c_str()) : 15);
    }
    const std::string unwrapped = harness::InstallStrictKernel();
    if (!unwrapped.empty()) {
        // Without the wrappers this tier would prove only what Wine accepts.
        std::fprintf(stderr, "cannot wrap %s: the Windows tier cannot run\n", unwrapped.c_str());
        return 3;
    }
    harness::TakeHostSnapshot();

    // --code-page=N: the process believes its ANSI code page (and the OEM code page
    // that goes with it) is N.
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        if (it->rfind("--code-page=", 0) != 0) continue;
        const unsigned ansi = static_cast<unsigned>(std::stoul(it->substr(12)));
        harness::PretendCodePages(ansi, ansi == 1252 ? 850 : ansi);
        arguments.erase(it);
        break;
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());

    testing::InitGoogleTest(&argc, argv.data());
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
    return result;
}
