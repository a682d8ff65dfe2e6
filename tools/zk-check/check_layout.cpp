// The install as an ASI loader sees it: where the plugin lies and how many copies
// of it load, the other plugins beside it and their versions, the loader itself,
// the package's checksums, and names Explorer shows as the right ones.
#include "check_parts.h"

#include <algorithm>
#include <cctype>

#include "cars/car_settings.h"
#include "pe_version.h"
#include "settings/global_settings.h"
#include "sha256.h"

namespace zk::check {
namespace {

constexpr char kPluginFileName[] = "ZorbelKavrin.asi";

// Of a full path that ends with a separator: its last folder's name, and the path
// of the folder around it.
std::string LastFolder(const std::string& full) {
    const std::size_t cut = full.find_last_of("\\/", full.size() - 2);
    return cut == std::string::npos ? "" : full.substr(cut + 1, full.size() - cut - 2);
}

std::string ParentFolder(const std::string& full) {
    const std::size_t cut = full.find_last_of("\\/", full.size() - 2);
    return cut == std::string::npos ? "" : full.substr(0, cut + 1);
}

// A folder an ASI loader loads plugins from, with what lies in it.
struct Place {
    std::string Folder;  // in full, with its separator
    std::vector<sys::Entry> Entries;
    std::vector<std::string> Plugins;  // names of the plugin's copies here
    std::vector<std::string> Others;   // names of the other .asi files here
    bool HasSettings = false;
    bool HasCars = false;
};

Place Look(const std::string& folder) {
    Place place{folder, sys::ListEverything(folder), {}, {}, false, false};
    for (const sys::Entry& entry : place.Entries) {
        const std::string name = Fold(entry.Name);
        if (entry.IsFolder) {
            place.HasCars = place.HasCars || name == Fold(kCarFolderName);
        } else if (name == Fold(kSettingsFileName)) {
            place.HasSettings = true;
        } else if (name.rfind("zorbelkavrin", 0) == 0 && EndsWith(name, ".asi")) {
            place.Plugins.push_back(entry.Name);  // a renamed copy loads as well
        } else if (EndsWith(name, ".asi")) {
            place.Others.push_back(entry.Name);
        }
    }
    return place;
}

constexpr char kSumsFileName[] = "ZorbelKavrin-SHA256SUMS.txt";

// The package's checksum list, beside the game's exe as the package puts it: each
// file it names that is there must match, but for the settings files (.ini), which
// are there to be edited.
void CheckSums(const std::string& game, Result& result) {
    std::string bytes;
    if (!os::ReadWholeFile(os::PathFromUtf8(game + kSumsFileName), bytes)) return;
    result.SumsFile = game + kSumsFileName;
    std::size_t number = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        std::string sum = line.substr(0, 64);
        const bool hex = sum.size() == 64 && sum.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        const bool separated = line.size() > 66 && line[64] == ' ' && (line[65] == ' ' || line[65] == '*');
        if (!hex || !separated) {
            result.Warnings.push_back({result.SumsFile, number, "not a checksum line (64 hex digits, two spaces and "
                                                                "a file name, as sha256sum writes them): the list was "
                                                                "edited; unzip the package again for the original"});
            continue;
        }
        std::transform(sum.begin(), sum.end(), sum.begin(), [](unsigned char c) { return std::tolower(c); });
        std::string name = line.substr(66);
        if (EndsWith(Fold(name), ".ini")) continue;
        std::replace(name.begin(), name.end(), '/', kSeparator);
        Sha256 digest;
        const bool read = ForEachPiece(game + name, [&digest](const std::string& piece, bool) {
            AddToSha256(digest, piece.data(), piece.size());
            return true;
        });
        if (!read) continue;  // removed: the player's business
        if (FinishSha256(digest) == sum) {
            ++result.SumsMatched;
            continue;
        }
        result.SumsDiffer.push_back(game + name);
        result.Warnings.push_back({"", 0, game + name + " does not match its checksum in " + kSumsFileName +
                                              ": it is not this release's file (changed, damaged, or replaced by an "
                                              "antivirus program); unzip the package again"});
    }
}

// In a game folder (one that holds an .exe): the DLLs that would load the plugin.
// Without one nothing loads it, however right its settings are.
void FindLoaders(const Place& game, Result& result) {
    const auto isExe = [](const sys::Entry& entry) {
        return !entry.IsFolder && EndsWith(Fold(entry.Name), ".exe") && Fold(entry.Name) != "zk-check.exe";
    };
    if (std::none_of(game.Entries.begin(), game.Entries.end(), isExe)) return;
    result.LookedForLoaders = true;
    for (const sys::Entry& entry : game.Entries) {
        if (entry.IsFolder || !EndsWith(Fold(entry.Name), ".dll") || !LoadsAsiFiles(game.Folder + entry.Name)) continue;
        result.Loaders.push_back(game.Folder + entry.Name);
    }
    if (result.Loaders.empty()) {
        result.Warnings.push_back(
            {"", 0, "there is no ASI loader in " + game.Folder + ": no DLL there mentions .asi files, so nothing "
                    "will load the plugin; install one (ZorbelKavrin-README.txt, Installing)"});
    }
}

}  // namespace

