// The level-of-detail hook, entered through the host's own CALL at 0x777D11.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "harness.h"

using harness::Scenario;

namespace {

constexpr std::uint32_t kEbx = 0xB0B0B0B0, kEsi = 0x51515151, kEdi = 0xD1D1D1D0,
                        kEbp = 0xBEBEBEBE, kEcx = 0x0C0C0C0C, kEdx = 0x0D0D0D0D,
                        kEax = 0x0A0A0A0A;

struct LodResult {
    std::string NameAfter;  // the caller's buffer after the call
    sim::LodPass Pass;
};

LodResult Pass(const std::string& name, std::uint32_t key, std::uint32_t stackShift = 0) {
    LodResult result{};
    result.Pass.StackShift = stackShift;
    char buffer[80] = {};
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    sim::LodPass& pass = result.Pass;
    pass.Name = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
    pass.Key = key;
    pass.In = {kEax, kEcx, kEdx, kEbx, 0, kEbp, kEsi, kEdi};
    harness::PassLodSite(pass);
    result.NameAfter = buffer;
    for (size_t i = name.size() + 1; i < sizeof buffer; ++i) {
        EXPECT_EQ(buffer[i], '#') << "written past the name at " << i;
    }
    return result;
}

std::uint32_t Hash(const char* name) { return harness::CallHostNameHash(name); }

TEST(LodHook, TheHostPathUnpatchedReachesTheForwardRoutine) {
    harness::RestoreHostImage();
    const LodResult result = Pass("CARC", 7);
    EXPECT_EQ(result.Pass.ForwardCalls, 1u);
    EXPECT_EQ(result.NameAfter, "CARC");
    EXPECT_EQ(result.Pass.Out.Eax, 7u ^ SIM_FORWARD_RESULT_XOR);
}

TEST(LodHook, NothingSetPassesTheNameOnUnchanged) {
    Scenario scenario;
    ASSERT_TRUE(scenario.Load());
    const LodResult result = Pass("CARC", 1234);
    EXPECT_EQ(result.NameAfter, "CARC");
    EXPECT_STREQ(result.Pass.ForwardText, "CARC");
    EXPECT_EQ(result.Pass.ForwardCalls, 1u);
    EXPECT_EQ(result.Pass.ForwardKey, 1234u);
    EXPECT_EQ(result.Pass.Out.Eax, 1234u ^ SIM_FORWARD_RESULT_XOR);
}

TEST(LodHook, GlobalFlagGivesEveryNameItsA) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nForceLodA=1\n");
    scenario.File("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=0\n");
    ASSERT_TRUE(scenario.Load());
    EXPECT_EQ(Pass("CARC", 1).NameAfter, "CARA");
    EXPECT_EQ(Pass("CARC", Hash("Car1.ini")).NameAfter, "CARA");
    EXPECT_STREQ(Pass("WHEEL_B", 0).Pass.ForwardText, "WHEEL_A");
}

TEST(LodHook, PerCarFlagByTheHashOfTheWholeFileName) {
    Scenario scenario;
    scenario.File("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    scenario.File("KavrinCars/Car2.ini", "[GENERAL]\nForceLodA=2\n");
    ASSERT_TRUE(scenario.Load());
    const LodResult car1 = Pass("BODYC", Hash("Car1.ini"));
    EXPECT_EQ(car1.NameAfter, "BODYA");  // the caller's own buffer
    EXPECT_STREQ(car1.Pass.ForwardText, "BODYA");  // what the host routine received
    EXPECT_EQ(Pass("BODYC", Hash("Car1")).NameAfter, "BODYC");
    EXPECT_EQ(Pass("BODYC", Hash("Car2.ini")).NameAfter, "BODYC");
    EXPECT_EQ(Pass("BODYC", Hash("Car3.ini")).NameAfter, "BODYC");
}

TEST(LodHook, ShortEmptyAndAlreadyA) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nForceLodA=1\n");
    ASSERT_TRUE(scenario.Load());
    EXPECT_EQ(Pass("CARA", 0).NameAfter, "CARA");
    EXPECT_EQ(Pass("x", 0).NameAfter, "A");
    const LodResult empty = Pass("", 0);  // nothing written outside the name
    EXPECT_EQ(empty.NameAfter, "");
    EXPECT_EQ(empty.Pass.ForwardCalls, 1u);
}

