// zk-check --running: finds the running games and reads what the plugin's places
// hold there, with the rights sys.h names; Judge (live_judge.cpp) says what it
// means.
#include "live.h"

#include <algorithm>
#include <cstdio>

#include "check_parts.h"
#include "core/host_addresses.h"
#include "core/host_check.h"
#include "pe_image.h"

namespace zk::check::live {
namespace {

constexpr char kPluginPattern[] = "ZorbelKavrin*.asi";

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }


// The entry point as the plugin reads it from the main image in memory: e_lfanew
// at +0x3C, then the field 0x28 bytes after the NT headers.
bool ReadEntryPoint(const sys::Process& process, std::uint32_t base, std::uint32_t& entryPoint) {
    std::vector<std::uint8_t> bytes;
    if (!sys::ReadMemory(process, base + 0x3C, 4, bytes)) return false;
    const std::uint32_t lfanew = Little32(bytes);
    if (!sys::ReadMemory(process, base + lfanew + 0x28, 4, bytes)) return false;
    entryPoint = Little32(bytes);
    return true;
}

// A program that an ASI loader beside it has loaded into (one of its modules is a
// DLL of its own folder that names .asi files), with a copy of the plugin where
// that loader looks, but no plugin loaded: the plugin refused it, or the loader
// did not load it. (Another program of the game's folders, such as this checker,
// loads no loader.)
bool LoaderFoundPlugin(const std::string& exe, const std::vector<Module>& modules) {
    const std::string game = FolderOf(exe);
    bool plugin = false;
    for (const char* sub : {"", "scripts", "plugins"}) {
        const std::string folder = game + sub + (*sub ? std::string(1, kSeparator) : "");
        plugin = plugin || !sys::MatchingNames(folder, kPluginPattern).empty();
    }
    if (!plugin) return false;
    for (std::size_t i = 1; i < modules.size(); ++i) {
        const std::string& path = modules[i].Path;
        if (Fold(FolderOf(path)) == Fold(game) && EndsWith(Fold(path), ".dll") && LoadsAsiFiles(path)) return true;
    }
    return false;
}

bool FileIsSupportedBuild(const std::string& exe) {
    std::string headers;
    return ReadProgramHeaders(exe, headers) && CheckHostFile(headers).Supported;
}

// The game's file as the loader maps it, or why it cannot be compared.
std::string ReadLayout(const std::string& exe, PeLayout& layout) {
    std::string headers;
    std::size_t needed = 4096;
    std::string problem;
    for (int attempt = 0; attempt < 2 && needed > 0; ++attempt) {
        if (!sys::ReadFileAt(exe, 0, needed, headers)) {
            return CannotRead("the game's file", sys::WhyUnreadable(exe));
        }
        const std::size_t had = headers.size();
        problem = ReadPeLayout(headers, layout, &needed);
        if (needed <= had) break;
    }
    return problem.empty() ? "" : "the game's file is damaged: " + problem;
}

// A place's bytes in the game's memory and in its file; problem: why the file
// gives none, when it has a layout but not these bytes.
SiteReading Read(const sys::Process& process, const std::string& exe, const PeLayout* layout,
                 const PatchSite& site, std::string& problem) {
    SiteReading reading;
    reading.Readable = sys::ReadMemory(process, site.Address, site.Width, reading.Live);
    if (layout == nullptr) return reading;
    std::uint64_t offset = 0;
    std::uint32_t fromFile = 0;
    std::string bytes;
    if (!MappedSpan(*layout, site.Address, site.Width, &offset, &fromFile)) {
        problem = "the game's file is damaged: no section of it holds " + Hex32(site.Address);
    } else if (!sys::ReadFileAt(exe, offset, fromFile, bytes)) {
        problem = CannotRead("the game's file", sys::WhyUnreadable(exe));
    } else if (bytes.size() != fromFile) {
        problem = "the game's file is damaged: it ends before the data of its sections (truncated)";
    } else {
        reading.HasFile = true;
        reading.File.assign(bytes.begin(), bytes.end());
        reading.File.resize(site.Width, 0);
    }
    return reading;
}

}  // namespace

