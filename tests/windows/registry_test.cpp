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

// Each car name (UTF-8 here) and the bytes its record is hashed from under each
// ANSI code page the tier runs with; empty: no exact form, so no record.
struct NameRow {
    const char* Name;
    const char* Cp1252;
    const char* Cp932;
    const char* Utf8;
};
const NameRow kNames[] = {
    {"A.ini", "A.ini", "A.ini", "A.ini"},
    {"Caf\xC3\xA9.ini", "Caf\xE9.ini", "", "Caf\xC3\xA9.ini"},          // é
    {"\xC2\xBD.ini", "\xBD.ini", "", "\xC2\xBD.ini"},                     // ½
    {"\xE8\xBB\x8A.ini", "", "\x8E\xD4.ini", "\xE8\xBB\x8A.ini"},          // 車
    {"\xE4\xB8\xAD.ini", "", "\x92\x86.ini", "\xE4\xB8\xAD.ini"},          // 中
    {"\xD0\x96z.ini", "", "\x84\x47z.ini", "\xD0\x96z.ini"},              // Жz
    {"\xE0\xA4\x95.ini", "", "", "\xE0\xA4\x95.ini"},                      // क
    {"\xF0\x9F\x9A\x97.ini", "", "", "\xF0\x9F\x9A\x97.ini"},              // a car emoji
    {"Z.ini", "Z.ini", "Z.ini", "Z.ini"},
};

TEST(Registry, NamesAreConvertedExactlyToTheCodePage) {
    const UINT codePage = GetACP();
    ASSERT_TRUE(codePage == 1252 || codePage == 932 || codePage == CP_UTF8) << codePage;
    Scenario scenario;
    std::uint32_t expected = 0;
    for (const NameRow& row : kNames) {
        scenario.File(std::string("KavrinCars/") + row.Name, "[GENERAL]\nForceLodA=1\n");
        const char* narrow = codePage == 1252 ? row.Cp1252 : codePage == 932 ? row.Cp932 : row.Utf8;
        expected += *narrow != '\0';
    }
    EXPECT_EQ(HashCallsDuringLoad(scenario), expected);  // the others skipped, the scan went on
    for (const NameRow& row : kNames) {
        const std::string narrow = codePage == 1252 ? row.Cp1252 : codePage == 932 ? row.Cp932 : row.Utf8;
        if (!narrow.empty()) EXPECT_TRUE(CarForced(narrow)) << row.Name;
        // Never its form in another code page, nor a best-fit or default character.
        for (const char* other : {row.Cp1252, row.Cp932, row.Utf8}) {
            if (*other != '\0' && other != narrow) EXPECT_FALSE(CarForced(other)) << row.Name;
        }
    }
    EXPECT_FALSE(CarForced("?.ini"));
    EXPECT_FALSE(CarForced("?z.ini"));
    EXPECT_FALSE(CarForced("Cafe.ini"));
    for (harness::StrictRule rule : {harness::kRuleUtf8Defaults, harness::kRuleNoFlags,
                                     harness::kRuleUtf8Flags, harness::kRuleErrInvalidChars}) {
        EXPECT_EQ(harness::TakeStrictCount(rule), 0) << "a conversion Windows refuses, rule " << rule;
    }
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
