// Where the plugin finds its settings: beside itself, whatever the working directory
// is, whatever the folder is called and however long its path.
#include <gtest/gtest.h>

#include <locale.h>

#include "check.h"
#include "harness.h"
#include "site_helpers.h"

using harness::Scenario;
using sites::CarForced;

namespace {

// Changes the working directory for the length of a test.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::wstring& folder) {
        saved_.resize(32768);
        saved_.resize(GetCurrentDirectoryW(static_cast<DWORD>(saved_.size()), &saved_[0]));
        SetCurrentDirectoryW(folder.c_str());
    }
    ~WorkingDirectory() { SetCurrentDirectoryW(saved_.c_str()); }

private:
    std::wstring saved_;
};

float SteeringAngle() { return harness::PeekHostFloat(0xA8918C); }

TEST(SettingsPath, BesideThePluginNotInTheWorkingDirectory) {
    Scenario scenario(L"game");
    scenario.Ini("[GENERAL]\nFrontSteerAngle=123\n");
    scenario.File("KavrinCars/Mine.ini", "[GENERAL]\nForceLodA=1\n");
    // The working directory has a settings file and car folder of its own.
    const std::wstring elsewhere = scenario.Root() + L"\\elsewhere";
    harness::MakeFolder(elsewhere + L"\\KavrinCars");
    harness::WriteBytes(elsewhere + L"\\ZorbelKavrin.ini", "[GENERAL]\nFrontSteerAngle=7\n");
    harness::WriteBytes(elsewhere + L"\\KavrinCars\\Stray.ini", "[GENERAL]\nForceLodA=1\n");
    harness::WriteBytes(elsewhere + L"\\KavrinCars\\Mine.ini", "[GENERAL]\nForceLodA=0\n");
    const std::uint32_t hashesBefore = harness::PeekHost32(SIM_HASH_CALLS);
    {
        WorkingDirectory cd(elsewhere);
        ASSERT_TRUE(scenario.Load());
    }
    EXPECT_EQ(SteeringAngle(), 123.0f);
    EXPECT_TRUE(CarForced("Mine.ini"));
    EXPECT_FALSE(CarForced("Stray.ini"));
    EXPECT_EQ(harness::PeekHost32(SIM_HASH_CALLS) - hashesBefore, 3u);  // one record + two probes
}

TEST(SettingsPath, PluginInAScriptsSubfolder) {
    Scenario scenario(L"scripts");
    scenario.Ini("[GENERAL]\nFrontSteerAngle=250\n");
    scenario.File("KavrinCars/Scripted.ini", "[GENERAL]\nForceLodA=1\n");
    // The game's own folder (the working directory) holds another car folder.
    harness::WriteBytes(scenario.Root() + L"\\ZorbelKavrin.ini", "[GENERAL]\nFrontSteerAngle=1\n");
    harness::MakeFolder(scenario.Root() + L"\\KavrinCars");
    harness::WriteBytes(scenario.Root() + L"\\KavrinCars\\Root.ini", "[GENERAL]\nForceLodA=1\n");
    {
        WorkingDirectory cd(scenario.Root());
        ASSERT_TRUE(scenario.Load());
    }
    EXPECT_EQ(SteeringAngle(), 250.0f);
    EXPECT_TRUE(CarForced("Scripted.ini"));
    EXPECT_FALSE(CarForced("Root.ini"));
}

