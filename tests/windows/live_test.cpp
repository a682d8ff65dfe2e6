// The live check against a running simulated game, from this process: the rights
// it asks for and nothing beyond them, a game that denies reading, and a game that
// ends between being found and being read.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "detour.h"
#include "harness.h"
#include "live.h"

namespace live = zk::check::live;
namespace sys = zk::check::sys;

namespace {

// Every OpenProcess of this process, recorded while asked; a pid whose read access
// is to be refused, as Windows refuses a game started as administrator.
struct OpenCall {
    DWORD Access;
    DWORD Id;
    bool Opened;
};
std::mutex gMutex;
bool gRecording = false;
std::vector<OpenCall> gCalls;
DWORD gDenyReadTo = 0;
decltype(&OpenProcess) gRealOpenProcess = nullptr;

HANDLE WINAPI RecordOpenProcess(DWORD access, BOOL inherit, DWORD id) {
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (gRecording && id == gDenyReadTo && access == sys::kReadAccess) {
            gCalls.push_back({access, id, false});
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
    }
    HANDLE handle = gRealOpenProcess(access, inherit, id);
    std::lock_guard<std::mutex> lock(gMutex);
    if (gRecording) gCalls.push_back({access, id, handle != nullptr});
    return handle;
}

// The recorder, installed once for the process.
std::string InstallRecorder() {
    static std::string why = [] {
        std::string reason;
        void* entry = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "OpenProcess"));
        gRealOpenProcess = reinterpret_cast<decltype(&OpenProcess)>(harness::InstallDetour(
            entry, reinterpret_cast<const void*>(&RecordOpenProcess), &harness::InSystemModule, &reason));
        return gRealOpenProcess != nullptr ? std::string() : "OpenProcess: " + reason;
    }();
    return why;
}

std::vector<OpenCall> Record(bool on, DWORD denyReadTo = 0) {
    std::lock_guard<std::mutex> lock(gMutex);
    gRecording = on;
    gDenyReadTo = denyReadTo;
    std::vector<OpenCall> calls;
    calls.swap(gCalls);
    return calls;
}

class Live : public testing::Test {
  protected:
    void SetUp() override {
        const std::string missing = InstallRecorder();
        if (!missing.empty()) GTEST_SKIP() << "not wrapped: " << missing;
        const std::wstring folder = harness::ProgramFolder() + L"scenarios\\live-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(harness::StartGame(folder, "[GENERAL]\r\nFrontSteerAngle=400\r\n", mGame)) << mGame.Said;
    }
    void TearDown() override {
        Record(false);
        harness::EndGame(mGame);
    }
    DWORD GameId() const { return mGame.Process.dwProcessId; }

    // The game of ours among those found (a test beside this one may run others).
    const live::Game* Ours(const live::LiveResult& result) const {
        for (const live::Game& game : result.Games) {
            if (game.Id == GameId()) return &game;
        }
        return nullptr;
    }

    harness::RunningGame mGame;
};

TEST_F(Live, AsksForTheQueryAndReadRightsOnlyAndReadsTheGame) {
    Record(true);
    const live::LiveResult result = live::RunLive();
    const std::vector<OpenCall> calls = Record(false);
    const live::Game* game = Ours(result);
    ASSERT_NE(game, nullptr) << live::RenderText(result);
    EXPECT_TRUE(game->Errors.empty() && game->Warnings.empty()) << live::RenderText(result);
    EXPECT_EQ(game->Settings.FrontSteerAngle, 400.0f);

    // Every process: the query rights first; the read rights only after them, and
    // only for a 32-bit one. Nothing else is ever asked for.
    std::vector<DWORD> queried;
    int ours = 0;
    for (const OpenCall& call : calls) {
        SCOPED_TRACE(testing::Message() << "pid " << call.Id << " access 0x" << std::hex << call.Access);
        EXPECT_TRUE(call.Access == sys::kQueryAccess || call.Access == sys::kReadAccess);
        if (call.Access == sys::kQueryAccess) queried.push_back(call.Id);
        if (call.Access == sys::kReadAccess) {
            EXPECT_NE(std::find(queried.begin(), queried.end(), call.Id), queried.end());
        }
        ours += call.Id == GameId();
    }
    EXPECT_EQ(ours, 2);
    EXPECT_EQ(sys::kQueryAccess, static_cast<std::uint32_t>(PROCESS_QUERY_LIMITED_INFORMATION));
    EXPECT_EQ(sys::kReadAccess, static_cast<std::uint32_t>(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ));
    // Wine's own services are 64-bit programs here: queried, never read.
    sys::Process process;
    int sixtyFour = 0;
    for (DWORD id : queried) {
        if (sys::OpenToQuery(id, process) != sys::Opened::Not32Bit) continue;
        ++sixtyFour;
        for (const OpenCall& call : calls) EXPECT_FALSE(call.Id == id && call.Access == sys::kReadAccess) << id;
    }
    if (!harness::WineVersion().empty()) {
        EXPECT_GT(sixtyFour, 0);
    }
}

TEST_F(Live, AGameThatDeniesReadingIsOneLineAndNothingMore) {
    Record(true, GameId());
    const live::LiveResult result = live::RunLive();
    const std::vector<OpenCall> calls = Record(false);
    const live::Game* game = Ours(result);
    ASSERT_NE(game, nullptr) << live::RenderText(result);
    EXPECT_EQ(game->Looked, live::Outcome::Denied);
    ASSERT_EQ(game->Errors.size(), 1u);
    EXPECT_EQ(game->Errors[0],
              "access is denied (the game runs as administrator, or is protected), so nothing of it can be read: "
              "run zk-check the same way as the game (as administrator: right-click zk-check.exe, Run as "
              "administrator)");
    EXPECT_TRUE(game->Sites.empty() && game->Modules.empty());
    EXPECT_EQ(live::ExitStatus(result), 2);
    std::vector<DWORD> asked;
    for (const OpenCall& call : calls) {
        if (call.Id == GameId()) asked.push_back(call.Access);
    }
    EXPECT_EQ(asked, (std::vector<DWORD>{sys::kQueryAccess, sys::kReadAccess}));
    const std::string text = live::RenderText(result);
    EXPECT_NE(text.find("Game: " + game->Exe + " (PID " + std::to_string(GameId()) + ")\nERROR: access is denied"),
              std::string::npos)
        << text;
}

TEST_F(Live, AGameThatEndsWhileItIsReadIsOneLine) {
    std::vector<live::Candidate> found = live::FindGames();
    const auto ours = std::find_if(found.begin(), found.end(),
                                   [this](const live::Candidate& candidate) { return candidate.Process.Id == GameId(); });
    ASSERT_NE(ours, found.end());
    ASSERT_TRUE(TerminateProcess(mGame.Process.hProcess, 1));
    ASSERT_EQ(WaitForSingleObject(mGame.Process.hProcess, 10000), WAIT_OBJECT_0);
    live::LiveResult result;
    result.Games.push_back(live::ReadGame(*ours));
    const live::Game& game = result.Games[0];
    EXPECT_EQ(game.Looked, live::Outcome::Ended);
    EXPECT_EQ(game.Errors, std::vector<std::string>{"the game ended while it was read"});
    EXPECT_EQ(live::Verdict(result), "ERROR: game.exe (PID " + std::to_string(GameId()) +
                                         "): the game ended while it was read");
    EXPECT_EQ(live::ExitStatus(result), 2);
}

}  // namespace
