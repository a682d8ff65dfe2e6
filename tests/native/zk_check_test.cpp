// The settings checker: its report on small example folders (golden files beside
// them), its exit status, the exe check, and the JSON it writes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "check.h"
#include "check_parts.h"
#include "sys.h"
#include "json.h"
#include "pe_sample.h"
#include "fix_faults.h"
#include "player_mistakes.h"
#include "sha256.h"
#include "test_support.h"

using testing_support::ReadFile;

namespace {

const std::string kCheck = std::string(ZK_TEST_DATA) + "/check/";

// Reports name folders in full; the golden files name them from kCheck.
std::string Relative(std::string report) {
    char full[4096];
    const std::string prefix = std::string(realpath(kCheck.c_str(), full)) + "/";
    for (std::size_t at; (at = report.find(prefix)) != std::string::npos;) report.erase(at, prefix.size());
    return report;
}

// Runs the checker from the folder of the examples, so reports name them shortly.
zk::check::Result RunIn(zk::check::Options options) {
    char saved[4096];
    EXPECT_NE(getcwd(saved, sizeof saved), nullptr);
    EXPECT_EQ(chdir(kCheck.c_str()), 0);
    zk::check::Result result = zk::check::Run(options);
    EXPECT_EQ(chdir(saved), 0);
    testing_support::ResetPluginState("");
    return result;
}

struct Case {
    const char* Name;
    int Status;
};

class CheckedFolder : public testing::TestWithParam<Case> {};

TEST_P(CheckedFolder, TextJsonAndStatusAsExpected) {
    zk::check::Options options;
    options.PluginDir = GetParam().Name;
    const zk::check::Result result = RunIn(options);
    EXPECT_EQ(Relative(zk::check::RenderText(result)), ReadFile(kCheck + GetParam().Name + ".txt"));
    EXPECT_EQ(Relative(zk::check::RenderJson(result)), ReadFile(kCheck + GetParam().Name + ".json"));
    EXPECT_EQ(zk::check::ExitStatus(result), GetParam().Status);
}

INSTANTIATE_TEST_SUITE_P(Examples, CheckedFolder,
                         testing::Values(Case{"clean", 0}, Case{"mistakes", 1}, Case{"empty", 0},
                                         Case{"nokey", 1}, Case{"cr_only", 1}, Case{"shadowed", 1},
                                         Case{"wide", 2}, Case{"wide32", 2}, Case{"pasted", 1}),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.Name); });

TEST(Check, TheShippedExamplesAreClean) {
    // As the package lays them out: beside the plugin.
    const std::string examples = std::string(ZK_TEST_DATA) + "/../../../examples/";
    testing_support::TempFolder folder;
    folder.Write("ZorbelKavrin.asi", "");
    folder.Write("ZorbelKavrin.ini", ReadFile(examples + "ZorbelKavrin.ini"));
    folder.Write("KavrinCars/EXAMPLE_CAR.ini", ReadFile(examples + "KavrinCars/EXAMPLE_CAR.ini"));
    zk::check::Options options;
    options.PluginDir = folder.Path();
    const zk::check::Result result = RunIn(options);
    EXPECT_TRUE(result.SettingsFound);
    EXPECT_TRUE(result.Warnings.empty()) << zk::check::RenderText(result);
    EXPECT_EQ(result.Global.FrontSteerAngle, 340.0f);
    ASSERT_EQ(result.Cars.size(), 1u);
    EXPECT_TRUE(result.Cars[0].ForceLodA);
}

TEST(Check, AMissingPluginFolderIsAnError) {
    zk::check::Options options;
    options.PluginDir = "no-such-folder";
    const zk::check::Result result = RunIn(options);
    EXPECT_EQ(zk::check::ExitStatus(result), 2);
    ASSERT_EQ(result.Errors.size(), 1u);
    EXPECT_EQ(result.Errors[0], "the folder no-such-folder does not exist or cannot be opened");
}

