// The whole start-up of the real plugin in the simulated host: every host byte and
// every protection window, in every combination of the patch flags.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>

#include "harness.h"
#include "plugin_image.h"

using harness::Scenario;

namespace {

struct Flags {
    bool Pools, Tuning, Autosculpt;
};

struct Window {
    std::uint32_t Address, Size;
};

// The image the tables say the host must hold after start-up, and the protection
// windows in their order.
struct Plan {
    std::vector<std::uint8_t> Image;
    std::vector<Window> Windows;

    void Put(std::uint32_t address, std::vector<std::uint8_t> bytes) {
        std::memcpy(&Image[address - SIM_IMAGE_BASE], bytes.data(), bytes.size());
    }
    void Put32(std::uint32_t address, std::uint32_t value) {
        std::memcpy(&Image[address - SIM_IMAGE_BASE], &value, 4);
    }
    void Window(std::uint32_t address, std::vector<std::uint8_t> bytes) {
        Put(address, bytes);
        Windows.push_back({address, static_cast<std::uint32_t>(bytes.size())});
    }
    void Jump(std::uint8_t opcode, std::uint32_t site, std::uint32_t target) {
        Window(site, {opcode});
        Put32(site + 1, target - (site + 5));
        Windows.push_back({site + 1, 4});
    }
};

Plan ExpectedPlan(const Flags& flags, std::uint32_t steerBits, std::uint32_t lodHook,
                  std::uint32_t attributeStub, std::uint32_t sculptStub) {
    Plan plan{harness::PristineImage(), {}};
    plan.Put32(0xA8918C, steerBits);
    if (flags.Pools) {
        plan.Window(0x65F761, {0x00, 0x80, 0x2C, 0x00});
        plan.Window(0x65F781, {0x00, 0x80, 0x2C, 0x00});
        plan.Window(0xA58F9C, {0x00, 0x70, 0x17, 0x00});
        plan.Window(0xA60DE4, {0x00, 0x71, 0x02, 0x00});
    }
    plan.Jump(0xE8, 0x777D11, lodHook);
    plan.Jump(0xE9, 0x773D3C, attributeStub);
    plan.Window(0x773D4F, std::vector<std::uint8_t>(6, 0x90));
    if (flags.Tuning) {
        plan.Window(0x5C192C, std::vector<std::uint8_t>(8, 0x90));
        plan.Window(0x5C18DC, {0x90, 0x90});
        plan.Window(0x5C185A, {0x90, 0x90});
        plan.Jump(0xE9, 0x5C18E6, 0x5C19AC);
    }
    if (flags.Autosculpt) {
        plan.Window(0x757290, {0x90, 0x90});
        plan.Jump(0xE9, 0x7E7E79, sculptStub);
    }
    return plan;
}

std::string DescribeDifferences(const std::vector<std::uint8_t>& want,
                                const std::vector<std::uint8_t>& got) {
    std::ostringstream out;
    int shown = 0;
    for (size_t i = 0; i < want.size() && i < got.size() && shown < 20; ++i) {
        if (want[i] != got[i]) {
            out << std::hex << "\n  0x" << SIM_IMAGE_BASE + i << ": want " << int(want[i])
                << " got " << int(got[i]);
            ++shown;
        }
    }
    return out.str();
}

std::string FlagIni(const Flags& flags) {
    return std::string("[GENERAL]\n") + (flags.Pools ? "ExpandMemoryPools=1\n" : "") +
           (flags.Tuning ? "InfiniteTuningSliders=1\n" : "") +
           (flags.Autosculpt ? "InfiniteAutosculptSliders=1\n" : "");
}

// Loads the scenario and checks the image and the windows against the plan.
void ExpectPlan(Scenario& scenario, const Flags& flags, std::uint32_t steerBits,
                std::uint32_t hashCalls = 0) {
    const std::uint32_t hashesBefore = harness::PeekHost32(SIM_HASH_CALLS);
    ASSERT_TRUE(scenario.Load());
    const harness::ModuleRange module = harness::RangeOf(scenario.Module());
    const std::uint32_t lodHook = harness::RelativeTarget(0x777D11);
    const std::uint32_t attributeStub = harness::RelativeTarget(0x773D3C);
    const std::uint32_t sculptStub =
        flags.Autosculpt ? harness::RelativeTarget(0x7E7E79) : 0;
    EXPECT_TRUE(harness::IsLodOverrideHook(module, lodHook)) << std::hex << lodHook;
    EXPECT_TRUE(harness::IsAttributeValueEntryStub(module, attributeStub)) << std::hex << attributeStub;
    if (flags.Autosculpt) {
        EXPECT_TRUE(harness::IsAutosculptSliderStub(module, sculptStub)) << std::hex << sculptStub;
    }

    Plan plan = ExpectedPlan(flags, steerBits, lodHook, attributeStub, sculptStub);
    plan.Put32(SIM_HASH_CALLS, hashesBefore + hashCalls);  // the host's hash counts its calls
    const std::vector<std::uint8_t> image = harness::CurrentImage();
    EXPECT_TRUE(image == plan.Image) << DescribeDifferences(plan.Image, image);

    // Each window opened with 0x40 and closed again with what the page had.
    const auto calls = harness::TakeProtectCalls();
    ASSERT_EQ(calls.size(), plan.Windows.size() * 2);
    for (size_t i = 0; i < plan.Windows.size(); ++i) {
        const harness::ProtectCall& open = calls[2 * i];
        const harness::ProtectCall& close = calls[2 * i + 1];
        const std::uint32_t address = plan.Windows[i].Address;
        SCOPED_TRACE(testing::Message() << "window " << i << " at 0x" << std::hex << address);
        EXPECT_EQ(open.Address, address);
        EXPECT_EQ(open.Size, plan.Windows[i].Size);
        EXPECT_EQ(open.Protection, 0x40u);
        EXPECT_EQ(close.Address, address);
        EXPECT_EQ(close.Size, plan.Windows[i].Size);
        EXPECT_EQ(close.Protection, open.Previous);
        EXPECT_EQ(close.Protection, harness::PristineProtection(address));
    }
    for (std::uint32_t page = SIM_IMAGE_BASE; page < SIM_IMAGE_BASE + harness::HostImageSize();
         page += 0x1000) {
        ASSERT_EQ(harness::CurrentProtection(page), harness::PristineProtection(page))
            << std::hex << page;
    }
}

constexpr std::uint32_t kDefaultSteerBits = 0x43AA0000;  // 340.0f: 00 00 AA 43

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