// Does a DLL's code name .asi files, in narrow or UTF-16 text? An ASI loader must,
// to find them; other DLLs seldom do.
bool MentionsAsiFiles(std::string_view text, bool more) {
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    for (std::size_t at = text.find('.'); at != std::string_view::npos; at = text.find('.', at + 1)) {
        for (const std::size_t step : {1, 2}) {  // narrow, then UTF-16 LE
            if (at + 4 * step > text.size() || (more && at + 4 * step == text.size())) continue;
            std::string word;
            bool wide = true;
            for (std::size_t i = 1; i <= 3; ++i) {
                word.push_back(text[at + i * step]);
                if (step == 2) wide = wide && text[at + i * step - 1] == '\0';
            }
            const char after = at + 4 * step < text.size() ? text[at + 4 * step] : '\0';
            if (wide && Fold(word) == "asi" && !letter(after)) return true;
        }
    }
    return false;
}

bool LoadsAsiFiles(const std::string& path) {
    std::string window;  // the last bytes of the piece before, then this piece
    bool found = false;
    const bool read = ForEachPiece(path, [&](const std::string& piece, bool last) {
        window.erase(0, window.size() > kAsiNameCarry ? window.size() - kAsiNameCarry : 0);
        window += piece;
        found = MentionsAsiFiles(window, !last);
        return !found;
    });
    return read && found;
}

PeVersion VersionOf(const std::string& path) {
    std::string bytes;
    if (!os::ReadWholeFile(os::PathFromUtf8(path), bytes)) return {"", "the file cannot be read"};
    return ReadPeVersion(bytes);
}

// Where Explorer's copy of a file (" - Copy", " (2)") starts in its folded name, or npos.
std::size_t CopyMark(const std::string& folded) {
    const std::size_t copy = folded.find(" - copy");
    return copy != std::string::npos ? copy : folded.find(" (");
}

// A name as the player sees it: file names come from the plugin's listing in the
// file-system code page.
std::string ShownName(const std::string& name) {
    os::NativePath native;
    return os::JoinPath(os::NativePath(), name, native) ? os::DisplayPath(native) : name;
}

