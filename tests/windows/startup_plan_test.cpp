// The whole start-up of the real plugin in the simulated host: every host byte and
// every protection window, in every combination of the patch flags.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>

#include "harness.h"
#include "plan.h"
#include "plugin_image.h"

using harness::Scenario;
using plan::ExpectPlan;
using plan::FlagIni;
using plan::Flags;
using plan::kDefaultSteerBits;

namespace {

class FlagCombination : public testing::TestWithParam<int> {};

TEST_P(FlagCombination, ExactlyTheTablesBytesAndWindows) {
    const Flags flags{(GetParam() & 1) != 0, (GetParam() & 2) != 0, (GetParam() & 4) != 0};
    Scenario scenario;
    scenario.Ini(FlagIni(flags));
    ExpectPlan(scenario, flags, kDefaultSteerBits);
}

INSTANTIATE_TEST_SUITE_P(AllEight, FlagCombination, testing::Range(0, 8));

TEST(StartupPlan, NoIniAndNoFolderGiveTheDefaults) {
    Scenario scenario;
    ExpectPlan(scenario, {false, false, false}, kDefaultSteerBits);
    EXPECT_EQ(harness::PeekHost32(0xA8918C), 0x43AA0000u);
}

TEST(StartupPlan, EverythingAtOnceWithCarsAndForceLodA) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nForceLodA=1\nFrontSteerAngle=400\nExpandMemoryPools=1\n"
                 "InfiniteTuningSliders=1\nInfiniteAutosculptSliders=1\n");
    scenario.File("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    scenario.File("KavrinCars/Car2.ini", "[GENERAL]\nForceLodA=0\n");
    scenario.Folder("KavrinCars/Sub");
    ExpectPlan(scenario, {true, true, true}, harness::FloatBits(400.0f), 3);
}

TEST(StartupPlan, SteeringAngleStoredAsRead) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"FrontSteerAngle=400", harness::FloatBits(400.0f)},
        {"FrontSteerAngle=0", 0x00000000},
        {"FrontSteerAngle=-30", harness::FloatBits(-30.0f)},
        {"FrontSteerAngle=1e30", harness::FloatBits(1e30f)},
        {"FrontSteerAngle=", 0x00000000},
        {"FrontSteerAngle=wide", 0x00000000},
        {"FrontSteerAngle=-0", 0x80000000},
        {"FrontSteerAngle=1e40", 0x7F800000},
        // The 32-bit build's own exact reading: to the nearest double, then float.
        {"FrontSteerAngle=0.1", 0x3DCCCCCD},
        {"FrontSteerAngle=1.4e-45", 0x00000001},
        {"FrontSteerAngle=340282356779733661637539395458142568448", 0x7F800000},  // a tie: to even
        // 1 + 2^-24 + 2^-53: a tie of doubles, to the even 1 + 2^-24, a tie of floats.
        {"FrontSteerAngle=1.00000005960464488641292746251565404236316680908203125", 0x3F800000},
        {"FrontSteerAngle=1.000000059604644886412927462515654042363166809082031251", 0x3F800001},
        {"FrontSteerAngle=340282356779733623858607532500980858880", 0x7F7FFFFF},
        {"Other=1", 0x43AA0000},
    };
    for (const auto& [line, bits] : cases) {
        SCOPED_TRACE(line);
        Scenario scenario;
        scenario.Ini(std::string("[GENERAL]\n") + line + "\n");
        ExpectPlan(scenario, {false, false, false}, bits);
    }
}

TEST(StartupPlan, FlagValuesOtherThanOneLeaveTheirGroupUnwritten) {
    for (const char* value : {"2", "-1", "0", "true", "", "0x2", "1.0e0x"}) {
        SCOPED_TRACE(value);
        Scenario scenario;
        scenario.Ini(std::string("[GENERAL]\nExpandMemoryPools=") + value +
                     "\nInfiniteTuningSliders=" + value + "\nInfiniteAutosculptSliders=" + value + "\n");
        const bool on = std::string(value) == "1.0e0x";  // strtol reads the 1
        ExpectPlan(scenario, {on, on, on}, kDefaultSteerBits);
    }
    for (const char* value : {"01", "0x1", "1 ; note", "0X01", "1 // note"}) {
        SCOPED_TRACE(value);
        Scenario scenario;
        scenario.Ini(std::string("[general]\nExpandMemoryPools=") + value +
                     "\nInfiniteTuningSliders=" + value + "\nInfiniteAutosculptSliders=" + value + "\n");
        ExpectPlan(scenario, {true, true, true}, kDefaultSteerBits);
    }
}

TEST(StartupPlan, TheTuningJumpIsConstant) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nInfiniteTuningSliders=1\n");
    ASSERT_TRUE(scenario.Load());
    const std::uint8_t expected[] = {0xE9, 0xC1, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(0x5C18E6), expected, 5), 0);
    EXPECT_EQ(harness::RelativeTarget(0x5C18E6), 0x5C19ACu);
}

TEST(StartupPlan, RelocatedPluginDiffersOnlyInDisplacements) {
    // First at its preferred base...
    Flags all{true, true, true};
    std::vector<std::uint8_t> atHome;
    std::uint32_t homeBase = 0;
    {
        Scenario scenario;
        scenario.Ini(FlagIni(all));
        ExpectPlan(scenario, all, kDefaultSteerBits);
        homeBase = harness::RangeOf(scenario.Module()).Base;
        atHome = harness::CurrentImage();
    }
    // ...then with that base taken, so the loader has to move it.
    void* taken = VirtualAlloc(reinterpret_cast<void*>(static_cast<std::uintptr_t>(homeBase)), 0x10000,
                               MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(taken, nullptr);
    {
        Scenario scenario;
        scenario.Ini(FlagIni(all));
        ExpectPlan(scenario, all, kDefaultSteerBits);
        EXPECT_NE(harness::RangeOf(scenario.Module()).Base, homeBase);
        const std::vector<std::uint8_t> moved = harness::CurrentImage();
        std::vector<std::uint32_t> differing;
        for (size_t i = 0; i < moved.size(); ++i) {
            if (moved[i] != atHome[i]) differing.push_back(SIM_IMAGE_BASE + static_cast<std::uint32_t>(i));
        }
        for (std::uint32_t address : differing) {
            const bool inDisplacement = (address >= 0x777D12 && address < 0x777D16) ||
                                        (address >= 0x773D3D && address < 0x773D41) ||
                                        (address >= 0x7E7E7A && address < 0x7E7E7E);
            EXPECT_TRUE(inDisplacement) << std::hex << address;
        }
        EXPECT_FALSE(differing.empty());
    }
    VirtualFree(taken, 0, MEM_RELEASE);
}

TEST(StartupPlan, CreatesNoThreadAndWritesNoFile) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nExpandMemoryPools=1\nInfiniteTuningSliders=1\nInfiniteAutosculptSliders=1\n");
    scenario.File("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    scenario.Folder("KavrinCars/Sub");
    const std::string before = harness::FolderFingerprint(scenario.Root());
    const int threadsBefore = harness::ThreadAttachCount();
    ASSERT_TRUE(scenario.Load());
    EXPECT_EQ(harness::ThreadAttachCount(), threadsBefore);
    scenario.Unload();
    EXPECT_EQ(harness::FolderFingerprint(scenario.Root()), before);
}

}  // namespace