std::vector<Candidate> FindGames() {
    std::vector<Candidate> games;
    for (const std::uint32_t id : sys::ProcessIds()) {
        Candidate candidate;
        if (sys::OpenToQuery(id, candidate.Process) != sys::Opened::Yes) continue;
        candidate.Read = sys::OpenToRead(candidate.Process);
        bool game = false;
        if (candidate.Read == sys::Opened::Yes) {
            std::vector<sys::ProcessModule> modules;
            if (!sys::ListModules(candidate.Process, modules)) continue;  // ending, or not started yet
            for (const sys::ProcessModule& module : modules) {
                candidate.Modules.push_back({module.Path, module.Base, module.Size});
                game = game || IsPluginModule(module.Path);
            }
            candidate.HasEntryPoint =
                ReadEntryPoint(candidate.Process, candidate.Modules[0].Base, candidate.EntryPoint);
            game = game || (candidate.HasEntryPoint && candidate.EntryPoint == SupportedEntryPointRva) ||
                   LoaderFoundPlugin(candidate.Process.Path, candidate.Modules);
        } else if (candidate.Read == sys::Opened::Denied) {
            game = FileIsSupportedBuild(candidate.Process.Path);  // all there is to go by
        }
        if (game) games.push_back(std::move(candidate));
    }
    std::sort(games.begin(), games.end(),
              [](const Candidate& a, const Candidate& b) { return a.Process.Id < b.Process.Id; });
    return games;
}

Game ReadGame(Candidate& candidate) {
    const sys::Process& process = candidate.Process;
    Game game;
    game.Id = process.Id;
    game.Exe = process.Path;
    if (candidate.Read == sys::Opened::Denied) {
        game.Looked = Outcome::Denied;
        Judge(game);
        return game;
    }
    game.Modules = candidate.Modules;
    game.HasEntryPoint = candidate.HasEntryPoint;
    game.EntryPoint = candidate.EntryPoint;
    game.Supported = game.HasEntryPoint && game.EntryPoint == SupportedEntryPointRva;
    std::size_t last = game.Modules.size();  // the copy loaded last, whose changes stand
    for (std::size_t i = 0; i < game.Modules.size(); ++i) {
        const Module& module = game.Modules[i];
        game.IsPlugin.push_back(IsPluginModule(module.Path));
        if (game.IsPlugin.back()) last = i;
        game.Versions.push_back(i > 0 && IsAsiModule(module.Path) ? VersionOf(module.Path) : PeVersion{});
    }

    // The folder check of the game's folder, then the settings beside the plugin.
    Options options;
    options.PluginDir = FolderOf(game.Exe);
    game.Folder = Run(options);
    for (const std::string& copy : game.Folder.Plugins) {
        if (Fold(FolderOf(copy)) == Fold(game.Folder.PluginFolder) && game.FolderPick.empty()) game.FolderPick = copy;
    }
    const std::string settingsFolder =
        last < game.Modules.size() ? FolderOf(game.Modules[last].Path) : game.Folder.PluginFolder;
    os::UsePluginFolder(os::PathFromUtf8(settingsFolder));
    game.Settings = LoadSettings().Global;
    os::UsePluginFolder(os::NativePath());
    game.SettingsFile = settingsFolder + kSettingsFileName;
    std::uint64_t written = 0;
    game.SettingsFound = sys::FileWriteTime(game.SettingsFile, written);
    game.SettingsChanged = !game.SettingsFound || written > process.StartTime;

    PeLayout layout;
    game.FileProblem = ReadLayout(game.Exe, layout);
    const PeLayout* shipped = game.FileProblem.empty() ? &layout : nullptr;
    bool complete = true;
    for (const PatchSite& place : PlanSites()) {
        std::string problem;
        game.Sites.push_back({place, Read(process, game.Exe, shipped, place, problem), {}});
        complete = complete && game.Sites.back().Reading.Readable;
        if (game.FileProblem.empty()) game.FileProblem = problem;
    }
    for (Site& site : game.Sites) {
        if (!game.FileProblem.empty()) site.Reading.HasFile = false;  // all compared, or none
        site.Verdict =
            ClassifySite(site.Place, site.Reading, game.Modules, game.IsPlugin, game.Settings.FrontSteerAngle);
    }
    if (!complete && sys::HasEnded(process)) game.Looked = Outcome::Ended;
    Judge(game);
    return game;
}

LiveResult RunLive() {
    LiveResult result;
    result.Available = sys::CanLookIntoPrograms();
    for (Candidate& candidate : FindGames()) result.Games.push_back(ReadGame(candidate));
    return result;
}

}  // namespace zk::check::live