// The name a player most likely meant for a file the plugin reads: Explorer hides
// the extensions it knows, so "X.ini.txt" shows as "X.ini", and copies get " - Copy"
// or " (2)" before the extension.
std::string MeantName(const std::string& name) {
    const std::string folded = Fold(name);
    if (EndsWith(folded, ".txt")) {
        const std::string stem = name.substr(0, name.size() - 4);
        return EndsWith(Fold(stem), ".ini") ? stem : stem + ".ini";
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name + ".ini";
    return name.substr(0, std::min(CopyMark(folded), dot)) + ".ini";
}

// Why a file named `name` is not the `meant` one the plugin reads, and the fix.
std::string NameMistake(const std::string& name, const std::string& meant) {
    const std::string folded = Fold(name);
    if (EndsWith(folded, ".txt")) {
        return "its name ends in .txt, which Explorer hides, so it shows as '" + name.substr(0, name.size() - 4) +
               "'; rename it to '" + meant + "' (Explorer: View, File name extensions)";
    }
    if (name.find('.') == std::string::npos) return "its name has no extension; rename it to '" + meant + "'";
    if (CopyMark(folded) != std::string::npos) return "it is a copy; delete it, or rename it to '" + meant + "'";
    return "its extension is not .ini; rename it to '" + meant + "'";
}

// Finds the plugin from the folder named, which may be its own or the game's, and
// what an ASI loader will load around it. Sets the folder the plugin reads and
// gives back what lies in it.
std::vector<sys::Entry> CheckLayout(const std::string& named, Result& result) {
    const std::string checked = sys::FullFolderPath(named);
    const std::string last = Fold(LastFolder(checked));
    const std::string game =
        (last == "scripts" || last == "plugins") && !ParentFolder(checked).empty() ? ParentFolder(checked) : checked;
    result.GameFolder = game;
    std::vector<Place> places{Look(game)};
    // Over a copy: adding places may move the first one's entries.
    for (const sys::Entry& entry : std::vector<sys::Entry>(places[0].Entries)) {
        const std::string name = Fold(entry.Name);
        if (entry.IsFolder && (name == "scripts" || name == "plugins")) {
            places.push_back(Look(game + entry.Name + kSeparator));
        }
    }
    const auto isChecked = [&checked](const Place& place) { return Fold(place.Folder) == Fold(checked); };
    if (std::none_of(places.begin(), places.end(), isChecked)) places.insert(places.begin(), Look(checked));

    const Place* plugin = nullptr;
    for (const Place& place : places) {
        for (const std::string& name : place.Plugins) {
            result.Plugins.push_back(place.Folder + name);
            result.PluginVersions.push_back(VersionOf(place.Folder + name));
            const PeVersion& version = result.PluginVersions.back();
            if (!version.Version.empty() && VersionsDiffer(version.Version, kCheckerVersion)) {
                result.Warnings.push_back(
                    {"", 0, place.Folder + name + " is version " + version.Version + ", and this checker (with the "
                            "README beside it) is version " + kCheckerVersion + ": they come from two releases; "
                            "unzip the package of the version you want again, the update package if your settings "
                            "should stay (ZorbelKavrin-README.txt, Updating)"});
            }
        }
        for (const std::string& name : place.Others) {
            result.OtherPlugins.push_back({place.Folder + name, VersionOf(place.Folder + name)});
        }
        if (!place.Plugins.empty() && (plugin == nullptr || isChecked(place))) plugin = &place;
    }
    // In one order on every platform, whatever the order of its listings.
    std::sort(result.OtherPlugins.begin(), result.OtherPlugins.end(),
              [](const OtherPlugin& a, const OtherPlugin& b) { return Fold(a.Path) < Fold(b.Path); });
    result.PluginFolder = plugin != nullptr ? plugin->Folder : checked;
    for (const Place& place : places) {
        if (Fold(place.Folder) == Fold(game)) FindLoaders(place, result);
    }
    CheckSums(game, result);
    if (plugin == nullptr) {
        std::string where = checked;
        if (game == checked) where += ", nor in its scripts or plugins folder";
        result.Warnings.push_back({"", 0, std::string("there is no ") + kPluginFileName + " in " + where +
                                              ": no plugin will read these settings; put " + kPluginFileName + ", " +
                                              kSettingsFileName + " and " + kCarFolderName +
                                              " together in the game folder or its scripts folder"});
        return std::find_if(places.begin(), places.end(), isChecked)->Entries;
    }
    if (result.Plugins.size() > 1) {
        std::string list;
        for (const std::string& path : result.Plugins) list += (list.empty() ? "" : ", ") + path;
        result.Errors.push_back(std::to_string(result.Plugins.size()) +
                                " copies of the plugin will load, and each changes the game: " + list +
                                "; keep one, with " + kSettingsFileName + " and " + kCarFolderName +
                                " beside it (below: what the copy in " + plugin->Folder + " reads)");
    }
    // Settings beside no copy of the plugin: it reads only the folder it lies in.
    // With one copy, none of them beside it, and one folder that has them, the
    // fix moves them there.
    std::size_t withSettings = 0, withCars = 0;
    for (const Place& place : places) {
        if (&place == plugin || !place.Plugins.empty()) continue;
        withSettings += place.HasSettings;
        withCars += place.HasCars;
    }
    for (const Place& place : places) {
        if (&place == plugin || !place.Plugins.empty()) continue;
        const auto orphan = [&](bool there, const char* name, bool pluginHasOne, bool folder, std::size_t places) {
            if (!there) return;
            result.Warnings.push_back(
                {"", 0, place.Folder + name + " is read by no copy of the plugin: the plugin reads only the folder it "
                        "lies in, " + plugin->Folder + (pluginHasOne ? ", and uses the one there; delete this one"
                                                                     : "; move it there")});
            Warning& warning = result.Warnings.back();
            if (pluginHasOne || result.Plugins.size() != 1 || places != 1) {
                warning.NoFix = pluginHasOne ? "which of the two you meant is not certain"
                                             : "where it belongs is not certain";
                return;
            }
            for (const sys::Entry& entry : place.Entries) {
                if (entry.IsFolder == folder && Fold(entry.Name) == Fold(name)) {
                    PlanMove(result, place.Folder + entry.Name, plugin->Folder + name, folder, warning);
                }
            }
        };
        orphan(place.HasSettings, kSettingsFileName, plugin->HasSettings, false, withSettings);
        orphan(place.HasCars, kCarFolderName, plugin->HasCars, true, withCars);
    }
    // A settings file under a name Explorer shows as the right one, or a copy.
    for (const sys::Entry& entry : plugin->Entries) {
        const std::string name = Fold(entry.Name);
        const bool hidden = name == "zorbelkavrin" || name == "zorbelkavrin.txt" || name == "zorbelkavrin.ini.txt";
        const bool copy = name.rfind("zorbelkavrin", 0) == 0 && EndsWith(name, ".ini") && name != Fold(kSettingsFileName);
        if (entry.IsFolder || !(hidden || copy)) continue;
        result.Warnings.push_back({entry.Name, 0, std::string("is not read: the plugin reads only ") + kSettingsFileName +
                                                      "; " + NameMistake(entry.Name, kSettingsFileName)});
    }
    return plugin->Entries;
}

// The same entry to the plugin: Windows' file names ignore letter case.
bool SameName(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return Fold(a) == Fold(b);
#else
    return a == b;
#endif
}

}  // namespace zk::check
