// The main settings file into GlobalSettings, and the car folder into the registry.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "cars/car_settings.h"
#include "core/host_stand_in.h"
#include "settings/global_settings.h"
#include "failing_allocator.h"
#include "test_support.h"

using testing_support::TempFolder;
using zk::CarSettingsRegistry;
using zk::GlobalSettings;

namespace {

class Settings : public testing::Test {
protected:
    void SetUp() override { testing_support::ResetPluginState(folder_.Path()); }
    void TearDown() override { testing_support::ResetPluginState(""); }
    void Load(const std::string& ini) {
        folder_.Write("ZorbelKavrin.ini", ini);
        zk::LoadGlobalSettings();
    }
    bool Flag(const std::string& line) {
        testing_support::ResetPluginState(folder_.Path());
        Load("[GENERAL]\n" + line + "\n");
        return GlobalSettings.ExpandMemoryPools;
    }
    TempFolder folder_;
};

TEST_F(Settings, NoFileGivesTheDefaults) {
    zk::LoadGlobalSettings();
    EXPECT_FALSE(GlobalSettings.ForceLodA);
    EXPECT_EQ(GlobalSettings.FrontSteerAngle, 340.0f);
    EXPECT_FALSE(GlobalSettings.ExpandMemoryPools);
    EXPECT_FALSE(GlobalSettings.InfiniteTuningSliders);
    EXPECT_FALSE(GlobalSettings.InfiniteAutosculptSliders);
}

TEST_F(Settings, EmptyFileGivesTheDefaultsAndStillBuildsTheRegistry) {
    folder_.Write("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    Load("");
    EXPECT_EQ(GlobalSettings.FrontSteerAngle, 340.0f);
    ASSERT_EQ(CarSettingsRegistry.size(), 1u);
    EXPECT_TRUE(CarSettingsRegistry[0]->ForceLodA);
}

TEST_F(Settings, AllFiveKeys) {
    Load("[GENERAL]\nForceLodA=1\nFrontSteerAngle=400\nExpandMemoryPools=1\n"
         "InfiniteTuningSliders=1\nInfiniteAutosculptSliders=1\n");
    EXPECT_TRUE(GlobalSettings.ForceLodA);
    EXPECT_EQ(GlobalSettings.FrontSteerAngle, 400.0f);
    EXPECT_TRUE(GlobalSettings.ExpandMemoryPools);
    EXPECT_TRUE(GlobalSettings.InfiniteTuningSliders);
    EXPECT_TRUE(GlobalSettings.InfiniteAutosculptSliders);
}

TEST_F(Settings, EachFlagIsItsOwn) {
    Load("[GENERAL]\nInfiniteTuningSliders=1\n");
    EXPECT_FALSE(GlobalSettings.ForceLodA);
    EXPECT_FALSE(GlobalSettings.ExpandMemoryPools);
    EXPECT_TRUE(GlobalSettings.InfiniteTuningSliders);
    EXPECT_FALSE(GlobalSettings.InfiniteAutosculptSliders);
}

TEST_F(Settings, AFlagIsOnOnlyForTheIntegerOne) {
    for (const char* on : {"ExpandMemoryPools=1", "ExpandMemoryPools=01", "ExpandMemoryPools=0x1",
                           "ExpandMemoryPools=0X01", "ExpandMemoryPools = 1 ; note",
                           "ExpandMemoryPools=1 // note", "ExpandMemoryPools=1.9",
                           "ExpandMemoryPools=+1", "ExpandMemoryPools=1yes",
                           "ExpandMemoryPools=1// not a comment"}) {
        EXPECT_TRUE(Flag(on)) << on;
    }
    for (const char* off : {"ExpandMemoryPools=0", "ExpandMemoryPools=2", "ExpandMemoryPools=-1",
                            "ExpandMemoryPools=true", "ExpandMemoryPools=", "ExpandMemoryPools",
                            "ExpandMemoryPools=on", "expandmemorypools=1", "#ExpandMemoryPools=1",
                            "ExpandMemoryPools=4294967297", "ExpandMemoryPools=0x100000001"}) {
        EXPECT_FALSE(Flag(off)) << off;
    }
}

TEST_F(Settings, SteeringAngleAsRead) {
    const std::pair<const char*, float> cases[] = {
        {"400", 400.0f}, {"0", 0.0f}, {"-30", -30.0f}, {"1e30", 1e30f}, {"", 0.0f},
        {"wide", 0.0f}, {" 12.5 ; note", 12.5f}, {"12,5", 12.0f}};
    for (const auto& [text, expected] : cases) {
        testing_support::ResetPluginState(folder_.Path());
        Load(std::string("[GENERAL]\nFrontSteerAngle=") + text + "\n");
        EXPECT_EQ(GlobalSettings.FrontSteerAngle, expected) << text;
    }
}

TEST_F(Settings, KeysBeforeAnyHeaderAreNotRead) {
    Load("ForceLodA=1\nFrontSteerAngle=400\nExpandMemoryPools=1\n");
    EXPECT_FALSE(GlobalSettings.ForceLodA);
    EXPECT_EQ(GlobalSettings.FrontSteerAngle, 340.0f);
    EXPECT_FALSE(GlobalSettings.ExpandMemoryPools);
}

TEST_F(Settings, TheFirstOfTwoLinesWins) {
    Load("[GENERAL]\nFrontSteerAngle=400\nFrontSteerAngle=100\n[GENERAL]\nFrontSteerAngle=1\n");
    EXPECT_EQ(GlobalSettings.FrontSteerAngle, 400.0f);
}

TEST_F(Settings, SectionInOtherCaseIsFoundKeyIsNot) {
    Load("[general]\nFrontSteerAngle=400\nexpandMemoryPools=1\n");
    EXPECT_EQ(GlobalSettings.FrontSteerAngle, 400.0f);
    EXPECT_FALSE(GlobalSettings.ExpandMemoryPools);
}

TEST_F(Settings, TheFileBesideThePluginNotTheWorkingDirectory) {
    TempFolder elsewhere;
    elsewhere.Write("ZorbelKavrin.ini", "[GENERAL]\nFrontSteerAngle=1\n");
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(elsewhere.Path().c_str()), 0);
    Load("[GENERAL]\nFrontSteerAngle=2\n");
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_EQ(GlobalSettings.FrontSteerAngle, 2.0f);
}

// ---- The car registry ----

class Cars : public Settings {
protected:
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& record : CarSettingsRegistry) names.push_back(record->Name);
        return names;
    }
    const zk::CarSettingsRecord* Find(const std::string& name) const {
        for (const auto& record : CarSettingsRegistry) {
            if (record->Name == name) return record.get();
        }
        return nullptr;
    }
};

