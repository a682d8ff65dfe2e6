// Whatever a player's settings folder holds, the game starts: the plugin loads,
// nothing crashes, and the host image is exactly the plan for the values read.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "check.h"
#include "harness.h"
#include "plan.h"
#include "site_helpers.h"

using harness::Scenario;
using sites::CarForced;

namespace {

struct BadInput {
    const char* Name;
    std::function<void(Scenario&)> Stage;
    plan::Flags Flags;
    std::uint32_t SteerBits;
    std::uint32_t HashCalls;  // car records the load makes
};

constexpr plan::Flags kOff{false, false, false};
constexpr plan::Flags kPools{true, false, false};
constexpr std::uint32_t kDefault = plan::kDefaultSteerBits;

std::uint32_t Bits(float value) { return harness::FloatBits(value); }

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::string MillionKeys() {
    std::string text = "[GENERAL]\r\n";
    text.reserve(21u << 20);
    char line[48];
    for (int i = 0; i < 1000000; ++i) {
        std::snprintf(line, sizeof line, "Key_%07d = %08d\r\n", i, i * 7);
        text += line;
    }
    return text + "FrontSteerAngle = 123\r\nExpandMemoryPools = 1\r\n";
}

// A key of one section; the integer text under test goes into every switch.
std::string Switches(const std::string& value) {
    return "[GENERAL]\nExpandMemoryPools=" + value + "\nInfiniteTuningSliders=" + value +
           "\nInfiniteAutosculptSliders=" + value + "\n";
}

std::string Steering(const std::string& value) { return "[GENERAL]\nFrontSteerAngle=" + value + "\n"; }

const BadInput kBadInputs[] = {
    // The main settings file.
    {"IniMissing", [](Scenario&) {}, kOff, kDefault, 0},
    {"IniEmpty", [](Scenario& s) { s.Ini(""); }, kOff, kDefault, 0},
    {"IniOnlyCtrlZ", [](Scenario& s) { s.Ini("\x1A"); }, kOff, kDefault, 0},
    {"IniCtrlZBeforeTheKeys", [](Scenario& s) { s.Ini("\x1A[GENERAL]\nExpandMemoryPools=1\n"); }, kOff, kDefault, 0},
    {"IniOnlyAByteOrderMark", [](Scenario& s) { s.Ini("\xEF\xBB\xBF"); }, kOff, kDefault, 0},
    {"IniRandomBytes", [](Scenario& s) { s.Ini(RandomBytes(64 << 10, 20261209)); }, kOff, kDefault, 0},
    {"IniNulBytesInsideLines",
     [](Scenario& s) { s.Ini(std::string("[GENERAL]\nFrontSteerAngle=4\0" "00\nExpand\0MemoryPools=1\nExpandMemoryPools=1\0x\n", 75)); },
     kPools, Bits(4.0f), 0},
    {"IniOneFourMegabyteLine",
     [](Scenario& s) { s.Ini("[GENERAL]\nFrontSteerAngle=400 ;" + std::string(4 << 20, 'x') + "\nExpandMemoryPools=1\n"); },
     kPools, Bits(400.0f), 0},
    {"IniTwentyMegabytesAMillionKeys", [](Scenario& s) { s.Ini(MillionKeys()); }, kPools, Bits(123.0f), 0},
    {"IniIsAFolder", [](Scenario& s) { s.Folder("ZorbelKavrin.ini"); }, kOff, kDefault, 0},
    {"IniLineEndsCrOnly", [](Scenario& s) { s.Ini("[GENERAL]\rExpandMemoryPools=1\rFrontSteerAngle=1\r"); },
     kOff, kDefault, 0},
    {"IniSectionName64Kilobytes",
     [](Scenario& s) { s.Ini("[" + std::string(64 << 10, 'S') + "]\nExpandMemoryPools=1\n[GENERAL]\nFrontSteerAngle=7\n"); },
     kOff, Bits(7.0f), 0},
    // Integers.
    {"Integer99999999999", [](Scenario& s) { s.Ini(Switches("99999999999")); }, kOff, kDefault, 0},
    {"IntegerMinus99999999999", [](Scenario& s) { s.Ini(Switches("-99999999999")); }, kOff, kDefault, 0},
    {"Integer0xFFFFFFFFF", [](Scenario& s) { s.Ini(Switches("0xFFFFFFFFF")); }, kOff, kDefault, 0},
    {"Integer0x", [](Scenario& s) { s.Ini(Switches("0x")); }, kOff, kDefault, 0},
    {"IntegerMinus", [](Scenario& s) { s.Ini(Switches("-")); }, kOff, kDefault, 0},
    {"IntegerPlus", [](Scenario& s) { s.Ini(Switches("+")); }, kOff, kDefault, 0},
    {"Integer0xMinus1", [](Scenario& s) { s.Ini(Switches("0x-1")); }, kOff, kDefault, 0},
    {"Integer4294967297", [](Scenario& s) { s.Ini(Switches("4294967297")); }, kOff, kDefault, 0},
    // Floats.
    {"Float1e40", [](Scenario& s) { s.Ini(Steering("1e40")); }, kOff, 0x7F800000, 0},
    {"FloatMinus1e40", [](Scenario& s) { s.Ini(Steering("-1e40")); }, kOff, 0xFF800000, 0},
    {"FloatNan", [](Scenario& s) { s.Ini(Steering("nan")); }, kOff, 0, 0},
    {"FloatInf", [](Scenario& s) { s.Ini(Steering("inf")); }, kOff, 0, 0},
    {"Float1eMinus50", [](Scenario& s) { s.Ini(Steering("1e-50")); }, kOff, 0, 0},
    {"Float0x10", [](Scenario& s) { s.Ini(Steering("0x10")); }, kOff, 0, 0},
    {"FloatHugeExponent", [](Scenario& s) { s.Ini(Steering("1e99999999999999999999")); }, kOff, 0x7F800000, 0},
    // The car folder.
    {"CarsIsAFile", [](Scenario& s) { s.File("KavrinCars", "[GENERAL]\nForceLodA=1\n"); }, kOff, kDefault, 0},
    {"CarsEmpty", [](Scenario& s) { s.Folder("KavrinCars"); }, kOff, kDefault, 0},
    {"CarsNestedSubfolders",
     [](Scenario& s) {
         s.File("KavrinCars/a/b/c/d/e/deep.ini", "[GENERAL]\nForceLodA=1\n");
         s.File("KavrinCars/a/b/other.ini", "[GENERAL]\nForceLodA=1\n");
         s.Folder("KavrinCars/x/y");
         s.File("KavrinCars/top.ini", "[GENERAL]\nForceLodA=1\n");
     },
     kOff, kDefault, 3},
    {"CarsNamesOutsideTheCodePage",
     [](Scenario& s) {
         s.File("KavrinCars/\xE4\xB8\xAD\xE6\x96\x87.ini", "[GENERAL]\nForceLodA=1\n");
         s.File("KavrinCars/\xF0\x9F\x9A\x97.ini", "[GENERAL]\nForceLodA=1\n");
         s.File("KavrinCars/plain.ini", "[GENERAL]\nForceLodA=1\n");
     },
     kOff, kDefault, 1},
    {"CarsName255Characters",
     [](Scenario& s) { s.File("KavrinCars/" + std::string(251, 'N') + ".ini", "[GENERAL]\nForceLodA=1\n"); },
     kOff, kDefault, 1},
    // Opened by a plain path, these names are devices, not the files: the load must
    // read none of them (reading CON would wait on the console for ever).
    {"CarsNamedLikeDevices",
     [](Scenario& s) {
         for (const char* name : {"CON", "NUL", "AUX", "COM1", "CONIN$", "LPT1", "PRN"}) {
             s.File(std::string("KavrinCars/") + name, "[GENERAL]\nForceLodA=1\n");
         }
     },
     kOff, kDefault, 7},
    {"CarsBinaryFiles",
     [](Scenario& s) {
         s.File("KavrinCars/noise1.ini", RandomBytes(4096, 1));
         s.File("KavrinCars/noise2.dds", RandomBytes(70000, 2));
     },
     kOff, kDefault, 2},
};

class BadInputs : public testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, TheGameStartsAndTheHostIsThePlan) {
    const BadInput& input = GetParam();
    Scenario scenario;
    input.Stage(scenario);
    plan::ExpectPlan(scenario, input.Flags, input.SteerBits, input.HashCalls);
    EXPECT_TRUE(harness::TakeMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, BadInputs, testing::ValuesIn(kBadInputs),
                         [](const testing::TestParamInfo<BadInput>& info) { return std::string(info.param.Name); });

TEST(BadInputsMore, TenThousandCarFiles) {
    // CAR_0.ini .. CAR_9999.ini, ForceLodA 1 for the even ones, written by the build.
    Scenario scenario(Scenario::Fixture{harness::FixtureFolder(L"cars10000")});
    plan::ExpectPlan(scenario, kOff, kDefault, 10000);
    EXPECT_TRUE(CarForced("CAR_0.ini"));
    EXPECT_FALSE(CarForced("CAR_1.ini"));
    EXPECT_TRUE(CarForced("CAR_9998.ini"));
    EXPECT_FALSE(CarForced("CAR_9999.ini"));
}

TEST(BadInputsMore, The255CharacterNameIsACar) {
    Scenario scenario;
    const std::string name = std::string(251, 'N') + ".ini";
    scenario.File("KavrinCars/" + name, "[GENERAL]\nForceLodA=1\n");
    ASSERT_TRUE(scenario.Load());
    EXPECT_TRUE(CarForced(name));
}

TEST(BadInputsMore, IniHeldOpenByAHandleThatSharesNothing) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nExpandMemoryPools=1\nFrontSteerAngle=1\n");
    HANDLE held = CreateFileW((scenario.PluginFolder() + L"ZorbelKavrin.ini").c_str(), GENERIC_READ | GENERIC_WRITE,
                              0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    plan::ExpectPlan(scenario, kOff, kDefault, 0);
    // The checker names the cause once, with what to do.
    zk::check::Options options;
    options.PluginDir = harness::Narrow(scenario.PluginFolder());
    const zk::check::Result result = zk::check::Run(options);
    zk::os::UsePluginFolder(zk::os::NativePath());
    EXPECT_EQ(zk::check::Verdict(result),
              "ERROR: ZorbelKavrin.ini cannot be read (another program has it open and shares it with no one): the "
              "plugin uses the defaults; close the program that holds it (an editor, a sync tool) and check again");
    EXPECT_TRUE(result.SettingsUnreadable);
    EXPECT_EQ(result.Errors.size(), 1u);
    CloseHandle(held);
}

// Out of memory while the settings load: the start-up ends before the first host
// write, and the game still starts.
TEST(BadInputsMore, ExhaustedMemoryLeavesTheHostUntouched) {
    Scenario scenario;
    scenario.Ini(MillionKeys());  // needs far more memory than will be left
    scenario.File("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    // Reserve the address space, leaving about 24 MB: enough for the plugin to load,
    // not for the settings.
    std::vector<std::pair<void*, SIZE_T>> reserved;
    for (SIZE_T chunk = 256u << 20; chunk >= 64u << 10;) {
        if (void* block = VirtualAlloc(nullptr, chunk, MEM_RESERVE, PAGE_NOACCESS)) {
            reserved.push_back({block, chunk});
        } else {
            chunk /= 2;
        }
    }
    SIZE_T released = 0;  // the smallest blocks first: no room for one large block
    while (released < (24u << 20) && !reserved.empty()) {
        VirtualFree(reserved.back().first, 0, MEM_RELEASE);
        released += reserved.back().second;
        reserved.pop_back();
    }
    const bool loaded = scenario.Load();
    const auto changes = harness::ChangedBytes();
    const auto calls = harness::TakeProtectCalls();
    for (const auto& block : reserved) VirtualFree(block.first, 0, MEM_RELEASE);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(calls.empty());
    for (const auto& change : changes) {
        // Only the host's own count of hash calls may move (the registry comes last).
        EXPECT_TRUE(change.Address >= SIM_HASH_CALLS && change.Address < SIM_HASH_CALLS + 4)
            << std::hex << change.Address;
    }
    EXPECT_EQ(harness::PeekHost32(0xA8918C), 0x42340000u);  // the host's own 45.0
    EXPECT_TRUE(harness::TakeMessages().empty());
}

}  // namespace
