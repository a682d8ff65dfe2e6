// zk-check --running: what the plugin did inside a running game, read from the
// game's memory (never written), beside the game's file on disk and the settings
// file beside the loaded plugin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "patches/patch_sites.h"
#include "settings/global_settings.h"
#include "sys.h"

namespace zk::check::live {

// A 32-bit little-endian value of bytes read from the game, at `at`; and the float
// whose bits it is.
inline std::uint32_t Little32(const std::vector<std::uint8_t>& bytes, std::size_t at = 0) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
}
float BytesFloat(const std::vector<std::uint8_t>& bytes);

// ---- One place of the start-up, classified ----

struct Module {
    std::string Path;
    std::uint32_t Base = 0;
    std::uint32_t Size = 0;
    bool Holds(std::uint32_t address) const { return address >= Base && address - Base < Size; }
};

enum class SiteState {
    Plugin,      // as this plugin writes it (a CALL or JMP: into a copy of the plugin)
    Shipped,     // as the game's file has it
    Other,       // changed by something else
    NotPlugin,   // not as this plugin writes it; the game's file cannot tell whose it is
    Unreadable,  // the game's memory there cannot be read
};

struct SiteReading {
    bool Readable = false;
    std::vector<std::uint8_t> Live;
    bool HasFile = false;  // the game's file gives the bytes it ships there
    std::vector<std::uint8_t> File;
};

struct SiteVerdict {
    SiteState State = SiteState::Unreadable;
    bool Leads = false;        // the live bytes are a relative CALL or JMP
    std::uint32_t Target = 0;  // where it leads
    int Into = -1;             // the module that holds Target, or -1 for none
};

// modules: the game's modules; plugins: which of them are copies of the plugin;
// steer: the steering angle the plugin would write now (the settings file's).
SiteVerdict ClassifySite(const PatchSite& site, const SiteReading& reading, const std::vector<Module>& modules,
                         const std::vector<bool>& plugins, float steer);

// ---- One running game ----

struct Site {
    PatchSite Place;
    SiteReading Reading;
    SiteVerdict Verdict;
};

enum class Outcome { Read, Denied, Ended };

struct Game {
    std::uint32_t Id = 0;
    std::string Exe;
    Outcome Looked = Outcome::Read;
    bool HasEntryPoint = false;
    std::uint32_t EntryPoint = 0;  // read from the game's own headers in memory
    bool Supported = false;
    std::vector<Module> Modules;  // the main image first
    std::vector<bool> IsPlugin;   // per module: a copy of ZorbelKavrin.asi
    std::vector<PeVersion> Versions;  // per module, for the plugin's copies and other .asi files
    std::string FileProblem;  // why the game's file gives no bytes to compare with
    std::vector<Site> Sites;
    // The settings file beside the loaded plugin (the last copy loaded), now.
    std::string SettingsFile;
    bool SettingsFound = false;
    bool SettingsChanged = false;  // written after the game started (or gone)
    GlobalSettingsRecord Settings;
    // The folder check of the game's folder: which copy it reads, the likely cause
    // when the plugin is not loaded.
    Result Folder;
    std::string FolderPick;  // the copy the folder check reads, or empty
    // Findings, by Judge.
    std::vector<std::string> Errors, Warnings;
};

// The modules that are copies of the plugin (ZorbelKavrin*.asi, as a loader loads
// renamed copies too) and the other .asi modules.
bool IsPluginModule(const std::string& path);
bool IsAsiModule(const std::string& path);

// What the readings of a game mean: its Errors and Warnings. Pure.
void Judge(Game& game);

// ---- All of them ----

struct LiveResult {
    bool Available = true;  // programs can be looked into here
    std::vector<Game> Games;
};

// The running 32-bit games: processes whose main image has the supported build's
// entry point, that hold a copy of the plugin, or whose folder holds one where an
// ASI loader loads it. Each is opened to be looked at (sys.h) and not read yet.
struct Candidate {
    sys::Process Process;
    sys::Opened Read = sys::Opened::Failed;  // the kReadAccess handle
    std::vector<Module> Modules;
    bool HasEntryPoint = false;
    std::uint32_t EntryPoint = 0;
};
std::vector<Candidate> FindGames();
Game ReadGame(Candidate& candidate);
LiveResult RunLive();

int ExitStatus(const LiveResult& result);
std::string Verdict(const LiveResult& result);
std::string RenderText(const LiveResult& result);
std::string RenderJson(const LiveResult& result);

}  // namespace zk::check::live
