// The attribute value hook, entered through the host's JMP at 0x773D3C.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "harness.h"
#include "site_helpers.h"

using harness::BitsFloat;
using harness::FloatBits;
using harness::Scenario;

namespace {

using sites::HostObject;
using sites::kKeyHigh;
using sites::kKeyLow;

constexpr std::uint32_t kSlot10 = 0x1010ABCD;
constexpr std::uint32_t kBelowBits = 0x40490FDB;  // pi, already on the x87 stack

sim::AttrPass Pass(std::uint32_t object, std::int32_t index, std::int32_t value, std::uint32_t stackShift = 0) {
    sim::AttrPass pass{};
    pass.StackShift = stackShift;
    pass.In = {0xEAEAEAEA, 0x0C0C0C0C, 0x0D0D0D0D, 0xB0B0B0B0, 0, static_cast<std::uint32_t>(index),
               0x51515151, 0xD1D1D1D1};
    pass.InX87Bits = kBelowBits;
    for (int i = 0; i < 8; ++i) pass.SlotsIn[i] = 0x5A000000u + i;
    pass.SlotsIn[1] = object;
    pass.SlotsIn[4] = kSlot10;
    pass.SlotsIn[5] = static_cast<std::uint32_t>(value);
    harness::PassAttributeSite(pass);
    return pass;
}

// The contract at 0x773D44, whatever the value.
void ExpectContract(const sim::AttrPass& pass) {
    EXPECT_EQ(pass.Out.Eax, kSlot10);
    sites::ExpectSixRegistersKept(pass.In, pass.Out);
    EXPECT_EQ(pass.Out.Esp, pass.ExpectedEsp);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(pass.SlotsOut[i], pass.SlotsIn[i]) << "slot " << i;
    EXPECT_EQ(harness::X87Depth(pass.Env), 2);  // one more than on entry
    EXPECT_EQ(pass.BelowBits, kBelowBits);
}

class AttributeHook : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scenario_.Load());
        object_.Low.Value = 1.25f;
        object_.High.Value = -7.5f;
    }
    Scenario scenario_;
    HostObject object_;
};

TEST(AttributeHookUnpatched, TheHostsOwnPathGivesTheRawInteger) {
    harness::RestoreHostImage();
    const std::uint32_t tailBefore = harness::PeekHost32(SIM_TAIL_PASSES);
    const sim::AttrPass pass = Pass(0, 0, 35000);
    EXPECT_EQ(BitsFloat(pass.TopBits), 35000.0f);
    EXPECT_EQ(pass.Out.Eax, kSlot10);
    EXPECT_EQ(harness::PeekHost32(SIM_TAIL_PASSES), tailBefore + 1);
}

TEST_F(AttributeHook, NullObjectDividesByAThousandWithoutALookup) {
    const sim::AttrPass pass = Pass(0, 0, 35000);
    EXPECT_EQ(BitsFloat(pass.TopBits), 35.0f);
    EXPECT_EQ(pass.LookupCalls, 0u);
    ExpectContract(pass);
}

TEST_F(AttributeHook, NullHolderFallsBackWithoutALookup) {
    HostObject bare;
    std::memset(bare.Bytes + 0x3F0, 0, 4);  // no holder
    const sim::AttrPass pass = Pass(bare.ObjectAddress(), 0, -1500);
    EXPECT_EQ(BitsFloat(pass.TopBits), -1.5f);
    EXPECT_EQ(pass.LookupCalls, 0u);
    ExpectContract(pass);
}

TEST_F(AttributeHook, LookupMissFallsBack) {
    object_.Answer(false, false);
    const sim::AttrPass pass = Pass(object_.ObjectAddress(), 0, 35000);
    EXPECT_EQ(BitsFloat(pass.TopBits), 35.0f);
    EXPECT_EQ(pass.LookupCalls, 1u);
    ExpectContract(pass);
}

TEST_F(AttributeHook, KeyByIndexAsTheLookupSawIt) {
    object_.Answer(true, true);
    for (std::int32_t index : {-1, 0, 1, 2, 3, std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max()}) {
        SCOPED_TRACE(index);
        const sim::AttrPass pass = Pass(object_.ObjectAddress(), index, 99000);
        const bool low = index < 2;
        EXPECT_EQ(pass.LookupCalls, 1u);
        EXPECT_EQ(pass.LookupKey, low ? kKeyLow : kKeyHigh);
        EXPECT_EQ(pass.LookupEcx, object_.Set());
        EXPECT_EQ(pass.LookupArg2, 0u);
        EXPECT_EQ(BitsFloat(pass.TopBits), low ? 1.25f : -7.5f);
        ExpectContract(pass);
    }
}

TEST_F(AttributeHook, HitReturnsTheRecordsFloatExactly) {
    object_.Answer(true, false);
    for (std::uint32_t bits : {0x3F9E0419u, 0x7F7FFFFFu, 0x00000001u, 0x80000000u, 0xFF800000u}) {
        std::memcpy(&object_.Low.Value, &bits, 4);
        const sim::AttrPass pass = Pass(object_.ObjectAddress(), 1, 123456);
        EXPECT_EQ(pass.TopBits, bits);
        ExpectContract(pass);
    }
}

TEST_F(AttributeHook, LargeIntegerRoundsToSingleBeforeTheDivision) {
    const sim::AttrPass pass = Pass(0, 0, 16777219);
    EXPECT_EQ(BitsFloat(pass.TopBits), 16777220.0f / 1000.0f);
    EXPECT_NE(BitsFloat(pass.TopBits), static_cast<float>(16777219.0 / 1000.0));
    EXPECT_EQ(BitsFloat(Pass(0, 0, std::numeric_limits<std::int32_t>::min()).TopBits),
              -2147483648.0f / 1000.0f);
}

TEST_F(AttributeHook, TheSixHostBytesAfterTheResumePointAreNoOperations) {
    const std::uint32_t tailBefore = harness::PeekHost32(SIM_TAIL_PASSES);
    Pass(0, 0, 1000);
    EXPECT_EQ(harness::PeekHost32(SIM_TAIL_PASSES), tailBefore);
}

TEST_F(AttributeHook, TheContractHoldsWhateverTheStacksAlignment) {
    object_.Low.Value = 3.5f;
    object_.Answer(true, false);
    for (std::uint32_t shift = 0; shift < 16; ++shift) {
        SCOPED_TRACE(shift);
        const sim::AttrPass hit = Pass(object_.ObjectAddress(), 0, 1000, shift);
        EXPECT_EQ(BitsFloat(hit.TopBits), 3.5f);
        ExpectContract(hit);
        const sim::AttrPass fallback = Pass(0, 0, 2500, shift);
        EXPECT_EQ(BitsFloat(fallback.TopBits), 2.5f);
        ExpectContract(fallback);
    }
}

}  // namespace
