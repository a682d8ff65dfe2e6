// zk-check --fix on Windows' own file calls: each mistake of the player-mistake
// table that it marks fixable, fixed and clean afterwards; a failure injected at
// every change; a file another program holds open; and the copies VirtualStore
// keeps of a game's settings under Program Files.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "check.h"
#include "core/os.h"
#include "fix_faults.h"
#include "harness.h"
#include "player_mistakes.h"
#include "sys.h"

namespace sys = zk::check::sys;

namespace {

// A scratch folder of this test, with its separator, removed afterwards.
class FixFolder : public testing::Test {
  protected:
    void SetUp() override {
        mRoot = harness::Narrow(harness::ProgramFolder()) + "scenarios\\fix-" + std::to_string(GetCurrentProcessId()) +
                "-" + testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
        harness::DeleteTree(harness::Widen(mRoot.substr(0, mRoot.size() - 1)));
        harness::MakeFolder(harness::Widen(mRoot.substr(0, mRoot.size() - 1)));
    }
    void TearDown() override {
        sys::FailWritesAfter(-1);
        zk::os::UsePluginFolder(zk::os::NativePath());
        harness::DeleteTree(harness::Widen(mRoot.substr(0, mRoot.size() - 1)));
    }
    // A file below the root ('/' as separators), its folders made.
    void Write(const std::string& relative, const std::string& bytes) {
        std::string path = relative;
        for (char& c : path) c = c == '/' ? '\\' : c;
        for (std::size_t cut = path.find('\\'); cut != std::string::npos; cut = path.find('\\', cut + 1)) {
            harness::MakeFolder(harness::Widen(mRoot + path.substr(0, cut)));
        }
        if (path.back() != '\\') harness::WriteBytes(harness::Widen(mRoot + path), bytes);
    }
    zk::check::Result Check(const std::string& relative) {
        zk::check::Options options;
        options.PluginDir = mRoot + relative;
        zk::check::Result result = zk::check::Run(options);
        zk::os::UsePluginFolder(zk::os::NativePath());
        return result;
    }
    // A report's text as the table gives it: without the root and the row's folder,
    // '/' as separators.
    std::string AsInTheTable(std::string text, const std::string& row) const {
        for (std::size_t at; (at = text.find(mRoot + row + "\\")) != std::string::npos;) text.erase(at, mRoot.size() + row.size() + 1);
        for (char& c : text) c = c == '\\' ? '/' : c;
        return text;
    }
    std::string mRoot;
};

TEST_F(FixFolder, EachFixableMistakeOfTheTableIsFixedAndCleanAfterwards) {
    int fixed = 0;
    for (const player_mistakes::Mistake& mistake : player_mistakes::PlayerMistakes()) {
        if (mistake.AfterFix == nullptr) continue;
        SCOPED_TRACE(mistake.Name);
        const std::string row = mistake.Name;
        for (const auto& [name, bytes] : mistake.Files) Write(row + "/" + name, bytes);
        const zk::check::Result result = Check(row + "\\" + mistake.Checked);
        EXPECT_EQ(AsInTheTable(zk::check::Verdict(result), row), mistake.FirstLine);
        const zk::check::FixOutcome outcome = zk::check::MakeFixes(result);
        EXPECT_EQ(outcome.Refused, "");
        EXPECT_FALSE(outcome.Stopped);
        const zk::check::Result after = Check(row + "\\" + mistake.Checked);
        EXPECT_EQ(AsInTheTable(zk::check::Verdict(after), row), mistake.AfterFix)
            << zk::check::RenderFixText(outcome, after);
        ++fixed;
    }
    EXPECT_GE(fixed, 12);
}

TEST_F(FixFolder, NothingLostWhereverAChangeFails) { fix_faults::ExpectNothingLostAtAnyFailure(mRoot); }

TEST_F(FixFolder, AFileHeldOpenIsLeftAloneAndTheOthersFixed) {
    Write("Game/ZorbelKavrin.asi", "");
    Write("Game/ZorbelKavrin.ini", "[GENERAL]\rForceLodA=1\r");
    Write("Game/KavrinCars/A.ini.txt", "[GENERAL]\nForceLodA=1\n");
    const zk::check::Result result = Check("Game");
    ASSERT_EQ(result.Fixes.size(), 2u);
    // As an editor or the game may hold it: shared with readers, not with a replace.
    HANDLE held = CreateFileW(harness::Widen(mRoot + "Game\\ZorbelKavrin.ini").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const zk::check::FixOutcome outcome = zk::check::MakeFixes(result);
    CloseHandle(held);
    ASSERT_EQ(outcome.Fixes.size(), 2u);
    EXPECT_FALSE(outcome.Fixes[0].Made);
    EXPECT_EQ(outcome.Fixes[0].Why,
              "left alone: another program holds it open (the game, an editor): close it and run this again");
    EXPECT_TRUE(outcome.Fixes[1].Made) << outcome.Fixes[1].Why;
    std::string bytes;
    ASSERT_TRUE(zk::os::ReadWholeFile(zk::os::PathFromUtf8(mRoot + "Game\\KavrinCars\\A.ini"), bytes));
    ASSERT_TRUE(zk::os::ReadWholeFile(zk::os::PathFromUtf8(mRoot + "Game\\ZorbelKavrin.ini"), bytes));
    EXPECT_EQ(bytes, "[GENERAL]\rForceLodA=1\r");
}

// Under Program Files (here the prefix's, made by the test), a copy of the settings
// in %LOCALAPPDATA%\VirtualStore is what an unmanifested game reads: found, said to
// differ, and moved into a folder of its own by the fix.
TEST_F(FixFolder, TheCopyVirtualStoreKeepsIsFoundAndPutAway) {
    wchar_t programFiles[MAX_PATH];
    const DWORD size = GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    ASSERT_GT(size, 0u);
    const std::string game = harness::Narrow(std::wstring(programFiles, size)) + "\\ZkFixTest-" +
                             std::to_string(GetCurrentProcessId()) + "\\";
    const std::string twin = sys::VirtualStoreOf(game);
    ASSERT_NE(twin, "") << game << " is not taken for a folder Windows virtualizes";
    EXPECT_EQ(twin, sys::LocalAppData() + "VirtualStore\\" + game.substr(3));
    const auto make = [](const std::string& path, const std::string& bytes) {
        for (std::size_t cut = path.find('\\', 3); cut != std::string::npos; cut = path.find('\\', cut + 1)) {
            CreateDirectoryW(harness::Widen(path.substr(0, cut)).c_str(), nullptr);
        }
        harness::WriteBytes(harness::Widen(path), bytes);
    };
    make(game + "ZorbelKavrin.asi", "");
    make(game + "ZorbelKavrin.ini", "[GENERAL]\r\nFrontSteerAngle = 400\r\n");
    make(twin + "ZorbelKavrin.ini", "[GENERAL]\r\nFrontSteerAngle = 340\r\n");
    make(twin + "KavrinCars\\Old.ini", "[GENERAL]\r\nForceLodA = 1\r\n");

    zk::check::Options options;
    options.PluginDir = game;
    zk::check::Result result = zk::check::Run(options);
    ASSERT_EQ(result.Errors.size(), 2u) << zk::check::RenderText(result);
    EXPECT_EQ(result.Errors[0],
              "the game reads a hidden copy of ZorbelKavrin.ini that Windows keeps for it, " + twin +
                  "ZorbelKavrin.ini (it may not write under " + game +
                  "): it differs from this one (line 2: 'FrontSteerAngle = 400' here, 'FrontSteerAngle = 340' in the "
                  "hidden copy)");
    EXPECT_EQ(result.Errors[1], "the game reads a hidden copy of KavrinCars\\Old.ini that Windows keeps for it, " +
                                    twin + "KavrinCars\\Old.ini (it may not write under " + game +
                                    "): there is no KavrinCars\\Old.ini here at all");
    EXPECT_NE(result.ErrorFixes[0], "");
    const zk::check::FixOutcome outcome = zk::check::MakeFixes(result);
    EXPECT_EQ(outcome.Refused, "");
    ASSERT_NE(outcome.HiddenBackup, "");
    EXPECT_EQ(outcome.HiddenBackup.rfind(sys::LocalAppData() + "ZorbelKavrin-VirtualStore-backup-", 0), 0u);
    std::string bytes;
    EXPECT_TRUE(zk::os::ReadWholeFile(
        zk::os::PathFromUtf8(outcome.HiddenBackup + twin.substr(sys::LocalAppData().size() + 13) + "ZorbelKavrin.ini"),
        bytes));
    EXPECT_EQ(bytes, "[GENERAL]\r\nFrontSteerAngle = 340\r\n");
    EXPECT_FALSE(zk::os::ReadWholeFile(zk::os::PathFromUtf8(twin + "ZorbelKavrin.ini"), bytes));
    const zk::check::Result after = zk::check::Run(options);
    zk::os::UsePluginFolder(zk::os::NativePath());
    EXPECT_EQ(zk::check::Verdict(after).rfind("OK:", 0), 0u) << zk::check::RenderText(after);
    harness::DeleteTree(harness::Widen(game.substr(0, game.size() - 1)));
    harness::DeleteTree(harness::Widen(sys::LocalAppData() + "VirtualStore\\" + game.substr(3, game.size() - 4)));
    harness::DeleteTree(harness::Widen(outcome.HiddenBackup.substr(0, outcome.HiddenBackup.size() - 1)));
}

}  // namespace
