// The autosculpt stub, entered through the host's JMP at 0x7E7E79.
#include <gtest/gtest.h>

#include "harness.h"
#include "site_helpers.h"

using harness::Scenario;

namespace {

constexpr std::uint32_t kBelowBits = 0x40490FDB;

sim::SculptPass Pass(std::uint32_t flags, std::uint32_t slot4) {
    sim::SculptPass pass{};
    pass.In = {0xEAEAEAEA, 0x0C0C0C0C, 0x0D0D0D0D, 0xB0B0B0B0, 0, 0xBEBEBEBE, 0x51515151, 0xD1D1D1D1};
    pass.InFlags = flags;
    pass.InX87Bits = kBelowBits;
    pass.SlotsIn[0] = 0x5A5A0000;
    pass.SlotsIn[1] = slot4;
    pass.SlotsIn[2] = 0x5A5A0008;
    pass.SlotsIn[3] = 0x5A5A000C;
    harness::PassSculptSite(pass);
    return pass;
}

constexpr std::uint32_t kArithmeticFlags = 0x8D5;  // CF PF AF ZF SF OF

TEST(SculptStubUnpatched, TheHostsOwnCodeLoadsItsLimit) {
    harness::RestoreHostImage();
    const sim::SculptPass pass = Pass(0x2 | kArithmeticFlags, 0x11111111);
    EXPECT_EQ(pass.SlotsOut[1], 0x11111111u);
    EXPECT_EQ(harness::X87Depth(pass.Env), 2);
    EXPECT_EQ(harness::BitsFloat(pass.TopBits), 1.0f);
}

TEST(SculptStub, StoresTwoPointFiftySixAndPreservesEverythingElse) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nInfiniteAutosculptSliders=1\n");
    ASSERT_TRUE(scenario.Load());
    for (std::uint32_t flags : {0x2u, 0x2u | kArithmeticFlags, 0x2u | 0x40u, 0x2u | 0x1u}) {
        for (std::uint32_t slot : {0x00000000u, 0xFFFFFFFFu, 0x4023D70Au, 0x7FC00000u}) {
            SCOPED_TRACE(testing::Message() << std::hex << flags << " " << slot);
            const sim::SculptPass pass = Pass(flags, slot);
            EXPECT_EQ(pass.SlotsOut[1], 0x4023D70Au);
            EXPECT_EQ(pass.SlotsOut[0], pass.SlotsIn[0]);
            EXPECT_EQ(pass.SlotsOut[2], pass.SlotsIn[2]);
            EXPECT_EQ(pass.SlotsOut[3], pass.SlotsIn[3]);
            EXPECT_EQ(pass.Out.Eax, pass.In.Eax);
            sites::ExpectSixRegistersKept(pass.In, pass.Out);
            EXPECT_EQ(pass.Out.Esp, pass.ExpectedEsp);
            EXPECT_EQ(pass.OutFlags & 0xCD5, flags & 0xCD5);  // arithmetic flags and DF
            EXPECT_EQ(harness::X87Depth(pass.Env), 1);
            EXPECT_EQ(pass.TopBits, kBelowBits);  // the value below is untouched
        }
    }
}

TEST(SculptStub, NotReachedWhenTheFlagIsOff) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nInfiniteTuningSliders=1\n");
    ASSERT_TRUE(scenario.Load());
    const sim::SculptPass pass = Pass(0x2, 0x11111111);
    EXPECT_EQ(pass.SlotsOut[1], 0x11111111u);
    EXPECT_EQ(harness::BitsFloat(pass.TopBits), 1.0f);
}

}  // namespace
