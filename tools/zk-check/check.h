// zk-check: what the plugin will make of a player's settings folder, by the
// plugin's own settings and registry code, and what in it looks like a mistake.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/os.h"
#include "pe_version.h"
#include "settings/global_settings.h"
#include "settings/ini_document.h"

namespace zk::check {

// This checker's own version, which the plugin beside it should have too.
extern const char* const kCheckerVersion;

struct Options {
    // The plugin's folder or the game's, as the user wrote it (UTF-8).
    std::string PluginDir = ".";
    std::string Exe;              // empty: no exe check
    bool Json = false;
};

struct Warning {
    std::string File;
    std::size_t Line = 0;  // 0: the warning is about the file or entry as a whole
    std::string Message;
};

struct Car {
    std::string Name;
    bool ForceLodA = false;
    bool Folder = false;
};

struct ExeCheck {
    std::string Path;
    bool Supported = false;
    bool HasEntryPoint = false;
    std::uint32_t EntryPoint = 0;
    std::string Error;
};

// Another .asi file the loader loads with the plugin.
struct OtherPlugin {
    std::string Path;
    PeVersion Version;
};

struct Result {
    std::string PluginFolder;          // the folder the plugin reads, in full
    std::vector<std::string> Plugins;  // every copy of the plugin an ASI loader loads
    std::vector<PeVersion> PluginVersions;  // of each copy, in the same order
    std::vector<OtherPlugin> OtherPlugins;  // from the same folders
    std::string SumsFile;                 // the package's checksum list, when the game folder has one
    std::size_t SumsMatched = 0;          // files that match it (settings files are not compared)
    std::vector<std::string> SumsDiffer;  // files that do not
    bool LookedForLoaders = false;     // the game folder was found (it holds an .exe)
    std::vector<std::string> Loaders;  // its DLLs that load .asi files
    bool UnderWine = false;
    std::string SettingsFile;
    bool SettingsFound = false;
    bool SettingsUnreadable = false;  // there, but it cannot be read
    GlobalSettingsRecord Global;  // as the plugin will hold them
    std::vector<Car> Cars;
    std::vector<Warning> Warnings;
    bool CheckedExe = false;
    ExeCheck Exe;
    std::vector<std::string> Errors;  // unreadable input
};

Result Run(const Options& options);

// 0 clean, 1 warnings only, 2 an error (unsupported exe, unreadable input, a
// broken install).
int ExitStatus(const Result& result);

// One line: all is well, or the first thing to fix and how many more there are.
std::string Verdict(const Result& result);

std::string RenderText(const Result& result);
std::string RenderJson(const Result& result);

// std::terminate's handler for the checker: the C++ library's own message ("terminate
// called after throwing an instance of '...'" and the what() text) on stderr, then
// abort. The type's name is as the run-time holds it, not demangled: the players'
// build carries no demangler (48 KB).
[[noreturn]] void PrintTerminateMessage();

// The parsed document of one file, sections and keys in stored order.
std::string DumpIniJson(const os::NativePath& path);
std::string DumpDocumentJson(bool found, const IniDocument& document);

}  // namespace zk::check
