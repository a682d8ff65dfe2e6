// The build check: the supported host by its entry point, and the one message.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "harness.h"

using harness::Scenario;

namespace {

constexpr std::uint32_t kEntryPointField = SIM_IMAGE_BASE + 0x80 + 0x28;

// Puts another entry point into the host's header for the length of a test.
class EntryPointOverride {
public:
    explicit EntryPointOverride(std::uint32_t entry) {
        std::uint32_t lfanew = harness::PeekHost32(SIM_IMAGE_BASE + 0x3C);
        field_ = SIM_IMAGE_BASE + lfanew + 0x28;
        harness::PokeHost(field_, &entry, 4);
    }
    ~EntryPointOverride() { harness::RestoreHostImage(); }
    std::uint32_t Field() const { return field_; }

private:
    std::uint32_t field_ = 0;
};

void ExpectRefused(std::uint32_t entry) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nExpandMemoryPools=1\nInfiniteTuningSliders=1\nInfiniteAutosculptSliders=1\n");
    EntryPointOverride override(entry);
    const std::vector<std::uint8_t> before = harness::CurrentImage();

    EXPECT_FALSE(scenario.Load());

    const auto messages = harness::TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Owner, 0u);
    EXPECT_EQ(messages[0].Caption, "Zorbel Kavrin");
    EXPECT_EQ(messages[0].Text,
              "This .exe is not supported.\n"
              "Please use the supported version 1.1 executable of the game.");
    EXPECT_EQ(messages[0].Type, 0x10u);  // MB_ICONERROR, OK button, nothing else
    EXPECT_TRUE(harness::TakeProtectCalls().empty());
    EXPECT_TRUE(harness::CurrentImage() == before) << "the host image changed";
}

}  // namespace

TEST(BuildCheck, SupportedEntryPointLoadsWithoutMessage) {
    ASSERT_EQ(harness::PeekHost32(SIM_IMAGE_BASE + harness::PeekHost32(SIM_IMAGE_BASE + 0x3C) + 0x28),
              0x428C25u);
    Scenario scenario;
    EXPECT_TRUE(scenario.Load());
    EXPECT_TRUE(harness::TakeMessages().empty());
}

TEST(BuildCheck, EntryPointOffByOneIsRefused) { ExpectRefused(0x428C26); }
TEST(BuildCheck, EntryPointOneBelowIsRefused) { ExpectRefused(0x428C24); }
TEST(BuildCheck, EntryPointFarOffIsRefused) { ExpectRefused(0x1000); }
TEST(BuildCheck, EntryPointHighBitIsRefused) { ExpectRefused(0x80428C25); }
