// Host threads in all three sites at once, while other threads start and end and
// the plugin gets their attach and detach notifications.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "harness.h"
#include "site_helpers.h"

using harness::Scenario;

namespace {

constexpr int kHostThreads = 8;
constexpr int kPasses = 10000;

struct Shared {
    HANDLE Go = nullptr;
    std::uint32_t CarKey = 0;
    std::uint32_t Object = 0;
    std::atomic<int> Passes{0};
    std::atomic<int> Mismatches[3] = {};  // level of detail, attribute, autosculpt
};

struct Worker {
    Shared* State;
    HANDLE Ready;
    int Number;
};

DWORD WINAPI RunHostThread(void* argument) {
    Worker& worker = *static_cast<Worker*>(argument);
    Shared& state = *worker.State;
    SetEvent(worker.Ready);
    WaitForSingleObject(state.Go, INFINITE);
    int mismatches[3] = {};
    for (int i = 0; i < kPasses; ++i) {
        // Level of detail: the car's key gets the A, any other key does not.
        char name[8] = "CARC";
        const bool car = ((i + worker.Number) & 1) == 0;
        sim::LodPass lod{};
        lod.Name = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(name));
        lod.Key = car ? state.CarKey : state.CarKey + 1 + static_cast<std::uint32_t>(i);
        lod.In = {1, 2, 3, 0xB0B0B0B0u + i, 0, 0xBE000000u + i, 0x51000000u + i, 0xD1000000u + i};
        harness::PassLodSite(lod);
        mismatches[0] += std::strcmp(name, car ? "CARA" : "CARC") != 0;
        mismatches[0] += lod.Out.Eax != (lod.Key ^ SIM_FORWARD_RESULT_XOR) || lod.Out.Ebx != lod.In.Ebx ||
                         lod.Out.Esi != lod.In.Esi || lod.Out.Edi != lod.In.Edi ||
                         lod.Out.Ebp != lod.In.Ebp || lod.Out.Esp != lod.ExpectedEsp ||
                         lod.Out.Ecx != SIM_FORWARD_ECX || lod.Out.Edx != SIM_FORWARD_EDX;

        // Attribute value: a hit for even indexes' object, the fallback otherwise.
        sim::AttrPass attribute{};
        const bool object = (i % 3) != 0;
        attribute.In = {0xEA, 0xC0 + static_cast<std::uint32_t>(i), 0xD0, 0xB0, 0,
                        static_cast<std::uint32_t>(i % 4), 0x51, 0xD1};
        attribute.InX87Bits = 0x3F800000;
        attribute.SlotsIn[1] = object ? state.Object : 0;
        attribute.SlotsIn[4] = 0x10000000u + i;
        attribute.SlotsIn[5] = static_cast<std::uint32_t>(i * 1000);
        harness::PassAttributeSite(attribute);
        const float expected = !object ? static_cast<float>(i)  // i * 1000 / 1000
                               : (i % 4) < 2 ? 1.25f : -7.5f;
        mismatches[1] += harness::BitsFloat(attribute.TopBits) != expected;
        mismatches[1] += attribute.Out.Eax != attribute.SlotsIn[4] || attribute.Out.Ecx != attribute.In.Ecx ||
                         attribute.Out.Esp != attribute.ExpectedEsp || harness::X87Depth(attribute.Env) != 2;

        // Autosculpt: the slot, and nothing else.
        sim::SculptPass sculpt{};
        sculpt.In = {0xA0 + static_cast<std::uint32_t>(i), 0xC0, 0xD0, 0xB0, 0, 0xBE, 0x51, 0xD1};
        sculpt.InFlags = (i & 1) ? 0x8D7 : 0x2;
        sculpt.InX87Bits = 0x3F800000;
        sculpt.SlotsIn[1] = static_cast<std::uint32_t>(i);
        harness::PassSculptSite(sculpt);
        mismatches[2] += sculpt.SlotsOut[1] != 0x4023D70A || sculpt.Out.Eax != sculpt.In.Eax ||
                         (sculpt.OutFlags & 0xCD5) != (sculpt.InFlags & 0xCD5) ||
                         sculpt.Out.Esp != sculpt.ExpectedEsp || harness::X87Depth(sculpt.Env) != 1;
        ++state.Passes;
    }
    for (int site = 0; site < 3; ++site) state.Mismatches[site] += mismatches[site];
    return 0;
}

