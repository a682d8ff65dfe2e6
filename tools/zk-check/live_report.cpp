// The live check's report: the verdict line, the text a player reads and the JSON a
// script reads, in the folder check's style.
#include <cstdio>
#include <cstring>

#include "check_parts.h"
#include "json.h"
#include "live.h"

namespace zk::check::live {
namespace {


std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    return text;
}


std::string Label(const Game& game) { return FileNameOf(game.Exe) + " (PID " + std::to_string(game.Id) + ")"; }

std::string VersionText(const PeVersion& version) {
    return version.Version.empty() ? "no version: " + version.Problem : "version " + version.Version;
}

const char* StateName(SiteState state) {
    switch (state) {
        case SiteState::Plugin: return "plugin";
        case SiteState::Shipped: return "shipped";
        case SiteState::Other: return "other";
        case SiteState::NotPlugin: return "not-plugin";
        case SiteState::Unreadable: return "unreadable";
    }
    return "";
}

float LiveFloat(const Site& site) { return BytesFloat(site.Reading.Live); }

// Where a CALL or JMP leads, "ZorbelKavrin.asi+0x1560", or its address in no module.
std::string Destination(const Site& site, const Game& game) {
    if (site.Verdict.Into < 0) return Hex32(site.Verdict.Target) + ", in no module";
    const Module& module = game.Modules[static_cast<std::size_t>(site.Verdict.Into)];
    return FileNameOf(module.Path) + "+" + Hex32(site.Verdict.Target - module.Base);
}

std::string SiteText(const Site& site, const Game& game) {
    if (site.Place.Kind == SiteKind::SteerAngle) {
        const std::string value = " (" + FloatText(LiveFloat(site)) + ")";
        switch (site.Verdict.State) {
            case SiteState::Plugin: return std::string("as ") + kSettingsFileName + " says now" + value;
            case SiteState::Shipped: return "as the game shipped it" + value;
            case SiteState::Unreadable: return "cannot be read";
            default: return std::string("not what ") + kSettingsFileName + " says now" + value;
        }
    }
    std::string text;
    switch (site.Verdict.State) {
        case SiteState::Plugin: text = "as this plugin writes it"; break;
        case SiteState::Shipped: text = "as the game shipped it"; break;
        case SiteState::Other: text = "changed by something else"; break;
        case SiteState::NotPlugin: text = "not as this plugin writes it"; break;
        case SiteState::Unreadable: return "cannot be read";
    }
    if (site.Verdict.Leads && site.Verdict.State != SiteState::Shipped) text += ", into " + Destination(site, game);
    return text;
}

// What the game holds of one key, as its places show it.
std::string Held(const Game& game, const GlobalKey& key) {
    bool on = true, off = true, any = false;
    for (const Site& site : game.Sites) {
        if (key.Number != nullptr && site.Place.Kind == SiteKind::SteerAngle) {
            return site.Verdict.State == SiteState::Unreadable ? "cannot be read" : FloatText(LiveFloat(site));
        }
        if (key.Switch == nullptr || site.Place.Switch != key.Switch) continue;
        any = true;
        if (site.Verdict.State == SiteState::Unreadable) return "cannot be read";
        on = on && site.Verdict.State == SiteState::Plugin;
        off = off && site.Verdict.State != SiteState::Plugin;
    }
    if (!any) return "";
    return on ? "on" : off ? "off" : "in part";
}

std::string WantedText(const Game& game, const GlobalKey& key) {
    return key.Switch != nullptr ? (game.Settings.*key.Switch ? "on" : "off")
                                 : FloatText(game.Settings.*key.Number);
}

std::vector<std::string> Problems(const LiveResult& result) {
    std::vector<std::string> problems;
    for (const Game& game : result.Games) {
        for (const std::string& error : game.Errors) problems.push_back("ERROR: " + Label(game) + ": " + error);
    }
    for (const Game& game : result.Games) {
        for (const std::string& warning : game.Warnings) problems.push_back("WARNING: " + Label(game) + ": " + warning);
    }
    return problems;
}

}  // namespace

