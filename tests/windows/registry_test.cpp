// The car folder as Windows lists it: names converted exactly to the file-system
// code page, subfolders, and entries that have no narrow name.
#include <gtest/gtest.h>

#include "harness.h"
#include "plan.h"
#include "site_helpers.h"

using harness::Scenario;
using sites::CarForced;

namespace {

std::uint32_t HashCallsDuringLoad(Scenario& scenario) {
    const std::uint32_t before = harness::PeekHost32(SIM_HASH_CALLS);
    EXPECT_TRUE(scenario.Load());
    return harness::PeekHost32(SIM_HASH_CALLS) - before;
}

TEST(Registry, NamesInTheAnsiCodePageAreConvertedExactly) {
    ASSERT_EQ(GetACP(), 1252u);
    Scenario scenario;
    scenario.File("KavrinCars/Caf\xC3\xA9.ini", "[GENERAL]\nForceLodA=1\n");  // é
    EXPECT_EQ(HashCallsDuringLoad(scenario), 1u);
    EXPECT_TRUE(CarForced("Caf\xE9.ini"));        // its code page 1252 form
    EXPECT_FALSE(CarForced("Caf\xC3\xA9.ini"));   // not its UTF-8 form
}

TEST(Registry, NamesOutsideTheCodePageAreSkippedAndTheScanGoesOn) {
    Scenario scenario;
    scenario.File("KavrinCars/A.ini", "[GENERAL]\nForceLodA=1\n");
    scenario.File("KavrinCars/\xE4\xB8\xAD.ini", "[GENERAL]\nForceLodA=1\n");   // 中
    scenario.File("KavrinCars/\xD0\x96z.ini", "[GENERAL]\nForceLodA=1\n");      // Жz
    scenario.File("KavrinCars/Z.ini", "[GENERAL]\nForceLodA=1\n");
    EXPECT_EQ(HashCallsDuringLoad(scenario), 2u);
    EXPECT_TRUE(CarForced("A.ini"));
    EXPECT_TRUE(CarForced("Z.ini"));
    EXPECT_FALSE(CarForced("?.ini"));  // no best-fit or default character stands in
    EXPECT_FALSE(CarForced("?z.ini"));
}

TEST(Registry, SubfoldersAreRecordsWithTheFlagOff) {
    Scenario scenario;
    scenario.Folder("KavrinCars/Sub.ini");
    scenario.File("KavrinCars/Sub.ini/GENERAL.ini", "[GENERAL]\nForceLodA=1\n");
    scenario.File("KavrinCars/Car.ini", "[GENERAL]\nForceLodA=1\n");
    EXPECT_EQ(HashCallsDuringLoad(scenario), 2u);  // never "." or ".."
    EXPECT_FALSE(CarForced("Sub.ini"));
    EXPECT_FALSE(CarForced("GENERAL.ini"));
    EXPECT_TRUE(CarForced("Car.ini"));
}

TEST(Registry, AFileCalledKavrinCarsIsNoFolder) {
    Scenario scenario;
    scenario.File("KavrinCars", "[GENERAL]\nForceLodA=1\n");
    EXPECT_EQ(HashCallsDuringLoad(scenario), 0u);
}

TEST(Registry, FilesWithoutTheKeyOrUnreadableStillGiveRecords) {
    Scenario scenario;
    scenario.File("KavrinCars/NoKey.ini", "[GENERAL]\nOther=1\n");
    scenario.File("KavrinCars/Locked.ini", "[GENERAL]\nForceLodA=1\n");
    // Held open by a handle that shares nothing: the plugin cannot read it.
    HANDLE held = CreateFileW((scenario.PluginFolder() + L"KavrinCars\\Locked.ini").c_str(), GENERIC_READ,
                              0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(HashCallsDuringLoad(scenario), 2u);
    CloseHandle(held);
    EXPECT_FALSE(CarForced("NoKey.ini"));
    EXPECT_FALSE(CarForced("Locked.ini"));
}

TEST(Registry, SettingsFilesAreReadWithoutLockingThem) {
    Scenario scenario;
    scenario.Ini("[GENERAL]\nFrontSteerAngle=55\n");
    // Another program has the file open for writing, sharing read and write.
    HANDLE writer = CreateFileW((scenario.PluginFolder() + L"ZorbelKavrin.ini").c_str(),
                                GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(scenario.Load());
    CloseHandle(writer);
    EXPECT_EQ(harness::PeekHostFloat(0xA8918C), 55.0f);
}

TEST(Registry, AListingThatFailsWhileAdvancingKeepsWhatWasRead) {
    Scenario scenario;
    for (int i = 0; i < 5; ++i) {
        scenario.File("KavrinCars/Car" + std::to_string(i) + ".ini", "[GENERAL]\nForceLodA=1\n");
    }
    const auto order = harness::ListNames(scenario.PluginFolder() + L"KavrinCars");
    ASSERT_EQ(order.size(), 5u);
    const std::uint32_t before = harness::PeekHost32(SIM_HASH_CALLS);
    harness::FailListingAfter(3);  // past "." and "..", into the files, then a failure
    const bool loaded = scenario.Load();
    harness::FailListingAfter(-1);
    ASSERT_TRUE(loaded);
    const std::uint32_t records = harness::PeekHost32(SIM_HASH_CALLS) - before;
    EXPECT_GE(records, 1u);
    EXPECT_LT(records, 5u);
    // The records are the listing's first entries; the scan ended at the failure.
    for (std::uint32_t i = 0; i < order.size(); ++i) EXPECT_EQ(CarForced(order[i]), i < records) << order[i];
    EXPECT_NE(harness::RelativeTarget(0x777D11), 0x4366B0u);  // the start-up went on to patch
}

}  // namespace
