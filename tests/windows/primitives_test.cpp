// The patch primitives on the host's own pages, with every protection call seen.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cars/lod_override_hook.h"
#include "core/patch_primitives.h"
#include "harness.h"
#include "plugin_image.h"

using harness::Scenario;

namespace {

std::vector<std::uint8_t> Bytes(std::uint32_t address, std::size_t count) {
    const auto* at = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(address));
    return std::vector<std::uint8_t>(at, at + count);
}

struct Expected {
    std::uint32_t Address, Size, Protection;
};

void ExpectCalls(const std::vector<Expected>& expected) {
    const auto calls = harness::TakeProtectCalls();
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].Address, expected[i].Address);
        EXPECT_EQ(calls[i].Size, expected[i].Size);
        EXPECT_EQ(calls[i].Protection, expected[i].Protection);
    }
}

class HostPrimitives : public testing::Test {
protected:
    void SetUp() override {
        harness::RestoreHostImage();
        harness::TakeProtectCalls();
    }
    void TearDown() override {
        harness::FailProtection(false);
        harness::RestoreHostImage();
    }
};

constexpr std::uint32_t kCode = 0x20;      // PAGE_EXECUTE_READ, the host's code
constexpr std::uint32_t kReadOnly = 0x02;  // PAGE_READONLY, the host's constants

TEST_F(HostPrimitives, TuningJumpIsConstant) {
    zk::PatchJump(0x5C18E6, 0x5C19AC);
    EXPECT_EQ(Bytes(0x5C18E6, 6), (std::vector<std::uint8_t>{0xE9, 0xC1, 0x00, 0x00, 0x00, 0x00}));
    ExpectCalls({{0x5C18E6, 1, 0x40}, {0x5C18E6, 1, kCode}, {0x5C18E7, 4, 0x40}, {0x5C18E7, 4, kCode}});
    EXPECT_EQ(harness::CurrentProtection(0x5C18E6), kCode);
}

TEST_F(HostPrimitives, CallIntoThisModule) {
    const std::uint32_t target = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&LodOverrideHook));
    zk::PatchCall(0x777D11, target);
    const std::uint32_t displacement = target - 0x777D16;
    std::vector<std::uint8_t> expected{0xE8, 0, 0, 0, 0};
    std::memcpy(&expected[1], &displacement, 4);
    EXPECT_EQ(Bytes(0x777D11, 5), expected);
    EXPECT_EQ(harness::RelativeTarget(0x777D11), target);
}

TEST_F(HostPrimitives, BackwardJumpStoresTwosComplement) {
    zk::PatchJump(0x5C18E6, 0x5C18E6 + 5 - 16);
    EXPECT_EQ(Bytes(0x5C18E6, 5), (std::vector<std::uint8_t>{0xE9, 0xF0, 0xFF, 0xFF, 0xFF}));
}

TEST_F(HostPrimitives, SixNopsAreOneWindow) {
    zk::PatchNops(0x773D4F, 6);
    EXPECT_EQ(Bytes(0x773D4E, 8), (std::vector<std::uint8_t>{0xCC, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0xE9}));
    ExpectCalls({{0x773D4F, 6, 0x40}, {0x773D4F, 6, kCode}});
}

TEST_F(HostPrimitives, ValuesOnReadOnlyData) {
    zk::PatchValue(0xA58F9C, std::uint32_t{0x00177000});
    zk::PatchValue(0xA60DE4, std::uint16_t{0xBEEF});
    zk::PatchValue(0xA60DE7, std::uint8_t{0x5A});
    EXPECT_EQ(Bytes(0xA58F9C, 4), (std::vector<std::uint8_t>{0x00, 0x70, 0x17, 0x00}));
    EXPECT_EQ(Bytes(0xA60DE4, 4), (std::vector<std::uint8_t>{0xEF, 0xBE, 0x00, 0x5A}));
    ExpectCalls({{0xA58F9C, 4, 0x40}, {0xA58F9C, 4, kReadOnly}, {0xA60DE4, 2, 0x40},
                 {0xA60DE4, 2, kReadOnly}, {0xA60DE7, 1, 0x40}, {0xA60DE7, 1, kReadOnly}});
    EXPECT_EQ(harness::CurrentProtection(0xA58F9C), kReadOnly);
    EXPECT_EQ(harness::CurrentProtection(0xA60DE4), kReadOnly);
}

TEST_F(HostPrimitives, FailedProtectionStoresOnlyIntoWritableMemory) {
    harness::FailProtection(true);
    const std::uint32_t writable = 0xA80400;  // the host's data section
    zk::PatchValue(writable, std::uint32_t{0x11223344});
    zk::PatchNops(writable + 8, 6);
    zk::PatchValue(0xA58F9C, std::uint32_t{0x00177000});  // read-only: must not crash
    zk::PatchJump(0x5C18E6, 0x5C19AC);                    // code: likewise
    harness::FailProtection(false);
    EXPECT_EQ(harness::PeekHost32(writable), 0x11223344u);
    EXPECT_EQ(Bytes(writable + 8, 6), std::vector<std::uint8_t>(6, 0x90));
    EXPECT_EQ(harness::PeekHost32(0xA58F9C), 0x00040000u);
    EXPECT_EQ(Bytes(0x5C18E6, 2), (std::vector<std::uint8_t>{0x0F, 0x8E}));
    // One failed attempt per window and no restoring call after it.
    const auto calls = harness::TakeProtectCalls();
    ASSERT_EQ(calls.size(), 5u);
    for (const auto& call : calls) {
        EXPECT_FALSE(call.Succeeded);
        EXPECT_EQ(call.Protection, 0x40u);
    }
}

TEST(FailedProtection, ThePluginStillLoadsAndOnlyTheSteeringAngleChanges) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nFrontSteerAngle=99\nExpandMemoryPools=1\nInfiniteTuningSliders=1\n"
                 "InfiniteAutosculptSliders=1\n");
    harness::FailProtection(true);
    const bool loaded = scenario.Load();
    harness::FailProtection(false);
    ASSERT_TRUE(loaded);
    const auto changes = harness::ChangedBytes();
    for (const auto& change : changes) {
        EXPECT_TRUE(change.Address >= 0xA8918C && change.Address < 0xA89190) << std::hex << change.Address;
    }
    EXPECT_EQ(harness::PeekHostFloat(0xA8918C), 99.0f);
    EXPECT_TRUE(harness::TakeMessages().empty());
}

}  // namespace