int ExitStatus(const LiveResult& result) {
    if (!result.Available || result.Games.empty()) return 2;
    int status = 0;
    for (const Game& game : result.Games) {
        if (!game.Errors.empty()) return 2;
        if (!game.Warnings.empty()) status = 1;
    }
    return status;
}

std::string Verdict(const LiveResult& result) {
    if (!result.Available) {
        return "ERROR: this zk-check cannot look into Windows programs: run zk-check.exe --running where the game "
               "runs (on Windows, or under Wine in the game's prefix)";
    }
    if (result.Games.empty()) return "no running game found: start the game, then run this again";
    const std::vector<std::string> problems = Problems(result);
    if (!problems.empty()) {
        const std::size_t more = problems.size() - 1;
        return problems[0] + (more ? " (" + std::to_string(more) + " more below)" : "");
    }
    const std::string where = result.Games.size() == 1 ? Label(result.Games[0])
                                                        : "all " + std::to_string(result.Games.size()) + " running games";
    return "OK: ZorbelKavrin is working in " + where + ": every place as it writes them, with the values " +
           kSettingsFileName + " gives now";
}

std::string RenderText(const LiveResult& result) {
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + "\n"; };
    line(Verdict(result));
    for (const Game& game : result.Games) {
        line("");
        if (game.Looked != Outcome::Read) {
            line("Game: " + game.Exe + " (PID " + std::to_string(game.Id) + ")");
            for (const std::string& error : game.Errors) line("ERROR: " + error);
            continue;
        }
        line("Game: " + game.Exe + " (PID " + std::to_string(game.Id) + "): " +
             (game.Supported ? "the supported build (version 1.1)"
                             : "not the supported build (AddressOfEntryPoint " +
                                   (game.HasEntryPoint ? Hex32(game.EntryPoint) : std::string("unreadable")) + ")"));
        std::size_t others = 0;
        bool plugin = false;
        for (std::size_t i = 0; i < game.Modules.size(); ++i) {
            const Module& module = game.Modules[i];
            if (!game.IsPlugin[i]) {
                others += i > 0 && IsAsiModule(module.Path);
                continue;
            }
            plugin = true;
            const bool pick = Fold(module.Path) == Fold(game.FolderPick);
            line("Plugin: " + module.Path + " (" + VersionText(game.Versions[i]) + ") at " + Hex32(module.Base) +
                 (pick ? ": the copy the folder check reads"
                       : game.FolderPick.empty() ? ": the folder check finds no copy where a loader looks"
                                                 : ": not the copy the folder check reads (" + game.FolderPick + ")"));
        }
        if (!plugin) line("Plugin: not loaded");
        if (others > 0) {
            line("Other .asi modules in the game (the first to remove when the game misbehaves): " +
                 std::to_string(others));
        }
        for (std::size_t i = 1; i < game.Modules.size(); ++i) {
            if (!game.IsPlugin[i] && IsAsiModule(game.Modules[i].Path)) {
                line("  " + game.Modules[i].Path + " (" + VersionText(game.Versions[i]) + ")");
            }
        }
        line("Places the plugin writes, " + (game.FileProblem.empty() ? "against " + game.Exe
                                                                      : "not against the game's file: " +
                                                                            game.FileProblem) + ":");
        for (const Site& site : game.Sites) {
            std::string text = "  " + Hex32(site.Place.Address) + "  " + std::to_string(site.Place.Width) + "  ";
            text += site.Reading.Readable ? HexBytes(site.Reading.Live) : "??";
            line(text + "  " + site.Place.What + ": " + SiteText(site, game));
        }
        line("Settings file: " + game.SettingsFile +
             (!game.SettingsFound ? " (not found: the plugin would take the defaults)"
              : game.SettingsChanged ? " (changed since the game started)"
                                     : " (not changed since the game started)"));
        for (const GlobalKey& key : kGlobalKeys) {
            const std::string held = Held(game, key);
            const std::string name = std::string(key.Name).append(27 - std::strlen(key.Name), ' ');
            if (held.empty()) {
                line("  " + name + "not seen from outside the game; the file says " + WantedText(game, key));
            } else {
                line("  " + name + held + " in the game, " + WantedText(game, key) + " in the file");
            }
        }
        if (game.Errors.empty() && game.Warnings.empty()) line("Nothing wrong.");
        for (const std::string& error : game.Errors) line("ERROR: " + error);
        for (const std::string& warning : game.Warnings) line("WARNING: " + warning);
    }
    return out;
}