DWORD WINAPI EndAtOnce(void*) { return 0; }

TEST(Threads, EightHostThreadsThroughAllThreeSitesWhileThreadsComeAndGo) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nInfiniteAutosculptSliders=1\n");
    scenario.File("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    for (int i = 0; i < 50; ++i) {
        scenario.File("KavrinCars/Other" + std::to_string(i) + ".ini", "[GENERAL]\nForceLodA=0\n");
    }
    ASSERT_TRUE(scenario.Load());

    static sites::HostObject object;
    object.Low.Value = 1.25f;
    object.High.Value = -7.5f;
    object.Answer(true, true);

    Shared state;
    state.Go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state.CarKey = harness::CallHostNameHash("Car1.ini");
    state.Object = object.ObjectAddress();
    const std::uint32_t forwardsBefore = harness::PeekHost32(SIM_FORWARD_CALLS);

    // Started one at a time (two threads starting at once upset Wine), then released
    // together.
    std::vector<Worker> workers(kHostThreads);
    std::vector<HANDLE> threads;
    for (int n = 0; n < kHostThreads; ++n) {
        workers[n] = {&state, CreateEventW(nullptr, TRUE, FALSE, nullptr), n};
        threads.push_back(CreateThread(nullptr, 0, RunHostThread, &workers[n], 0, nullptr));
        ASSERT_NE(threads.back(), nullptr);
        WaitForSingleObject(workers[n].Ready, INFINITE);
    }
    SetEvent(state.Go);

    // Meanwhile threads start and end, one after another.
    int churned = 0;
    while (state.Passes < kHostThreads * kPasses) {
        HANDLE brief = CreateThread(nullptr, 0, EndAtOnce, nullptr, 0, nullptr);
        ASSERT_NE(brief, nullptr);
        WaitForSingleObject(brief, INFINITE);
        CloseHandle(brief);
        ++churned;
    }
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    for (Worker& worker : workers) CloseHandle(worker.Ready);
    CloseHandle(state.Go);

    EXPECT_EQ(state.Mismatches[0], 0) << "level of detail";
    EXPECT_EQ(state.Mismatches[1], 0) << "attribute value";
    EXPECT_EQ(state.Mismatches[2], 0) << "autosculpt";
    EXPECT_EQ(state.Passes, kHostThreads * kPasses);
    EXPECT_EQ(harness::PeekHost32(SIM_FORWARD_CALLS) - forwardsBefore,
              static_cast<std::uint32_t>(kHostThreads * kPasses));
    EXPECT_GT(churned, 0);
    RecordProperty("BriefThreads", churned);
}

}  // namespace

namespace {

struct SmallStackLoad {
    harness::Scenario* Scenario;
    bool Loaded;
};

constexpr std::size_t kStackLeft = 48 * 1024;

// Uses up this thread's stack but the last kStackLeft bytes (Wine gives every
// thread a large stack whatever it is asked for), then loads the plugin.
DWORD WINAPI LoadOnThisThread(void* argument) {
    auto* load = static_cast<SmallStackLoad*>(argument);
    MEMORY_BASIC_INFORMATION stack{};
    VirtualQuery(&stack, &stack, sizeof stack);
    const std::size_t depth = reinterpret_cast<std::uintptr_t>(&stack) -
                              reinterpret_cast<std::uintptr_t>(stack.AllocationBase);
    volatile char* used = static_cast<char*>(__builtin_alloca(depth - kStackLeft));
    used[0] = 0;
    load->Loaded = load->Scenario->Load();
    return used[0];
}

}  // namespace

// The thread that loads an ASI plugin is the game's or the loader's, and its stack
// may be small: the start-up must fit in 48 KB of it (a settings file and a car
// file read, every patch written).
TEST(Threads, TheStartUpFitsOnASmallStack) {
    harness::Scenario scenario;
    scenario.Ini("[GENERAL]\nFrontSteerAngle=99\nInfiniteTuningSliders=1\n");
    scenario.File("KavrinCars/Small.ini", "[GENERAL]\nForceLodA=1\n");
    SmallStackLoad load{&scenario, false};
    HANDLE thread = CreateThread(nullptr, 0, LoadOnThisThread, &load, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u);
    ASSERT_TRUE(load.Loaded);
    EXPECT_EQ(harness::PeekHostFloat(0xA8918C), 99.0f);
    EXPECT_TRUE(sites::CarForced("Small.ini"));
}