TEST(Check, ManyCarsKeepTheRegistrysOrder) {
    testing_support::TempFolder folder;
    folder.Write("KavrinCars/On.ini", "[GENERAL]\nForceLodA=1\n");
    folder.Write("KavrinCars/Off.ini", "[GENERAL]\nForceLodA=0\n");
    folder.Write("KavrinCars/Two.ini", "[GENERAL]\nForceLodA=2\n");
    folder.MakeFolder("KavrinCars/Dir");
    zk::check::Options options;
    options.PluginDir = folder.Path();
    const zk::check::Result result = RunIn(options);
    std::vector<zk::os::FolderEntry> listed;
    ASSERT_TRUE(zk::os::ListFolder(folder.Path() + "KavrinCars", listed));
    ASSERT_EQ(result.Cars.size(), listed.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(result.Cars[i].Name, listed[i].Name);
        EXPECT_EQ(result.Cars[i].Folder, listed[i].IsFolder);
        EXPECT_EQ(result.Cars[i].ForceLodA, listed[i].Name == "On.ini");
    }
    int folderWarnings = 0, flagWarnings = 0;
    for (const auto& warning : result.Warnings) {
        folderWarnings += warning.File == "KavrinCars/Dir" && warning.Line == 0;
        flagWarnings += warning.File == "KavrinCars/Two.ini" && warning.Line == 2;
    }
    EXPECT_EQ(folderWarnings, 1);
    EXPECT_EQ(flagWarnings, 1);
}

// ---- Mistakes players make ----

using player_mistakes::kCar;
using player_mistakes::kGood;
using player_mistakes::kLoader;
using player_mistakes::Mistake;
using player_mistakes::PluginOfVersion;

// A report with a scratch folder's path left out.
std::string WithoutFolder(std::string text, const std::string& folder) {
    for (std::size_t at; (at = text.find(folder)) != std::string::npos;) text.erase(at, folder.size());
    return text;
}

class PlayerMistake : public testing::TestWithParam<Mistake> {};

// The mistake's folder, laid out in a scratch folder.
void Lay(const testing_support::TempFolder& folder, const Mistake& mistake) {
    for (const auto& [name, text] : mistake.Files) {
        if (name.back() == '/') {
            folder.MakeFolder(name);
        } else if (text.rfind("->", 0) == 0) {
            folder.MakeFolder(name.substr(0, name.rfind('/') + 1));
            ASSERT_EQ(symlink(text.substr(2).c_str(), (folder.Path() + name).c_str()), 0);
        } else {
            folder.Write(name, text);
        }
    }
}

TEST_P(PlayerMistake, FirstLineAndStatus) {
    testing_support::TempFolder folder;
    Lay(folder, GetParam());
    zk::check::Options options;
    options.PluginDir = folder.Path() + GetParam().Checked;
    if (*GetParam().Exe) options.Exe = folder.Path() + GetParam().Exe;
    const zk::check::Result result = RunIn(options);
    const std::string text = WithoutFolder(zk::check::RenderText(result), folder.Path());
    EXPECT_EQ(text.substr(0, text.find('\n')), GetParam().FirstLine) << text;
    EXPECT_EQ(zk::check::ExitStatus(result), GetParam().Status);
}

using fix_faults::Snapshot;