std::string RenderJson(const LiveResult& result) {
    std::vector<std::string> games;
    for (const Game& game : result.Games) {
        std::vector<std::string> plugins, others, sites, errors, warnings, holds;
        for (std::size_t i = 0; i < game.Modules.size(); ++i) {
            const Module& module = game.Modules[i];
            if (!game.IsPlugin[i] && !(i > 0 && IsAsiModule(module.Path))) continue;
            const PeVersion& version = game.Versions[i];
            std::vector<std::pair<std::string, std::string>> members{
                {"path", json::String(module.Path)},
                {"base", json::Hex(module.Base)},
                {"version", version.Version.empty() ? json::kNull : json::String(version.Version)}};
            if (game.IsPlugin[i]) {
                members.push_back({"folder_check_reads", json::Bool(Fold(module.Path) == Fold(game.FolderPick))});
                plugins.push_back(json::Object(members));
            } else {
                others.push_back(json::Object(members));
            }
        }
        for (const Site& site : game.Sites) {
            const bool leads = site.Verdict.Leads && site.Verdict.State != SiteState::Unreadable;
            sites.push_back(json::Object({
                {"address", json::Hex(site.Place.Address)},
                {"width", json::Integer(site.Place.Width)},
                {"what", json::String(site.Place.What)},
                {"live", site.Reading.Readable ? json::String(HexBytes(site.Reading.Live)) : json::kNull},
                {"file", site.Reading.HasFile ? json::String(HexBytes(site.Reading.File)) : json::kNull},
                {"state", json::String(StateName(site.Verdict.State))},
                {"into", leads ? json::String(Destination(site, game)) : json::kNull},
            }));
        }
        for (const GlobalKey& key : kGlobalKeys) {
            const std::string held = Held(game, key);
            holds.push_back(json::Object({{"key", json::String(key.Name)},
                                          {"game", held.empty() ? json::kNull : json::String(held)},
                                          {"file", json::String(WantedText(game, key))}}));
        }
        for (const std::string& error : game.Errors) errors.push_back(json::String(error));
        for (const std::string& warning : game.Warnings) warnings.push_back(json::String(warning));
        const char* looked = game.Looked == Outcome::Read ? "read" : game.Looked == Outcome::Denied ? "denied" : "ended";
        std::vector<std::pair<std::string, std::string>> members{
            {"pid", json::Integer(game.Id)},
            {"exe", json::String(game.Exe)},
            {"looked", json::String(looked)},
            {"errors", json::Array(errors)},
            {"warnings", json::Array(warnings)}};
        if (game.Looked == Outcome::Read) {
            members.insert(members.end() - 2, {
                {"entry_point", game.HasEntryPoint ? json::Hex(game.EntryPoint) : json::kNull},
                {"supported", json::Bool(game.Supported)},
                {"plugins", json::Array(plugins)},
                {"other_asi", json::Array(others)},
                {"file_problem", game.FileProblem.empty() ? json::kNull : json::String(game.FileProblem)},
                {"sites", json::Array(sites)},
                {"settings_file", json::String(game.SettingsFile)},
                {"settings_found", json::Bool(game.SettingsFound)},
                {"settings_changed", json::Bool(game.SettingsChanged)},
                {"values", json::Array(holds)},
            });
        }
        games.push_back(json::Object(members));
    }
    return json::Object({{"verdict", json::String(Verdict(result))},
                         {"status", json::Integer(ExitStatus(result))},
                         {"games", json::Array(games)}}) +
           "\n";
}

}  // namespace zk::check::live
