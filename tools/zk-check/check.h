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
    bool Fix = false;             // make the fixes the report marks
};

struct Warning {
    std::string File;
    std::size_t Line = 0;  // 0: the warning is about the file or entry as a whole
    std::string Message;
    std::string Fix;       // what its fix does; empty: none
    std::string NoFix;     // why there is none, where one was looked for
};

// A change the checker is sure of, made only when asked (--fix): one file or folder.
struct Fix {
    enum class Kind { Rename, Rewrite, Move, Hide };
    Kind What = Kind::Rewrite;
    std::string From;         // in full
    std::string To;           // Rename, Move: where it goes, in full
    std::string Relative;     // From as the backup holds it: relative to its base
    std::string Base;         // the game folder, or (Hide) the VirtualStore folder
    bool Folder = false;      // Move: a whole folder
    bool Rewrites = false;    // Rewrite, and a Rename that rewrites too: Bytes is the new content
    std::string Bytes;
    std::string Seen;         // From's bytes as checked (files): a file changed since is left alone
    std::string Does;         // in words
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
    std::vector<std::string> ErrorFixes;  // per error: what its fix does, or empty
    std::string GameFolder;               // where the loader's folders start, in full
    std::vector<Fix> Fixes;               // in the order they are made
};

// What --fix did: the backup, each fix made or left, and the check made again.
struct FixOutcome {
    bool Attempted = false;
    std::string Refused;     // nothing was changed, and why (a folder that cannot be written)
    std::string Backup;      // the backup folder, in full
    std::size_t BackedUp = 0;  // files copied into it
    std::string HiddenBackup;  // the VirtualStore copies' folder
    struct Done {
        std::string What;    // the fix, in words
        bool Made = false;
        std::string Why;     // left alone, or stopped: why
    };
    std::vector<Done> Fixes;
    bool Stopped = false;     // a change failed midway: those after it are not made
    std::size_t Uncertain = 0;  // problems without a fix
};
FixOutcome MakeFixes(const Result& result);

Result Run(const Options& options);

// 0 clean, 1 warnings only, 2 an error (unsupported exe, unreadable input, a
// broken install).
int ExitStatus(const Result& result);

// One line: all is well, or the first thing to fix and how many more there are.
std::string Verdict(const Result& result);

std::string RenderText(const Result& result);
std::string RenderJson(const Result& result);
// How many problems of the report its fixes mend (0 when there are none to make).
std::size_t FixableCount(const Result& result);
// After --fix: what was done, then the verdict of the check made again.
std::string RenderFixText(const FixOutcome& outcome, const Result& after);
std::string RenderFixJson(const Result& before, const FixOutcome& outcome, const Result& after);

// std::terminate's handler for the checker: the C++ library's own message ("terminate
// called after throwing an instance of '...'" and the what() text) on stderr, then
// abort. The type's name is as the run-time holds it, not demangled: the players'
// build carries no demangler (48 KB).
[[noreturn]] void PrintTerminateMessage();

// The parsed document of one file, sections and keys in stored order.
std::string DumpIniJson(const os::NativePath& path);
std::string DumpDocumentJson(bool found, const IniDocument& document);

}  // namespace zk::check