TEST(SettingsPath, CyrillicFolder) {
    // "Игры\Кавринь": no form in the ANSI code page 1252; the folder is never
    // converted, so under every code page it works the same.
    Scenario scenario(L"\x0418\x0433\x0440\x044B\\\x041A\x0430\x0432\x0440\x0438\x043D\x044C");
    scenario.Ini("[GENERAL]\nFrontSteerAngle=321\n");
    scenario.File("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    ASSERT_TRUE(scenario.Load());
    EXPECT_EQ(SteeringAngle(), 321.0f);
    EXPECT_TRUE(CarForced("Car1.ini"));
}

// Windows refuses a plain path of MAX_PATH characters or more (the game declares no
// long-path awareness), so every long path must reach it in the \\?\ form.
TEST(SettingsPath, LongPathsAreOpenedLiterally) {
    std::wstring deep = L"deep";
    for (int level = 0; level < 7; ++level) deep += L"\\" + std::wstring(45, static_cast<wchar_t>(L'a' + level));
    const std::string longCar = std::string(150, 'c') + ".ini";
    struct Row {
        const char* What;
        std::wstring Folder;
        bool Literal;  // loaded by its \\?\ path
        std::string Car;
        std::size_t CarPathLength;  // when not 0, the car file's name is made to fit it
    };
    const Row rows[] = {
        {"plugin deeper than MAX_PATH, loaded literally", deep, true, "Deep.ini", 0},
        {"plugin path fits, its car file's does not", std::wstring(120, L'g'), false, longCar, 0},
        {"the same, loaded literally", std::wstring(120, L'g'), true, longCar, 0},
        {"car file path of exactly MAX_PATH characters", std::wstring(120, L'g'), false, "", MAX_PATH},
        {"car file path one shorter, passed plainly", std::wstring(120, L'g'), false, "", MAX_PATH - 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.What);
        Scenario scenario(row.Folder);
        std::string car = row.Car;
        const std::size_t carFolder = (scenario.PluginFolder() + L"KavrinCars\\").size();
        if (row.CarPathLength != 0) car = std::string(row.CarPathLength - carFolder - 4, 'e') + ".ini";
        scenario.Ini("[GENERAL]\nFrontSteerAngle=77\n");
        scenario.File("KavrinCars/" + car, "[GENERAL]\nForceLodA=1\n");
        const std::size_t carPath = carFolder + harness::Widen(car).size();
        if (row.CarPathLength != 0) {
            ASSERT_EQ(carPath, row.CarPathLength);
        } else {
            ASSERT_GE(carPath, static_cast<size_t>(MAX_PATH));
        }
        harness::TakeStrictCount(harness::kRuleMaxPath);
        harness::TakeStrictCount(harness::kRuleLiteralModule);
        ASSERT_TRUE(scenario.Load(row.Literal));
        EXPECT_EQ(SteeringAngle(), 77.0f);
        EXPECT_TRUE(CarForced(car));
        EXPECT_EQ(harness::TakeStrictCount(harness::kRuleMaxPath), 0);  // no path refused
        // Windows named the module in the form it was loaded by.
        if (harness::StrictLayerOn()) {
            EXPECT_EQ(harness::TakeStrictCount(harness::kRuleLiteralModule) > 0, row.Literal);
        }
    }
    Scenario scenario(deep);
    // The checker sees that folder as the plugin does.
    scenario.Ini("[GENERAL]\nFrontSteerAngle=77\n");
    scenario.File("KavrinCars/Deep.ini", "[GENERAL]\nForceLodA=1\n");
    zk::check::Options options;
    options.PluginDir = harness::Narrow(scenario.PluginFolder());
    const zk::check::Result result = zk::check::Run(options);
    zk::os::UsePluginFolder(zk::os::NativePath());
    EXPECT_EQ(zk::check::Verdict(result).rfind("OK: the plugin in " + options.PluginDir + " will use", 0), 0u)
        << zk::check::RenderText(result);
    EXPECT_EQ(result.Global.FrontSteerAngle, 77.0f);
    ASSERT_EQ(result.Cars.size(), 1u);
    EXPECT_TRUE(result.Cars[0].ForceLodA);
    EXPECT_EQ(harness::TakeStrictCount(harness::kRuleMaxPath), 0);
    // As on Windows, a plain path that long does not even load.
    if (!harness::StrictLayerOn() && !harness::WineVersion().empty()) {
        GTEST_SKIP() << "under Wine without the strict layer, which loads a plain path that Windows refuses";
    }
    EXPECT_FALSE(scenario.Load(false));
    if (harness::StrictLayerOn()) {
        EXPECT_GT(harness::TakeStrictCount(harness::kRuleMaxPath), 0);
    }
}

TEST(SettingsPath, AHostLocaleWithADecimalCommaChangesNothing) {
    ASSERT_NE(setlocale(LC_ALL, "German_Germany.1252"), nullptr);
    ASSERT_STREQ(localeconv()->decimal_point, ",");
    Scenario scenario;
    scenario.Ini("[GENERAL]\nFrontSteerAngle=12.5\n");
    const bool loaded = scenario.Load();
    setlocale(LC_ALL, "C");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(SteeringAngle(), 12.5f);
}

TEST(SettingsPath, DefaultAngleDespiteADecimalComma) {
    ASSERT_NE(setlocale(LC_ALL, "German_Germany.1252"), nullptr);
    Scenario scenario;
    const bool loaded = scenario.Load();
    setlocale(LC_ALL, "C");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(SteeringAngle(), 340.0f);
}

}  // namespace
