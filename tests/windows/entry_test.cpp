// The entry point's notifications other than process attach.
#include <gtest/gtest.h>

#include <vector>

#include "harness.h"

using harness::Scenario;

extern "C" BOOL WINAPI ProductDllMain(HINSTANCE, DWORD, LPVOID);  // the plugin's DllMain

namespace {

DWORD WINAPI EndAtOnce(void*) { return 0; }

void RunBriefThread() {
    HANDLE thread = CreateThread(nullptr, 0, EndAtOnce, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

using EntryPoint = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

EntryPoint EntryOf(HMODULE module) {
    const auto* base = reinterpret_cast<const std::uint8_t*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    return reinterpret_cast<EntryPoint>(const_cast<std::uint8_t*>(base) + nt->OptionalHeader.AddressOfEntryPoint);
}

TEST(Entry, ThreadAndDetachNotificationsBeforeStartUpDoNothing) {
    // The plugin's DllMain, linked into this program, has not started up here.
    harness::RestoreHostImage();
    harness::TakeProtectCalls();
    const auto before = harness::CurrentImage();
    EXPECT_EQ(ProductDllMain(nullptr, DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(ProductDllMain(nullptr, DLL_THREAD_DETACH, nullptr), TRUE);
    EXPECT_EQ(ProductDllMain(nullptr, DLL_PROCESS_DETACH, nullptr), TRUE);  // as after a refusal
    EXPECT_TRUE(harness::CurrentImage() == before);
    EXPECT_TRUE(harness::TakeProtectCalls().empty());
    EXPECT_TRUE(harness::TakeMessages().empty());
}

TEST(Entry, ThreadNotificationsAfterStartUpDoNothing) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nExpandMemoryPools=1\nInfiniteTuningSliders=1\nInfiniteAutosculptSliders=1\n");
    ASSERT_TRUE(scenario.Load());
    harness::TakeProtectCalls();
    const auto afterStartUp = harness::CurrentImage();
    // Real threads: the loader tells the plugin of each.
    for (int i = 0; i < 3; ++i) RunBriefThread();
    // And the notifications by hand, through the module's own entry point.
    const EntryPoint entry = EntryOf(scenario.Module());
    EXPECT_EQ(entry(reinterpret_cast<HINSTANCE>(scenario.Module()), DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(entry(reinterpret_cast<HINSTANCE>(scenario.Module()), DLL_THREAD_DETACH, nullptr), TRUE);
    EXPECT_TRUE(harness::CurrentImage() == afterStartUp);
    EXPECT_TRUE(harness::TakeProtectCalls().empty());
    EXPECT_TRUE(harness::TakeMessages().empty());
}

TEST(Entry, UnloadUndoesNothing) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nExpandMemoryPools=1\n");
    ASSERT_TRUE(scenario.Load());
    const auto afterStartUp = harness::CurrentImage();
    scenario.Unload();
    EXPECT_TRUE(harness::CurrentImage() == afterStartUp);
}

TEST(Entry, TheStartUpRunsOncePerLoad) {
    Scenario scenario;
    scenario.File("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    const std::uint32_t before = harness::PeekHost32(SIM_HASH_CALLS);
    ASSERT_TRUE(scenario.Load());
    for (int i = 0; i < 2; ++i) RunBriefThread();
    // A second LoadLibrary of the same module only counts a reference.
    HMODULE again = LoadLibraryW(scenario.PluginPath().c_str());
    EXPECT_EQ(again, scenario.Module());
    FreeLibrary(again);
    EXPECT_EQ(harness::PeekHost32(SIM_HASH_CALLS) - before, 1u);
}

}  // namespace

TEST(Entry, TheVersionResourceNamesTheProduct) {
    const std::wstring path = harness::ProgramFolder() + L"ZorbelKavrin.asi";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    const auto value = [&](const wchar_t* name) {
        wchar_t* text = nullptr;
        UINT length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        return VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) && text
                   ? harness::Narrow(text)
                   : std::string();
    };
    EXPECT_EQ(value(L"ProductName"), "ZorbelKavrin");
    EXPECT_EQ(value(L"OriginalFilename"), "ZorbelKavrin.asi");
    EXPECT_EQ(value(L"ProductVersion"), ZK_VERSION);
    EXPECT_NE(value(L"FileDescription").find("ZorbelKavrin"), std::string::npos);
}
