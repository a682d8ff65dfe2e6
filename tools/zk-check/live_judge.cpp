// What a running game's bytes mean: each place of the start-up against the bytes
// the plugin writes and those the game's file ships, then the game as a whole
// against the settings file beside the loaded plugin. No system call: the readings
// come in, the findings go out.
#include "live.h"

#include <cstdio>
#include <cstring>

#include "check_parts.h"
#include "core/host_addresses.h"
#include "core/patch_primitives.h"

namespace zk::check::live {
namespace {

std::vector<std::uint8_t> FloatBytes(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}



std::string OnOff(bool on) { return on ? "on" : "off"; }

// What a place the plugin writes at every start holds instead, and whose it is.
std::string SiteProblem(const Site& site, const Game& game) {
    const std::string at = site.Place.Name + std::string(" at ") + Hex32(site.Place.Address);
    const SiteVerdict& verdict = site.Verdict;
    const bool entersPlugin =
        site.Place.Kind == SiteKind::CallIntoPlugin || site.Place.Kind == SiteKind::JumpIntoPlugin;
    switch (verdict.State) {
        case SiteState::Other:
            if (verdict.Leads && verdict.Into > 0) {
                const std::string into = FileNameOf(game.Modules[static_cast<std::size_t>(verdict.Into)].Path);
                if (entersPlugin) {
                    return std::string(site.Place.Name) + " leads into " + into + ", not into ZorbelKavrin.asi: that " +
                           "plugin was loaded after this one and replaced its hook";
                }
                return at + " holds a jump into " + into + ": that plugin changed it after this one";
            }
            if (verdict.Leads && verdict.Into < 0) {
                return std::string(site.Place.Name) + " leads to " + Hex32(verdict.Target) +
                       ", which no module holds: something changed it after this plugin wrote it (a hook made "
                       "while the game runs)";
            }
            return at + " was changed by something else after this plugin wrote it";
        case SiteState::Shipped:
            return at + " is as the game shipped it: something put the game's own bytes back after this plugin "
                        "wrote them";
        case SiteState::NotPlugin: return at + " is not as this plugin writes it";
        case SiteState::Unreadable: return at + " cannot be read";
        case SiteState::Plugin: break;
    }
    return "";
}

// Why a supported game runs without the plugin, from what the folder check finds.
std::string NotLoadedCause(const Game& game) {
    const Result& folder = game.Folder;
    if (folder.Plugins.empty()) {
        return "there is no ZorbelKavrin.asi where an ASI loader looks (the game's folder, its scripts and plugins "
               "folders); put it in the scripts folder with ZorbelKavrin.ini and KavrinCars";
    }
    if (folder.LookedForLoaders && folder.Loaders.empty()) {
        return "there is no ASI loader beside the game: no DLL there loads .asi files; install one "
               "(ZorbelKavrin-README.txt, Installing)";
    }
    for (const std::string& loader : folder.Loaders) {
        for (const Module& module : game.Modules) {
            if (Fold(module.Path) != Fold(loader)) continue;
            const bool clean = folder.Errors.empty() && folder.Warnings.empty();
            return "the ASI loader " + loader + " is loaded, but it did not load the plugin" +
                   (clean ? ", and the folder check finds nothing wrong with the install"
                          : "; the folder check says: " + Verdict(folder));
        }
    }
    if (!folder.Loaders.empty()) {
        const std::string loader = folder.Loaders[0];
        const std::string name = FileNameOf(loader);
        if (folder.UnderWine) {
            return "the game did not load the ASI loader " + loader + ": Wine takes its own " + name +
                   " first; start the game with WINEDLLOVERRIDES=\"" + name.substr(0, name.size() - 4) + "=n,b\"";
        }
        return "the game did not load the ASI loader " + loader + " (another program's DLL of that name was taken "
               "first, or the loader does not fit this game)";
    }
    return "the folder check finds no reason: " + Verdict(folder);
}

}  // namespace

float BytesFloat(const std::vector<std::uint8_t>& bytes) {
    const std::uint32_t bits = Little32(bytes);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

bool IsPluginModule(const std::string& path) {
    const std::string name = Fold(FileNameOf(path));
    return name.rfind("zorbelkavrin", 0) == 0 && EndsWith(name, ".asi");
}

bool IsAsiModule(const std::string& path) { return EndsWith(Fold(path), ".asi"); }

SiteVerdict ClassifySite(const PatchSite& site, const SiteReading& reading, const std::vector<Module>& modules,
                         const std::vector<bool>& plugins, float steer) {
    SiteVerdict verdict;
    if (!reading.Readable || reading.Live.size() != site.Width) return verdict;
    const std::vector<std::uint8_t>& live = reading.Live;
    verdict.Leads = site.Width >= 5 && (live[0] == kCallOpcode || live[0] == kJumpOpcode);
    if (verdict.Leads) {
        verdict.Target = site.Address + 5 + Little32(live, 1);
        for (std::size_t i = 0; i < modules.size() && verdict.Into < 0; ++i) {
            if (modules[i].Holds(verdict.Target)) verdict.Into = static_cast<int>(i);
        }
    }
    bool plugin = false;
    switch (site.Kind) {
        case SiteKind::SteerAngle: plugin = live == FloatBytes(steer); break;
        case SiteKind::CallIntoPlugin:
        case SiteKind::JumpIntoPlugin:
            plugin = verdict.Leads && live[0] == PlannedBytes(site)[0] && verdict.Into >= 0 &&
                     static_cast<std::size_t>(verdict.Into) < plugins.size() && plugins[verdict.Into];
            break;
        default: plugin = live == PlannedBytes(site); break;
    }
    if (plugin) {
        verdict.State = SiteState::Plugin;
    } else if (!reading.HasFile) {
        verdict.State = SiteState::NotPlugin;
    } else {
        verdict.State = live == reading.File ? SiteState::Shipped : SiteState::Other;
    }
    return verdict;
}

void Judge(Game& game) {
    game.Errors.clear();
    game.Warnings.clear();
    if (game.Looked == Outcome::Denied) {
        game.Errors.push_back("access is denied (the game runs as administrator, or is protected), so nothing of "
                              "it can be read: run zk-check the same way as the game (as administrator: "
                              "right-click zk-check.exe, Run as administrator)");
        return;
    }
    if (game.Looked == Outcome::Ended) {
        game.Errors.push_back("the game ended while it was read");
        return;
    }
    std::vector<std::string> copies;
    for (std::size_t i = 0; i < game.Modules.size(); ++i) {
        if (game.IsPlugin[i]) copies.push_back(game.Modules[i].Path);
    }
    if (!game.Supported) {
        const std::string build = "it is not the supported build (AddressOfEntryPoint " +
                                  (game.HasEntryPoint ? Hex32(game.EntryPoint) : std::string("unreadable")) +
                                  "; the plugin takes only " + Hex32(SupportedEntryPointRva) + "): ";
        game.Errors.push_back(build + (copies.empty() ? "the plugin refused to load there (\"This .exe is not "
                                                        "supported.\") and changed nothing"
                                                      : "the plugin shows \"This .exe is not supported.\" and "
                                                        "changes nothing"));
        return;
    }
    if (copies.empty()) {
        game.Errors.push_back("ZorbelKavrin.asi is not loaded in the game: " + NotLoadedCause(game));
        return;
    }
    if (copies.size() > 1) {
        std::string list;
        for (const std::string& copy : copies) list += (list.empty() ? "" : ", ") + copy;
        game.Errors.push_back(std::to_string(copies.size()) + " copies of the plugin are loaded (" + list +
                              "): each changed the game; keep one");
    }

    // The places written at every start.
    for (const Site& site : game.Sites) {
        if (site.Place.Switch != nullptr || site.Place.Kind == SiteKind::SteerAngle) continue;
        if (site.Verdict.State == SiteState::Unreadable) {
            game.Warnings.push_back(SiteProblem(site, game));
        } else if (site.Verdict.State != SiteState::Plugin) {
            game.Errors.push_back(SiteProblem(site, game));
        }
    }

    // The steering angle, against the settings file now.
    const std::string file = kSettingsFileName;
    for (const Site& site : game.Sites) {
        if (site.Place.Kind != SiteKind::SteerAngle) continue;
        if (site.Verdict.State == SiteState::Unreadable) {
            game.Warnings.push_back(SiteProblem(site, game));
            continue;
        }
        if (site.Verdict.State == SiteState::Plugin) continue;
        const std::string held = FloatText(BytesFloat(site.Reading.Live));
        const std::string says = FloatText(game.Settings.FrontSteerAngle);
        if (game.SettingsChanged) {
            game.Warnings.push_back("FrontSteerAngle: the file now says " + says + "; the game took " + held +
                                    " when it started: restart the game");
        } else {
            game.Warnings.push_back("the steering angle in the game is " + held + ", a value " + file + " (" + says +
                                    ", not changed since the game started) does not give: something else wrote "
                                    "it (another plugin, or the game itself)");
        }
    }

    // Each switch's places, against the settings file now.
    for (const GlobalKey& key : kGlobalKeys) {
        if (key.Switch == nullptr) continue;
        std::vector<const Site*> sites;
        for (const Site& site : game.Sites) {
            if (site.Place.Switch == key.Switch) sites.push_back(&site);
        }
        if (sites.empty()) continue;
        bool on = true, off = true, unreadable = false;
        for (const Site* site : sites) {
            on = on && site->Verdict.State == SiteState::Plugin;
            // Without the game's file, bytes that are not the plugin's count as the game's.
            off = off && (site->Verdict.State == SiteState::Shipped || site->Verdict.State == SiteState::NotPlugin);
            unreadable = unreadable || site->Verdict.State == SiteState::Unreadable;
        }
        const bool wanted = game.Settings.*key.Switch;
        if ((on && wanted) || (off && !wanted)) continue;
        if (unreadable) {
            for (const Site* site : sites) {
                if (site->Verdict.State == SiteState::Unreadable) game.Warnings.push_back(SiteProblem(*site, game));
            }
        } else if ((on || off) && game.SettingsChanged) {
            game.Warnings.push_back(std::string(key.Name) + ": the file now says " + OnOff(wanted) +
                                    "; the game took " + OnOff(on) + " when it started: restart the game");
        } else if (off) {
            game.Errors.push_back(std::string(key.Name) + " is off in the game although " + file + " says on and " +
                                  "has not changed since the game started: something put the game's own bytes "
                                  "back after this plugin wrote them");
        } else if (on) {
            game.Warnings.push_back(std::string(key.Name) + " is on in the game although " + file + " says off " +
                                    "and has not changed since the game started: something else made the same "
                                    "change");
        } else {
            for (const Site* site : sites) {
                const SiteState want = wanted ? SiteState::Plugin : SiteState::Shipped;
                if (site->Verdict.State != want) game.Errors.push_back(SiteProblem(*site, game));
            }
        }
    }
}

}  // namespace zk::check::live
