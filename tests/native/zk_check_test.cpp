// The settings checker: its report on small example folders (golden files beside
// them), its exit status, the exe check, and the JSON it writes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "check.h"
#include "json.h"
#include "test_support.h"

using testing_support::ReadFile;

namespace {

const std::string kCheck = std::string(ZK_TEST_DATA) + "/check/";

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
    EXPECT_EQ(zk::check::RenderText(result), ReadFile(kCheck + GetParam().Name + ".txt"));
    EXPECT_EQ(zk::check::RenderJson(result), ReadFile(kCheck + GetParam().Name + ".json"));
    EXPECT_EQ(zk::check::ExitStatus(result), GetParam().Status);
}

INSTANTIATE_TEST_SUITE_P(Examples, CheckedFolder,
                         testing::Values(Case{"clean", 0}, Case{"mistakes", 1}, Case{"empty", 0},
                                         Case{"nokey", 1}, Case{"cr_only", 1}, Case{"shadowed", 1},
                                         Case{"wide", 2}, Case{"wide32", 2}, Case{"pasted", 1}),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.Name); });

TEST(Check, TheShippedExamplesAreClean) {
    zk::check::Options options;
    options.PluginDir = std::string(ZK_TEST_DATA) + "/../../../examples";
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
    EXPECT_EQ(result.Errors[0], "cannot list the plugin folder no-such-folder");
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
    EXPECT_EQ(CheckExe(folder.Path() + "missing.exe").Error, "cannot read the file");
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

TEST(CommandLine, DefaultsToTheCurrentFolder) {
    const std::string command = "cd '" + kCheck + "clean' && '" + ZK_CHECK_BINARY + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256] = {};
    ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
    pclose(pipe);
    EXPECT_STREQ(line, "Settings file: ./ZorbelKavrin.ini (found)\n");
}

}  // namespace