// Each mistake --fix mends: a check alone writes nothing; the fix makes the check
// made again give the row's line; the backup holds every file that changed or
// moved, byte for byte; a second --fix changes nothing and makes no backup.
TEST_P(PlayerMistake, FixedAsMarked) {
    testing_support::TempFolder folder;
    Lay(folder, GetParam());
    zk::check::Options options;
    options.PluginDir = folder.Path() + GetParam().Checked;
    const auto before = Snapshot(folder.Path());
    const zk::check::Result checked = RunIn(options);
    EXPECT_EQ(Snapshot(folder.Path()), before) << "a check without --fix wrote something";
    if (GetParam().AfterFix == nullptr) {  // none is certain: nothing marked, nothing to do
        EXPECT_EQ(zk::check::FixableCount(checked), 0u) << zk::check::RenderText(checked);
        EXPECT_TRUE(checked.Fixes.empty());
        return;
    }
    EXPECT_GT(zk::check::FixableCount(checked), 0u) << zk::check::RenderText(checked);
    EXPECT_NE(zk::check::RenderText(checked).find("[fix] "), std::string::npos);

    const zk::check::FixOutcome outcome = zk::check::MakeFixes(checked);
    const zk::check::Result after = RunIn(options);
    EXPECT_EQ(WithoutFolder(zk::check::Verdict(after), folder.Path()), GetParam().AfterFix)
        << zk::check::RenderFixText(outcome, after);
    EXPECT_EQ(outcome.Refused, "");
    EXPECT_FALSE(outcome.Stopped);
    ASSERT_FALSE(outcome.Backup.empty());
    const std::string game = checked.GameFolder.substr(folder.Path().size());  // "Game/"
    const auto backup = Snapshot(outcome.Backup);
    const auto now = Snapshot(folder.Path());
    std::size_t changed = 0;
    for (const auto& [path, bytes] : before) {
        if (path.back() == '/' || (now.count(path) != 0 && now.at(path) == bytes)) continue;
        ++changed;
        ASSERT_EQ(path.rfind(game, 0), 0u) << path;
        const auto copy = backup.find(path.substr(game.size()));
        ASSERT_NE(copy, backup.end()) << path << " changed or moved, and the backup lacks it";
        EXPECT_EQ(copy->second, bytes) << path;
    }
    EXPECT_GT(changed, 0u);
    std::size_t copies = 0;
    for (const auto& [path, bytes] : backup) copies += path.back() != '/';
    EXPECT_EQ(copies, outcome.BackedUp);

    const zk::check::FixOutcome again = zk::check::MakeFixes(RunIn(options));
    EXPECT_TRUE(again.Fixes.empty());
    EXPECT_EQ(again.Backup, "");
    EXPECT_EQ(Snapshot(folder.Path()), now) << "a second --fix changed something";
}