TEST_F(Cars, NoFolderGivesAnEmptyRegistry) {
    zk::LoadGlobalSettings();
    EXPECT_TRUE(CarSettingsRegistry.empty());
}

TEST_F(Cars, EmptyFolderGivesAnEmptyRegistry) {
    folder_.MakeFolder("KavrinCars");
    zk::LoadGlobalSettings();
    EXPECT_TRUE(CarSettingsRegistry.empty());
}

TEST_F(Cars, AFileNamedLikeTheFolderGivesAnEmptyRegistry) {
    folder_.Write("KavrinCars", "[GENERAL]\nForceLodA=1\n");
    zk::LoadGlobalSettings();
    EXPECT_TRUE(CarSettingsRegistry.empty());
}

TEST_F(Cars, OneRecordWithTheHashOfTheWholeFileName) {
    folder_.Write("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    zk::LoadGlobalSettings();
    ASSERT_EQ(CarSettingsRegistry.size(), 1u);
    EXPECT_EQ(CarSettingsRegistry[0]->Name, "Car1.ini");
    EXPECT_EQ(CarSettingsRegistry[0]->Key, zk::StandInNameHash("Car1.ini"));
    EXPECT_NE(CarSettingsRegistry[0]->Key, zk::StandInNameHash("Car1"));
    EXPECT_TRUE(CarSettingsRegistry[0]->ForceLodA);
}

TEST_F(Cars, TheFlagFollowsTheIntegerRule) {
    folder_.Write("KavrinCars/one", "[GENERAL]\nForceLodA=1\n");
    folder_.Write("KavrinCars/two.ini", "[GENERAL]\nForceLodA=2\n");
    folder_.Write("KavrinCars/hex.ini", "[general]\nForceLodA=0x1\n");
    folder_.Write("KavrinCars/none.ini", "[GENERAL]\nOther=1\n");
    folder_.Write("KavrinCars/nosection.ini", "ForceLodA=1\n");
    folder_.Write("KavrinCars/empty.ini", "");
    zk::LoadGlobalSettings();
    ASSERT_EQ(CarSettingsRegistry.size(), 6u);
    EXPECT_TRUE(Find("one")->ForceLodA);
    EXPECT_FALSE(Find("two.ini")->ForceLodA);
    EXPECT_TRUE(Find("hex.ini")->ForceLodA);
    EXPECT_FALSE(Find("none.ini")->ForceLodA);
    EXPECT_FALSE(Find("nosection.ini")->ForceLodA);
    EXPECT_FALSE(Find("empty.ini")->ForceLodA);
    EXPECT_EQ(Find("one")->Key, zk::StandInNameHash("one"));
}

TEST_F(Cars, SubfoldersAreRecordsWithTheFlagOffAndAreNotEntered) {
    folder_.Write("KavrinCars/Sub.ini/inner.ini", "[GENERAL]\nForceLodA=1\n");
    folder_.Write("KavrinCars/Car.ini", "[GENERAL]\nForceLodA=1\n");
    zk::LoadGlobalSettings();
    ASSERT_EQ(CarSettingsRegistry.size(), 2u);
    ASSERT_NE(Find("Sub.ini"), nullptr);
    EXPECT_FALSE(Find("Sub.ini")->ForceLodA);
    EXPECT_EQ(Find("inner.ini"), nullptr);
    EXPECT_TRUE(Find("Car.ini")->ForceLodA);
}

TEST_F(Cars, RecordsFollowTheListingOrderAndKeepDuplicateKeys) {
    // "b0" and "aQ" hash alike (0x62*33+0x30 == 0x61*33+0x51), and so does every
    // name that goes on alike after them.
    ASSERT_EQ(zk::StandInNameHash("b0.ini"), zk::StandInNameHash("aQ.ini"));
    folder_.Write("KavrinCars/b0.ini", "[GENERAL]\nForceLodA=0\n");
    folder_.Write("KavrinCars/aQ.ini", "[GENERAL]\nForceLodA=1\n");
    zk::LoadGlobalSettings();
    std::vector<zk::os::FolderEntry> listed;
    ASSERT_TRUE(zk::os::ListFolder(folder_.Path() + "KavrinCars", listed));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(Names(), (std::vector<std::string>{listed[0].Name, listed[1].Name}));
    EXPECT_EQ(CarSettingsRegistry[0]->Key, CarSettingsRegistry[1]->Key);
}

TEST_F(Cars, ListedBesideThePluginWhateverTheWorkingDirectory) {
    TempFolder elsewhere;
    elsewhere.Write("KavrinCars/Stray.ini", "[GENERAL]\nForceLodA=1\n");
    folder_.Write("KavrinCars/Mine.ini", "[GENERAL]\nForceLodA=1\n");
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(elsewhere.Path().c_str()), 0);
    zk::LoadGlobalSettings();
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_EQ(Names(), std::vector<std::string>{"Mine.ini"});
    EXPECT_TRUE(CarSettingsRegistry[0]->ForceLodA);
}