TEST(LodHook, FirstListedOfTwoEqualKeysWins) {
    // "b0.ini" and "aQ.ini" hash alike in the host; which comes first is the
    // listing's business, so ask the platform before asserting.
    ASSERT_EQ(Hash("b0.ini"), Hash("aQ.ini"));
    for (int firstOn = 0; firstOn < 2; ++firstOn) {
        Scenario scenario;
        scenario.File("KavrinCars/b0.ini", "[GENERAL]\nForceLodA=1\n");
        scenario.File("KavrinCars/aQ.ini", "[GENERAL]\nForceLodA=0\n");
        const auto order = harness::ListNames(scenario.PluginFolder() + L"KavrinCars");
        ASSERT_EQ(order.size(), 2u);
        if (firstOn == 0) {  // swap the flags so that each order of flags is seen
            scenario.File("KavrinCars/b0.ini", "[GENERAL]\nForceLodA=0\n");
            scenario.File("KavrinCars/aQ.ini", "[GENERAL]\nForceLodA=1\n");
        }
        ASSERT_TRUE(scenario.Load());
        const bool firstListedIsOn = (order[0] == "b0.ini") == (firstOn == 1);
        EXPECT_EQ(Pass("CARC", Hash("b0.ini")).NameAfter, firstListedIsOn ? "CARA" : "CARC")
            << "listed first: " << order[0];
    }
}

TEST(LodHook, EveryRegisterOfTheContract) {
    Scenario scenario;
    scenario.File("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    ASSERT_TRUE(scenario.Load());
    for (const char* name : {"CARC", ""}) {
        const sim::LodPass pass = Pass(name, Hash("Car1.ini")).Pass;
        // What the host caller sees after the CALL returns.
        EXPECT_EQ(pass.Out.Eax, Hash("Car1.ini") ^ SIM_FORWARD_RESULT_XOR);
        EXPECT_EQ(pass.Out.Ecx, SIM_FORWARD_ECX);
        EXPECT_EQ(pass.Out.Edx, SIM_FORWARD_EDX);
        EXPECT_EQ(pass.Out.Ebx, kEbx);
        EXPECT_EQ(pass.Out.Esi, kEsi);
        EXPECT_EQ(pass.Out.Edi, kEdi);
        EXPECT_EQ(pass.Out.Ebp, kEbp);
        EXPECT_EQ(pass.Out.Esp, pass.ExpectedEsp);  // the caller removes the arguments
        EXPECT_EQ(pass.OutArg0, pass.Name);
        EXPECT_EQ(pass.OutArg1, pass.Key);
        // What the host routine received: the same arguments, returning to the host.
        EXPECT_EQ(pass.ForwardCalls, 1u);
        EXPECT_EQ(pass.ForwardName, pass.Name);
        EXPECT_EQ(pass.ForwardKey, pass.Key);
        EXPECT_EQ(pass.ForwardReturn, 0x777D16u);
        EXPECT_EQ(pass.ForwardEsp, pass.ExpectedEsp - 4);
        EXPECT_EQ(pass.ForwardEbx, kEbx);
        EXPECT_EQ(pass.ForwardEsi, kEsi);
        EXPECT_EQ(pass.ForwardEdi, kEdi);
        EXPECT_EQ(pass.ForwardEbp, kEbp);
    }
}

TEST(LodHook, TheContractHoldsWhateverTheStacksAlignment) {
    Scenario scenario;
    scenario.File("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    ASSERT_TRUE(scenario.Load());
    for (std::uint32_t shift = 0; shift < 16; ++shift) {
        SCOPED_TRACE(shift);
        const LodResult result = Pass("CARC", Hash("Car1.ini"), shift);
        EXPECT_EQ(result.NameAfter, "CARA");
        EXPECT_EQ(result.Pass.Out.Esp, result.Pass.ExpectedEsp);
        EXPECT_EQ(result.Pass.Out.Ebx, kEbx);
        EXPECT_EQ(result.Pass.Out.Ebp, kEbp);
        EXPECT_EQ(result.Pass.Out.Ecx, SIM_FORWARD_ECX);
    }
}

}  // namespace