// What --fix leaves alone, and when it changes nothing at all.
TEST(Fix, LeavesAloneWhatChangedSinceTheCheckAndRefusesAReadOnlyFile) {
    testing_support::TempFolder folder;
    folder.Write("Game/ZorbelKavrin.asi", "");
    folder.Write("Game/ZorbelKavrin.ini", "[GENERAL]\rForceLodA=1\r");
    folder.Write("Game/KavrinCars/A.ini.txt", kCar);
    zk::check::Options options;
    options.PluginDir = folder.Path() + "Game";
    // Saved again by the player between the check and the fix: left alone, named.
    zk::check::Result result = RunIn(options);
    ASSERT_EQ(result.Fixes.size(), 2u);
    folder.Write("Game/ZorbelKavrin.ini", "[GENERAL]\nForceLodA=0\n");
    zk::check::FixOutcome outcome = zk::check::MakeFixes(result);
    ASSERT_EQ(outcome.Fixes.size(), 2u);
    EXPECT_FALSE(outcome.Fixes[0].Made);
    EXPECT_EQ(outcome.Fixes[0].Why, "left alone: it changed since it was checked");
    EXPECT_TRUE(outcome.Fixes[1].Made) << outcome.Fixes[1].Why;
    EXPECT_EQ(ReadFile(folder.Path() + "Game/ZorbelKavrin.ini"), "[GENERAL]\nForceLodA=0\n");
    EXPECT_EQ(ReadFile(folder.Path() + "Game/KavrinCars/A.ini"), kCar);
    EXPECT_EQ(ReadFile(outcome.Backup + "KavrinCars/A.ini.txt"), kCar);

    // A file to replace that is read-only: nothing at all, and why.
    folder.Write("Game/ZorbelKavrin.ini", "[GENERAL]\rForceLodA=1\r");
    ASSERT_EQ(chmod((folder.Path() + "Game/ZorbelKavrin.ini").c_str(), 0444), 0);
    const auto before = Snapshot(folder.Path());
    outcome = zk::check::MakeFixes(RunIn(options));
    EXPECT_EQ(WithoutFolder(outcome.Refused, folder.Path()),
              "nothing was changed: Game/ZorbelKavrin.ini is read-only: clear Read-only in its Properties and run "
              "this again");
    EXPECT_EQ(Snapshot(folder.Path()), before);
    ASSERT_EQ(chmod((folder.Path() + "Game/ZorbelKavrin.ini").c_str(), 0644), 0);

    // Backup folders of that name already there: another name, and theirs untouched.
    std::vector<std::string> taken;
    for (int second = 0; second < 3; ++second) {
        const std::time_t when = std::time(nullptr) + second;
        std::tm local{};
        localtime_r(&when, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
        taken.push_back("Game/ZorbelKavrin-backup-" + std::string(stamp) + "/");
        folder.Write(taken.back() + "ZorbelKavrin.ini", "theirs");
    }
    outcome = zk::check::MakeFixes(RunIn(options));
    ASSERT_EQ(outcome.Refused, "");
    const std::string made = outcome.Backup.substr(folder.Path().size());
    EXPECT_EQ(std::find(taken.begin(), taken.end(), made), taken.end()) << made;
    EXPECT_EQ(ReadFile(outcome.Backup + "ZorbelKavrin.ini"), "[GENERAL]\rForceLodA=1\r");
    for (const std::string& theirs : taken) EXPECT_EQ(ReadFile(folder.Path() + theirs + "ZorbelKavrin.ini"), "theirs");
}

TEST(Fix, NothingLostWhereverAChangeFails) {
    testing_support::TempFolder folder;
    fix_faults::ExpectNothingLostAtAnyFailure(folder.Path());
}

INSTANTIATE_TEST_SUITE_P(Folders, PlayerMistake, testing::ValuesIn(player_mistakes::PlayerMistakes()),
                         [](const testing::TestParamInfo<Mistake>& info) { return std::string(info.param.Name); });

// ---- Versions ----

TEST(Check, PluginsAndOtherAsiFilesAreListedWithTheirVersions) {
    testing_support::TempFolder folder;
    testing_support::PeSample other;
    other.Version[0] = 2, other.Version[1] = 1, other.Version[2] = 0, other.Version[3] = 3;
    folder.Write("Game/scripts/ZorbelKavrin.asi", PluginOfVersion(1, 0, 0));
    folder.Write("Game/scripts/Widescreen.asi", testing_support::MakePe(other));
    folder.Write("Game/plugins/Broken.asi", std::string("MZ\0\0", 4));
    folder.Write("Game/Readme.txt", "not a plugin");
    zk::check::Options options;
    options.PluginDir = folder.Path() + "Game";
    const zk::check::Result result = RunIn(options);
    const std::string text = WithoutFolder(zk::check::RenderText(result), folder.Path());
    EXPECT_NE(text.find("\nPlugin: Game/scripts/ZorbelKavrin.asi (version 1.0.0)\n"
                        "Other plugins the ASI loader loads with it (the first to remove when the game misbehaves): 2\n"
                        "  Game/plugins/Broken.asi (no version: truncated inside its DOS header)\n"
                        "  Game/scripts/Widescreen.asi (version 2.1.0.3)\n"),
              std::string::npos) << text;
    const std::string json = WithoutFolder(zk::check::RenderJson(result), folder.Path());
    EXPECT_NE(json.find("\"plugin_versions\": [{\"version\": \"1.0.0\"}], \"checker_version\": \"1.0.0\", "
                        "\"other_plugins\": [{\"path\": \"Game/plugins/Broken.asi\", \"version\": {\"version\": null, "
                        "\"problem\": \"truncated inside its DOS header\"}}, {\"path\": \"Game/scripts/Widescreen.asi\", "
                        "\"version\": {\"version\": \"2.1.0.3\"}}]"),
              std::string::npos) << json;
}

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(zk::check::Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(zk::check::Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first block.
    EXPECT_EQ(zk::check::Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(zk::check::Sha256Hex(std::string(55, 'a')), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(zk::check::Sha256Hex(std::string(64, 'a')), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
    EXPECT_EQ(zk::check::Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PieceByPieceIsTheSameDigest) {
    std::string text;
    for (int i = 0; i < 300; ++i) text.push_back(static_cast<char>(i * 7 + 3));
    const std::string whole = zk::check::Sha256Hex(text);
    for (std::size_t piece = 1; piece <= 130; ++piece) {
        zk::check::Sha256 digest;
        for (std::size_t at = 0; at < text.size(); at += piece) {
            zk::check::AddToSha256(digest, text.data() + at, std::min(piece, text.size() - at));
        }
        EXPECT_EQ(zk::check::FinishSha256(digest), whole) << piece;
    }
}

// A DLL is read piece by piece (kPieceBytes) to find the .asi names of an ASI
// loader: a name split between two pieces, or at the very end, is still found,
// and a longer word split there is not taken for one.
TEST(AsiLoader, NamesAcrossPiecesAndAtTheEnd) {
    using zk::check::kPieceBytes;
    testing_support::TempFolder folder;
    const std::string wide("\0.\0a\0s\0i\0", 9);
    struct Case {
        std::string Name;
        std::size_t Size;    // of the file
        std::size_t At;      // where the name's text starts
        std::string Text;
        bool Loader;
    };
    std::vector<Case> cases;
    for (std::size_t back = 1; back <= 10; ++back) {
        const std::string n = std::to_string(back);
        cases.push_back({"narrow" + n, 2 * kPieceBytes + 10, kPieceBytes - back, "x.asi ", true});
        cases.push_back({"wide" + n, 2 * kPieceBytes + 10, kPieceBytes - back, wide + std::string(2, '\0'), true});
        cases.push_back({"longer" + n, 2 * kPieceBytes + 10, kPieceBytes - back, "x.asix", false});
        cases.push_back({"widelonger" + n, 2 * kPieceBytes + 10, kPieceBytes - back, wide + "x", false});
    }
    cases.push_back({"end", kPieceBytes + 100, kPieceBytes + 95, "x.ASI", true});
    cases.push_back({"endOfAWholePiece", kPieceBytes, kPieceBytes - 4, ".asi", true});
    cases.push_back({"wideAtTheEnd", 2 * kPieceBytes, 2 * kPieceBytes - 8, wide.substr(1), true});
    cases.push_back({"none", 2 * kPieceBytes + 10, kPieceBytes - 3, "x.as", false});
    for (const Case& c : cases) {
        std::string bytes(c.Size, '\0');
        bytes.replace(c.At, c.Text.size(), c.Text);
        bytes.resize(c.Size);
        folder.Write(c.Name + ".dll", bytes);
        EXPECT_EQ(zk::check::LoadsAsiFiles(folder.Path() + c.Name + ".dll"), c.Loader) << c.Name;
        EXPECT_EQ(zk::check::MentionsAsiFiles(bytes, false), c.Loader) << c.Name << ", whole";
    }
    EXPECT_FALSE(zk::check::LoadsAsiFiles(folder.Path() + "missing.dll"));
}

TEST(PeVersion, ReadFromTheVersionResource) {
    using testing_support::MakePe;
    using testing_support::PeSample;
    const auto with = [](void (*change)(PeSample&)) {
        PeSample sample;
        change(sample);
        return MakePe(sample);
    };
    const std::string good = MakePe({});
    struct Row {
        const char* What;
        std::string Bytes;
        const char* Version;
        const char* Problem;
    };
    const Row rows[] = {
        {"the plugin's own shape", good, "1.0.0", ""},
        {"four parts", with([](PeSample& s) { s.Version[0] = 2, s.Version[1] = 3, s.Version[2] = 4, s.Version[3] = 5; }),
         "2.3.4.5", ""},
        {"the largest parts", with([](PeSample& s) { for (auto& part : s.Version) part = 0xFFFF; }),
         "65535.65535.65535.65535", ""},
        {"an empty file", "", "", "the file is empty"},
        {"a text file", "[GENERAL]\n", "", "not a Windows program (no MZ header)"},
        {"cut inside the DOS header", good.substr(0, 0x3F), "", "truncated inside its DOS header"},
        {"cut before the PE header", good.substr(0, 0x50), "", "truncated before its PE header"},
        {"no PE signature", std::string(good).replace(0x40, 2, "NE"), "", "not a Windows program (no PE signature)"},
        {"an unknown optional header", with([](PeSample& s) { s.Magic = 0x107; }), "",
         "not a Windows program (unknown optional header)"},
        {"no resources at all", with([](PeSample& s) { s.Resources = false; }), "",
         "no version resource (no resources at all)"},
        {"resources, none of them a version", with([](PeSample& s) { s.ResourceType = 3; }), "", "no version resource"},
        {"resources beyond the file's end", with([](PeSample& s) { s.SectionRaw = 0x10000; }), "",
         "its resource directory lies outside the file"},
        {"cut inside the version data", good.substr(0, 0x260), "", "its version resource is damaged (its data lies outside the file)"},
        {"data entry pointing elsewhere", with([](PeSample& s) { s.DataOffset = 0x58 + 0x200; }), "",
         "its version resource is damaged (its data lies outside the file)"},
        {"data running past the section's raw size, still inside the file",
         with([](PeSample& s) { s.SectionRawSize = 0x80; }), "",
         "its version resource is damaged (its data lies outside the file)"},
        {"a length beyond its data", with([](PeSample& s) { s.Length = 0x5D; }), "",
         "its version resource is damaged (odd lengths)"},
        {"a length shorter than its key", with([](PeSample& s) { s.Length = 37; }), "",
         "its version resource is damaged (odd lengths)"},
        {"the shortest length that holds its key", with([](PeSample& s) { s.Length = 38; }), "",
         "its version resource is damaged (fixed part too short)"},
        {"no fixed part", with([](PeSample& s) { s.ValueLength = 0; }), "", "its version resource has no fixed part"},
        {"a fixed part one byte short", with([](PeSample& s) { s.ValueLength = 51; }), "",
         "its version resource is damaged (fixed part too short)"},
        {"a fixed part with another signature", with([](PeSample& s) { s.Signature = 0xFEEF04BC; }), "",
         "its version resource is damaged (bad signature)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.What);
        const zk::check::PeVersion version = zk::check::ReadPeVersion(row.Bytes);
        EXPECT_EQ(version.Version, row.Version);
        EXPECT_EQ(version.Problem, row.Problem);
    }
    EXPECT_FALSE(zk::check::VersionsDiffer("1.0.0", "1.0.0.0"));
    EXPECT_FALSE(zk::check::VersionsDiffer("1.2", "1.2.0"));
    EXPECT_TRUE(zk::check::VersionsDiffer("1.0.0", "1.0.1"));
    EXPECT_TRUE(zk::check::VersionsDiffer("1.0.0.1", "1.0.0"));
    EXPECT_TRUE(zk::check::VersionsDiffer("10.0", "1.0"));
}

// ---- The exe check ----

zk::check::ExeCheck CheckExe(const std::string& path) {
    zk::check::Options options;
    options.PluginDir = "empty";
    options.Exe = path;
    const zk::check::Result result = RunIn(options);
    EXPECT_TRUE(result.CheckedExe);
    EXPECT_EQ(zk::check::ExitStatus(result), result.Exe.Supported ? 0 : 2);
    return result.Exe;
}

TEST(ExeCheck, ARealPe32OfAnotherProgramIsNotSupported) {
    const auto exe = CheckExe("/usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe");
    EXPECT_EQ(exe.Error, "");
    EXPECT_TRUE(exe.HasEntryPoint);
    EXPECT_FALSE(exe.Supported);
    EXPECT_NE(exe.EntryPoint, 0u);
}

TEST(ExeCheck, ARealPe32PlusIsA64BitProgram) {
    const auto exe = CheckExe("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe");
    EXPECT_EQ(exe.Error, "a 64-bit (PE32+) executable; the game is a 32-bit program");
    EXPECT_FALSE(exe.HasEntryPoint);
}

TEST(ExeCheck, GarbageMissingAndTruncatedFiles) {
    testing_support::TempFolder folder;
    folder.Write("garbage.exe", "this is not an executable at all");
    folder.Write("truncated.exe",
                 ReadFile("/usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe").substr(0, 0x90));
    EXPECT_EQ(CheckExe(folder.Path() + "garbage.exe").Error, "not a Windows executable (no MZ header)");
    EXPECT_EQ(CheckExe(folder.Path() + "missing.exe").Error, "the file does not exist");
    EXPECT_EQ(CheckExe(folder.Path() + "truncated.exe").Error.rfind("truncated:", 0), 0u);
}

TEST(ExeCheck, TheSupportedEntryPoint) {
    std::string exe = ReadFile("/usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe");
    ASSERT_GT(exe.size(), 0x200u);
    std::uint32_t lfanew;
    std::memcpy(&lfanew, &exe[0x3C], 4);
    const std::uint32_t entry = 0x428C25;
    std::memcpy(&exe[lfanew + 0x28], &entry, 4);
    testing_support::TempFolder folder;
    folder.Write("game.exe", exe);
    const auto check = CheckExe(folder.Path() + "game.exe");
    EXPECT_TRUE(check.Supported);
    EXPECT_EQ(check.EntryPoint, 0x428C25u);
}

// ---- --dump-ini ----

TEST(DumpIni, TheParsedDocumentInStoredOrder) {
    EXPECT_EQ(zk::check::DumpIniJson(std::string(ZK_TEST_DATA) + "/ini/comments.ini"),
              ReadFile(kCheck + "dump-comments.json"));
    EXPECT_EQ(zk::check::DumpIniJson(kCheck + "nothing-here.ini"), "{\"found\": false, \"sections\": []}\n");
}

TEST(DumpIni, BytesThatAreNotUtf8) {
    testing_support::TempFolder folder;
    folder.Write("x.ini", "[Caf\xE9]\n\xC3\xA9t\xC3\xA9=\xFF\x01\n");
    EXPECT_EQ(zk::check::DumpIniJson(folder.Path() + "x.ini"),
              "{\"found\": true, \"sections\": [{\"name\": \"Caf\\u00E9\", \"keys\": "
              "[{\"key\": \"\xC3\xA9t\xC3\xA9\", \"value\": \"\\u00FF\\u0001\"}]}]}\n");
}

// ---- JSON ----

TEST(Json, StringsEscapeWhatIsNotUtf8) {
    using zk::json::String;
    EXPECT_EQ(String("plain"), "\"plain\"");
    EXPECT_EQ(String("q\"b\\n\n\r\t\x01\x7F"), "\"q\\\"b\\\\n\\n\\r\\t\\u0001\\u007F\"");
    EXPECT_EQ(String("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x9A\x97"), "\"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x9A\x97\"");
    EXPECT_EQ(String("Caf\xE9"), "\"Caf\\u00E9\"");
    EXPECT_EQ(String("\xC0\xAF"), "\"\\u00C0\\u00AF\"");              // overlong
    EXPECT_EQ(String("\xE0\x80\xAF"), "\"\\u00E0\\u0080\\u00AF\"");   // overlong
    EXPECT_EQ(String("\xED\xA0\x80"), "\"\\u00ED\\u00A0\\u0080\"");   // surrogate
    EXPECT_EQ(String("\xF4\x90\x80\x80"), "\"\\u00F4\\u0090\\u0080\\u0080\"");  // beyond U+10FFFF
    EXPECT_EQ(String("\xE4\xB8"), "\"\\u00E4\\u00B8\"");              // cut short
    EXPECT_EQ(String(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

TEST(Json, FloatsReadBackAsTheSameFloat) {
    using zk::json::Float;
    EXPECT_EQ(Float(340.0f), "340");
    EXPECT_EQ(Float(0.1f), "0.1");
    EXPECT_EQ(Float(1e30f), "1e+30");
    EXPECT_EQ(Float(-0.0f), "-0");
    EXPECT_EQ(Float(std::numeric_limits<float>::infinity()), "\"inf\"");
    EXPECT_EQ(Float(-std::numeric_limits<float>::infinity()), "\"-inf\"");
    EXPECT_EQ(Float(std::nanf("")), "\"nan\"");
    std::uint32_t bits = 0x00000001;
    for (int i = 0; i < 2000; ++i, bits = bits * 2654435761u + 12345u) {
        float value;
        std::memcpy(&value, &bits, 4);
        if (!std::isfinite(value)) continue;
        const float back = static_cast<float>(std::strtod(Float(value).c_str(), nullptr));
        EXPECT_EQ(std::memcmp(&back, &value, 4), 0) << Float(value);
    }
}

// ---- The command line ----

int RunCommand(const std::string& arguments) {
    const std::string command = "cd '" + kCheck + "' && '" + ZK_CHECK_BINARY + "' " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CommandLine, ExitStatuses) {
    EXPECT_EQ(RunCommand("--plugin-dir clean"), 0);
    EXPECT_EQ(RunCommand("--plugin-dir mistakes --json"), 1);
    EXPECT_EQ(RunCommand("--plugin-dir clean --exe /usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe"), 2);
    EXPECT_EQ(RunCommand("--plugin-dir no-such-folder"), 2);
    EXPECT_EQ(RunCommand("--dump-ini ../ini/keys.ini"), 0);
    EXPECT_EQ(RunCommand("--dump-ini missing.ini"), 2);
    EXPECT_EQ(RunCommand("--bogus"), 2);
    EXPECT_EQ(RunCommand("--plugin-dir"), 2);
    EXPECT_EQ(RunCommand("--help"), 0);
}

// The checker's std::terminate handler: the library's words, then abort.
template <class Thrown>
void Raise(Thrown thrown) { throw thrown; }

TEST(CommandLine, AnEscapingExceptionEndsWithTheLibrarysMessage) {
    std::set_terminate(zk::check::PrintTerminateMessage);
    EXPECT_DEATH([]() noexcept { Raise(std::bad_alloc()); }(),
                 "^terminate called after throwing an instance of 'St9bad_alloc'\n  what\\(\\):  std::bad_alloc\n$");
    EXPECT_DEATH([]() noexcept { Raise(std::runtime_error("the report")); }(),
                 "instance of 'St13runtime_error'\n  what\\(\\):  the report\n$");
    EXPECT_DEATH([]() noexcept { Raise(7); }(), "^terminate called after throwing an instance of 'i'\n$");
    EXPECT_DEATH(std::terminate(), "^terminate called without an active exception\n$");
}

TEST(CommandLine, DefaultsToTheCurrentFolder) {
    const std::string command = "cd '" + kCheck + "clean' && '" + ZK_CHECK_BINARY + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256] = {};
    ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
    pclose(pipe);
    EXPECT_EQ(Relative(line), "OK: the plugin in clean/ will use the settings below, and nothing here looks like a mistake\n");
}

}  // namespace
