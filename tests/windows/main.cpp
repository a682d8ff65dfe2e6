// The Windows test program: a DLL that the simulated host imports and hands its
// process to, so that the tests run inside the host the plugin is made for.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_THREAD_ATTACH) harness::NoteThreadAttach();
    return TRUE;
}

extern "C" __declspec(dllexport) int DriverMain() {
    harness::SilenceDebugOutput();
    harness::InstallRecorders();
    harness::TakeHostSnapshot();

    std::vector<std::string> arguments = harness::CommandLineArguments();
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