TEST_F(Cars, TheMainFileFlagDoesNotLeakIntoCars) {
    folder_.Write("KavrinCars/Car.ini", "[GENERAL]\nFrontSteerAngle=1\n");
    Load("[GENERAL]\nForceLodA=1\n");
    EXPECT_TRUE(GlobalSettings.ForceLodA);
    ASSERT_EQ(CarSettingsRegistry.size(), 1u);
    EXPECT_FALSE(CarSettingsRegistry[0]->ForceLodA);
}

TEST_F(Cars, ManyFiles) {
    for (int i = 0; i < 300; ++i) {
        folder_.Write("KavrinCars/car" + std::to_string(i) + ".ini",
                      i % 3 == 0 ? "[GENERAL]\nForceLodA=1\n" : "[GENERAL]\nForceLodA=0\n");
    }
    zk::LoadGlobalSettings();
    ASSERT_EQ(CarSettingsRegistry.size(), 300u);
    for (const auto& record : CarSettingsRegistry) {
        const int number = std::stoi(record->Name.substr(3));
        EXPECT_EQ(record->ForceLodA, number % 3 == 0) << record->Name;
        EXPECT_EQ(record->Key, zk::StandInNameHash(record->Name.c_str()));
    }
}

// ---- Exhausted memory inside the load ----

TEST_F(Cars, ExhaustedMemoryEndsTheLoadWithoutLettingAnythingOut) {
    folder_.Write("ZorbelKavrin.ini", "[GENERAL]\nFrontSteerAngle=400\nExpandMemoryPools=1\n");
    for (int i = 0; i < 20; ++i) {
        folder_.Write("KavrinCars/car" + std::to_string(i) + ".ini", "[GENERAL]\nForceLodA=1\n");
    }
    // Fail the n-th allocation for every n up to where the load needs none more.
    int failures = 0;
    for (int limit = 0; limit < 100000; ++limit) {
        testing_support::ResetPluginState(folder_.Path());
        testing_support::FailAllocationsAfter(limit);
        const bool loaded = zk::TryLoadGlobalSettings();
        testing_support::FailAllocationsAfter(-1);
        if (loaded) {
            EXPECT_EQ(CarSettingsRegistry.size(), 20u);
            break;
        }
        ++failures;
        // What was appended before the failure is whole.
        for (const auto& record : CarSettingsRegistry) {
            EXPECT_EQ(record->Key, zk::StandInNameHash(record->Name.c_str()));
        }
    }
    EXPECT_GT(failures, 20);
    EXPECT_EQ(GlobalSettings.FrontSteerAngle, 400.0f);
}

}  // namespace
