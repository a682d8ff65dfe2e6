#include "check.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "cars/car_settings.h"
#include "core/host_addresses.h"
#include "core/host_check.h"
#include "json.h"
#include "settings/global_settings.h"
#include "settings/ini_lines.h"
#include "settings/ini_reader.h"
#include "sha256.h"
#include "sys.h"

namespace zk::check {

const char* const kCheckerVersion = ZK_VERSION;

namespace {

using sys::kSeparator;


std::string Fold(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
    }
    return folded;
}

// Quoted, with control bytes shown as \xNN so that a stray carriage return cannot
// garble the report, and a no-break space (copied from a web page; in ANSI or
// UTF-8) named, since it looks like a plain one.
std::string Quote(std::string_view text) {
    std::string quoted = "'";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        const bool utf8NoBreak =
            byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0;
        if (byte == 0xA0 || utf8NoBreak) {
            quoted += "<no-break space U+00A0>";
            i += utf8NoBreak ? 1 : 0;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            quoted += escape;
        } else {
            quoted.push_back(text[i]);
        }
    }
    return quoted + "'";
}

// The text with its no-break spaces, ANSI (A0) or UTF-8 (C2 A0), taken out.
std::string WithoutNoBreakSpaces(std::string_view text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0) {
            ++i;
        } else if (byte != 0xA0) {
            plain.push_back(text[i]);
        }
    }
    return plain;
}

bool IsDigitAt(std::string_view text, std::size_t at) {
    return at < text.size() && text[at] >= '0' && text[at] <= '9';
}

// Does strtol find a number at the start (after whitespace and a sign)?
bool HasLeadingInteger(std::string_view text) { return IsDigitAt(text, SkipSpaceAndSign(text)); }

// Does atof find a number at the start?
bool HasLeadingDecimal(std::string_view text) {
    const std::size_t at = SkipSpaceAndSign(text);
    return IsDigitAt(text, at) || (at < text.size() && text[at] == '.' && IsDigitAt(text, at + 1));
}

std::string FloatText(float value) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

// Line-by-line checks of one settings file. keys: what the plugin reads of its
// GENERAL section.
void CheckLines(const std::string& file, const std::string& text, const IniDocument& document,
                const std::vector<std::string>& keys, bool isCar, std::vector<Warning>& warnings) {
    const auto warn = [&](std::size_t line, std::string message) {
        warnings.push_back({file, line, std::move(message)});
    };
    std::string consulted;
    const bool hasGeneral = document.FindSection(kGeneralSection, &consulted) != nullptr;
    const std::string readsOnly = isCar ? "car files are read for ForceLodA only"
                                        : "the plugin reads ForceLodA, FrontSteerAngle, ExpandMemoryPools, "
                                          "InfiniteTuningSliders and InfiniteAutosculptSliders";
    bool inSection = false;
    std::string section;
    std::map<std::pair<std::string, std::string>, std::size_t> firstLine;
    ForEachIniLine(text, [&](const IniLine& line) {
        if (line.What == IniLine::kHeader) {
            inSection = true;
            section = std::string(line.Name);
            if (Fold(section) == "general" && section != consulted) {
                warn(line.Number, "section [" + section + "] is never read: the plugin reads only [" +
                                      consulted + "], the first of that name in byte order");
            }
            return;
        }
        if (line.What != IniLine::kKey) return;
        const std::string key(line.Key);
        const bool hashed = line.Kept.front() == '#';
        if (hashed) {
            warn(line.Number, Quote(line.Kept) + " is no comment here but a key the plugin does not know, "
                                                 "so the line is ignored; comments start with ';'");
        }
        if (line.Kept.find("//") != std::string_view::npos) {
            warn(line.Number, "'//' without a space before it starts no comment: " + Quote(line.Kept) +
                                  " is read as it stands");
        }
        const auto [seen, isNew] = firstLine.try_emplace({section, key}, line.Number);
        if (!isNew) {
            warn(line.Number, Quote(key) + " appears again: the plugin keeps line " +
                                  std::to_string(seen->second) + " and ignores this one");
            return;
        }
        if (!inSection) {
            warn(line.Number, Quote(key) + " stands before any section header: the plugin reads only [GENERAL]");
            return;
        }
        if (Fold(section) != "general") {
            warn(line.Number, Quote(key) + " is in section [" + section + "]: the plugin reads only [GENERAL]");
            return;
        }
        if (!hasGeneral || section != consulted || hashed) return;  // said already

        bool known = false;
        for (const std::string& name : keys) known = known || key == name;
        if (!known) {
            const std::string plain = WithoutNoBreakSpaces(key);
            for (const std::string& name : keys) {
                if (plain != key && plain == name) {
                    warn(line.Number, Quote(key) + " is not read: a no-break space (pasted from a web page) is "
                                                   "part of the key; type a plain space instead");
                    return;
                }
                if (Fold(key) == Fold(name)) {
                    warn(line.Number, Quote(key) + " is not read: keys are case-sensitive; write " + Quote(name));
                    return;
                }
            }
            warn(line.Number, "unknown key " + Quote(key) + " in [GENERAL]: " + readsOnly);
            return;
        }
        const std::string value(line.Value);
        const bool number = std::any_of(std::begin(kGlobalKeys), std::end(kGlobalKeys),
                                        [&key](const GlobalKey& global) { return global.Number && key == global.Name; });
        if (number) {
            if (value.empty()) {
                warn(line.Number, "FrontSteerAngle is empty: the plugin stores 0 as the steering angle");
            } else if (!HasLeadingDecimal(value)) {
                warn(line.Number, Quote(value) + " is not a number: the plugin stores 0 as the steering angle");
            } else {
                const float read = ParseFloat(value);
                if (std::isinf(read)) {
                    warn(line.Number, Quote(value) + " is beyond the range of a float: the plugin stores an "
                                                     "infinite steering angle; write a number such as 340");
                }
                const std::size_t comma = value.find(',');
                if (comma != std::string::npos && comma + 1 < value.size() && value[comma + 1] >= '0' &&
                    value[comma + 1] <= '9') {
                    warn(line.Number, Quote(value) + " is read as " + FloatText(read) +
                                          ": the decimal point is a full stop");
                }
            }
            return;
        }
        for (const GlobalKey& global : kGlobalKeys) {
            if (global.Switch == nullptr || key != global.Name) continue;
            if (!HasLeadingInteger(value)) {
                warn(line.Number, key + " = " + Quote(value) +
                                      " is not a number: the plugin reads 0 (off); write 1 to turn it on");
            } else {
                const std::int32_t read = ParseInteger(value);
                if (read != 0 && read != 1) {
                    warn(line.Number, key + " = " + Quote(value) + " is read as " + std::to_string(read) +
                                          ": only 1 turns it on, so it is off");
                }
            }
        }
    });
}

// One file's warnings, from `first` on, by line; those about the whole file first.
void SortByLine(std::vector<Warning>& warnings, std::size_t first) {
    std::stable_sort(warnings.begin() + static_cast<std::ptrdiff_t>(first), warnings.end(),
                     [](const Warning& a, const Warning& b) { return a.Line < b.Line; });
}

struct SettingsFile {
    bool Read = false;
    std::string Encoding;  // a wide encoding the file is saved in, if any
    std::string Text;      // after the text-mode translation
    IniDocument Document;  // as the plugin parses it
};

// The wide encoding a settings file is saved in ("UTF-16 LE", ...), or empty for
// bytes that read as ANSI or UTF-8. By the byte-order mark, or without one by the
// zero bytes that ASCII text in a wide encoding has beside nearly every character.
std::string WideEncoding(const std::string& bytes) {
    const auto starts = [&bytes](const char* mark, std::size_t size) {
        return bytes.size() >= size && bytes.compare(0, size, mark, size) == 0;
    };
    if (starts("\xFF\xFE\0\0", 4)) return "UTF-32 LE";
    if (starts("\0\0\xFE\xFF", 4)) return "UTF-32 BE";
    if (starts("\xFF\xFE", 2)) return "UTF-16 LE";
    if (starts("\xFE\xFF", 2)) return "UTF-16 BE";
    const std::size_t sample = std::min<std::size_t>(bytes.size(), 4096) / 4 * 4;
    if (sample < 8) return "";
    std::size_t zeros[4] = {};
    for (std::size_t i = 0; i < sample; ++i) zeros[i % 4] += bytes[i] == '\0';
    const std::size_t quarter = sample / 4;
    const auto most = [quarter](std::size_t count) { return count * 10 >= quarter * 9; };
    const auto few = [quarter](std::size_t count) { return count * 2 < quarter; };
    if (few(zeros[0]) && most(zeros[1]) && most(zeros[2]) && most(zeros[3])) return "UTF-32 LE";
    if (most(zeros[0]) && most(zeros[1]) && most(zeros[2]) && few(zeros[3])) return "UTF-32 BE";
    if (few(zeros[0] + zeros[2]) && most(zeros[1]) && most(zeros[3])) return "UTF-16 LE";
    if (most(zeros[0]) && most(zeros[2]) && few(zeros[1] + zeros[3])) return "UTF-16 BE";
    return "";
}

// A file beside the plugin, read once and parsed as the plugin does, with the
// warnings about its bytes as a whole.
SettingsFile ReadSettingsFile(const std::string& relative, const std::string& file, std::vector<Warning>& warnings) {
    SettingsFile result;
    os::NativePath path;
    std::string bytes;
    result.Read = os::JoinPath(os::PluginFolder(), relative, path) && os::ReadWholeFile(path, bytes);
    if (!result.Read) return result;
    result.Text = TranslateTextMode(bytes);
    result.Document.Parse(result.Text);
    // Read byte by byte, a wide text gives the plugin no [GENERAL] section; then
    // that, and not each of its lines, is what the player needs to hear.
    if (result.Document.FindSection(kGeneralSection) == nullptr) {
        result.Encoding = WideEncoding(bytes);
        if (!result.Encoding.empty()) return result;
    }
    const std::size_t end = bytes.find('\x1A');
    if (end != std::string::npos &&
        bytes.find_first_not_of(" \t\r\n\x1A", end) != std::string::npos) {
        std::size_t line = 1;
        for (char c : result.Text) line += c == '\n';
        warnings.push_back({file, line, "the byte 0x1A ends the text here: everything after it is never read"});
    }
    if (result.Text.find('\r') != std::string::npos && result.Text.find('\n') == std::string::npos) {
        warnings.push_back({file, 0, "lines end in a carriage return only: the plugin reads the whole file as one "
                                     "line; save it with Windows (CR LF) or Unix (LF) line ends"});
    }
    return result;
}

constexpr char kPluginFileName[] = "ZorbelKavrin.asi";

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
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

// Does a DLL's code name .asi files, in narrow or UTF-16 text? An ASI loader must,
// to find them; other DLLs seldom do.
bool MentionsAsiFiles(const std::string& bytes) {
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    for (std::size_t at = bytes.find('.'); at != std::string::npos; at = bytes.find('.', at + 1)) {
        for (const std::size_t step : {1, 2}) {  // narrow, then UTF-16 LE
            if (at + 4 * step > bytes.size()) continue;
            std::string word;
            bool wide = true;
            for (std::size_t i = 1; i <= 3; ++i) {
                word.push_back(bytes[at + i * step]);
                if (step == 2) wide = wide && bytes[at + i * step - 1] == '\0';
            }
            const char after = at + 4 * step < bytes.size() ? bytes[at + 4 * step] : '\0';
            if (wide && Fold(word) == "asi" && !letter(after)) return true;
        }
    }
    return false;
}

PeVersion VersionOf(const std::string& path) {
    std::string bytes;
    if (!os::ReadWholeFile(os::PathFromUtf8(path), bytes)) return {"", "the file cannot be read"};
    return ReadPeVersion(bytes);
}

std::string VersionText(const PeVersion& version) {
    return version.Version.empty() ? "no version: " + version.Problem : "version " + version.Version;
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
        std::string file;
        if (!os::ReadWholeFile(os::PathFromUtf8(game + name), file)) continue;  // removed: the player's business
        if (Sha256Hex(file) == sum) {
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
        std::string bytes;
        if (entry.IsFolder || !EndsWith(Fold(entry.Name), ".dll") ||
            !os::ReadWholeFile(os::PathFromUtf8(game.Folder + entry.Name), bytes) || !MentionsAsiFiles(bytes)) {
            continue;
        }
        result.Loaders.push_back(game.Folder + entry.Name);
    }
    if (result.Loaders.empty()) {
        result.Warnings.push_back(
            {"", 0, "there is no ASI loader in " + game.Folder + ": no DLL there mentions .asi files, so nothing "
                    "will load the plugin; install one (ZorbelKavrin-README.txt, Installing)"});
    }
}

// Finds the plugin from the folder named, which may be its own or the game's, and
// what an ASI loader will load around it. Sets the folder the plugin reads and
// gives back what lies in it.
std::vector<sys::Entry> CheckLayout(const std::string& named, Result& result) {
    const std::string checked = sys::FullFolderPath(named);
    const std::string last = Fold(LastFolder(checked));
    const std::string game =
        (last == "scripts" || last == "plugins") && !ParentFolder(checked).empty() ? ParentFolder(checked) : checked;
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
    for (const Place& place : places) {
        if (&place == plugin || !place.Plugins.empty()) continue;
        const auto orphan = [&](bool there, const char* name, bool pluginHasOne) {
            if (!there) return;
            result.Warnings.push_back(
                {"", 0, place.Folder + name + " is read by no copy of the plugin: the plugin reads only the folder it "
                        "lies in, " + plugin->Folder + (pluginHasOne ? ", and uses the one there; delete this one"
                                                                     : "; move it there")});
        };
        orphan(place.HasSettings, kSettingsFileName, plugin->HasSettings);
        orphan(place.HasCars, kCarFolderName, plugin->HasCars);
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

// Why a file cannot be read, in a player's words, and what the player can do.
struct Unreadable {
    const char* Cause;  // empty: no reason worth naming
    const char* Fix;
};

Unreadable Explain(sys::ReadFailure failure) {
    using sys::ReadFailure;
    const char* const closeIt = "close the program that holds it (an editor, a sync tool) and check again";
    switch (failure) {
        case ReadFailure::Missing: return {"it does not exist", "check that Notepad can open it"};
        case ReadFailure::AccessDenied:
            return {"access is denied",
                    "give your account read access (the file's Properties, Security), or copy it out of the "
                    "folder and back"};
        case ReadFailure::Shared: return {"another program has it open and shares it with no one", closeIt};
        case ReadFailure::Locked: return {"another program has locked it", closeIt};
        case ReadFailure::DiskError:
            return {"the disk reports an error where it lies", "restore it from a backup or the package"};
        default: return {"", "check that Notepad can open it"};
    }
}

// "<what> cannot be read (<cause>)".
std::string CannotRead(const std::string& what, sys::ReadFailure failure) {
    const char* cause = Explain(failure).Cause;
    return what + " cannot be read" + (*cause ? std::string(" (") + cause + ")" : "");
}

// The same, then "<consequence>; <fix>".
std::string UnreadableMessage(const std::string& what, const std::string& path, const std::string& consequence) {
    const sys::ReadFailure failure = sys::WhyUnreadable(path);
    return CannotRead(what, failure) + ": " + consequence + "; " + Explain(failure).Fix;
}

}  // namespace

Result Run(const Options& options) {
    Result result;
    result.UnderWine = sys::UnderWine();
    std::vector<os::FolderEntry> named;
    std::vector<sys::Entry> pluginFolder;  // what lies beside the plugin
    if (!os::ListFolder(os::PathFromUtf8(options.PluginDir), named)) {
        result.Errors.push_back("the folder " + options.PluginDir + " does not exist or cannot be opened");
        result.PluginFolder = sys::FullFolderPath(options.PluginDir);
    } else {
        pluginFolder = CheckLayout(options.PluginDir, result);
    }
    const os::NativePath folder = os::PathFromUtf8(result.PluginFolder);
    result.SettingsFile = result.PluginFolder + kSettingsFileName;

    // The values, by the plugin's own code.
    os::UsePluginFolder(folder);
    const LoadedSettings loaded = LoadSettings();
    result.Global = loaded.Global;

    // The main file, line by line.
    const SettingsFile mainFile = ReadSettingsFile(kSettingsFileName, kSettingsFileName, result.Warnings);
    result.SettingsFound = mainFile.Read;
    for (const sys::Entry& entry : pluginFolder) {
        if (!SameName(entry.Name, kSettingsFileName)) continue;
        if (entry.IsFolder) {
            result.Warnings.push_back({kSettingsFileName, 0, "is a folder: the plugin uses the defaults"});
        } else if (!mainFile.Read) {
            result.SettingsUnreadable = true;
            result.Errors.push_back(
                UnreadableMessage(kSettingsFileName, result.SettingsFile, "the plugin uses the defaults"));
        }
    }
    std::vector<std::string> mainKeys;
    for (const GlobalKey& key : kGlobalKeys) mainKeys.push_back(key.Name);
    if (!mainFile.Encoding.empty()) {
        result.Errors.push_back(std::string(kSettingsFileName) + " is saved as " + mainFile.Encoding +
                                ": the plugin reads no setting from it and uses the defaults; save it as "
                                "ANSI or UTF-8 (in Notepad: Save As, Encoding)");
    } else {
        CheckLines(kSettingsFileName, mainFile.Text, mainFile.Document, mainKeys, false, result.Warnings);
    }
    SortByLine(result.Warnings, 0);

    // The car folder: the load's records, in its order, and each file's lines.
    for (const auto& loadedRecord : loaded.Cars) {
        const CarSettingsRecord& record = *loadedRecord;
        const bool isFolder = record.IsFolder;
        const std::string name = ShownName(record.Name);
        result.Cars.push_back({name, record.ForceLodA, isFolder});
        const std::string file = std::string(kCarFolderName) + kSeparator + name;
        if (isFolder) {
            result.Warnings.push_back({file, 0, "is a folder: it gets a record with ForceLodA off, and nothing in it is read"});
            continue;
        }
        const std::size_t firstWarning = result.Warnings.size();
        const std::string folded = Fold(name);
        if (!EndsWith(folded, ".ini") || CopyMark(folded) != std::string::npos) {
            result.Warnings.push_back({file, 0, "the game knows a car by its whole file name, extension included, so "
                                                "this file applies only to a car named '" + name + "': " +
                                                NameMistake(name, MeantName(name))});
        }
        const SettingsFile car = ReadSettingsFile(std::string(kCarFolderName) + '\\' + record.Name, file, result.Warnings);
        if (!car.Read) {
            result.Warnings.push_back({file, 0, UnreadableMessage("it", result.PluginFolder + file,
                                                                  "this car's ForceLodA is off")});
            continue;
        }
        if (!car.Encoding.empty()) {
            result.Errors.push_back(file + " is saved as " + car.Encoding +
                                    ": the plugin reads nothing from it and this car's ForceLodA is off; "
                                    "save it as ANSI or UTF-8 (in Notepad: Save As, Encoding)");
            continue;
        }
        CheckLines(file, car.Text, car.Document, {kForceLodAKey}, true, result.Warnings);
        const IniDocument::Section* general = car.Document.FindSection(kGeneralSection);
        if (general == nullptr || general->count(kForceLodAKey) == 0) {
            result.Warnings.push_back({file, 0, "has no ForceLodA in [GENERAL]: this car's ForceLodA is off"});
        }
        SortByLine(result.Warnings, firstWarning);
    }
    // Names the plugin's listing skips: they have no exact form in the code page the
    // plugin reads names in.
    std::set<std::string> listed;
    for (const auto& record : loaded.Cars) listed.insert(ShownName(record->Name));
    for (const sys::Entry& entry : sys::ListEverything(result.PluginFolder + kCarFolderName)) {
        if (listed.count(entry.Name) != 0) continue;
        result.Warnings.push_back({std::string(kCarFolderName) + kSeparator + entry.Name, 0,
                                   "is skipped: the plugin reads file names in code page " +
                                       std::to_string(sys::NameCodePage()) +
                                       ", which cannot hold every character of this one; rename it with "
                                       "letters of that code page (A to Z and digits always work)"});
    }

    if (!options.Exe.empty()) {
        result.CheckedExe = true;
        result.Exe.Path = options.Exe;
        std::string bytes;
        if (!os::ReadWholeFile(os::PathFromUtf8(options.Exe), bytes)) {
            const sys::ReadFailure failure = sys::WhyUnreadable(options.Exe);
            result.Exe.Error =
                failure == sys::ReadFailure::Missing ? "the file does not exist" : CannotRead("the file", failure);
        } else {
            const HostFileCheck check = CheckHostFile(bytes);
            result.Exe.Supported = check.Supported;
            result.Exe.HasEntryPoint = check.HasEntryPoint;
            result.Exe.EntryPoint = check.EntryPoint;
            result.Exe.Error = check.Error;
        }
    }
    return result;
}

int ExitStatus(const Result& result) {
    if (!result.Errors.empty()) return 2;
    if (result.CheckedExe && !result.Exe.Supported) return 2;
    return result.Warnings.empty() ? 0 : 1;
}

namespace {

std::string OnOff(bool value) { return value ? "on" : "off"; }

// The exe check in a player's words; the entry point is in the JSON.
std::string ExeVerdict(const ExeCheck& exe) {
    if (!exe.Error.empty()) return exe.Error;
    if (exe.Supported) return "the game build the plugin supports (version 1.1)";
    return "not the game build the plugin supports (version 1.1 of the game's executable): the plugin will show "
           "\"This .exe is not supported.\" and change nothing";
}

std::string WarningText(const Warning& warning) {
    if (warning.File.empty()) return warning.Message;
    return warning.File + (warning.Line ? ":" + std::to_string(warning.Line) : "") + ": " + warning.Message;
}

}  // namespace

std::string Verdict(const Result& result) {
    std::vector<std::string> problems;
    for (const std::string& error : result.Errors) problems.push_back("ERROR: " + error);
    if (result.CheckedExe && !result.Exe.Supported) {
        problems.push_back("ERROR: " + result.Exe.Path + ": " + ExeVerdict(result.Exe));
    }
    for (const Warning& warning : result.Warnings) problems.push_back("WARNING: " + WarningText(warning));
    if (problems.empty()) {
        return "OK: the plugin in " + result.PluginFolder + " will use the settings below, and nothing here looks "
               "like a mistake";
    }
    const std::size_t more = problems.size() - 1;
    return problems[0] + (more ? " (" + std::to_string(more) + " more below)" : "");
}

std::string RenderText(const Result& result) {
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + "\n"; };
    line(Verdict(result));
    if (result.Plugins.empty()) line("Plugin: not found");
    for (std::size_t i = 0; i < result.Plugins.size(); ++i) {
        line("Plugin: " + result.Plugins[i] + " (" + VersionText(result.PluginVersions[i]) + ")");
    }
    if (!result.OtherPlugins.empty()) {
        line("Other plugins the ASI loader loads with it (the first to remove when the game misbehaves): " +
             std::to_string(result.OtherPlugins.size()));
    }
    for (const OtherPlugin& other : result.OtherPlugins) line("  " + other.Path + " (" + VersionText(other.Version) + ")");
    if (!result.SumsFile.empty()) {
        line("Checksums: " + std::to_string(result.SumsMatched) + " files match " + result.SumsFile +
             (result.SumsDiffer.empty() ? "" : ", " + std::to_string(result.SumsDiffer.size()) + " do not"));
    }
    for (const std::string& loader : result.Loaders) {
        // Wine takes its own DLL of that name unless told to take the game's first.
        const std::size_t name = loader.find_last_of("\\/") + 1;
        const std::string stem = loader.substr(name, loader.size() - name - 4);
        line("ASI loader: " + loader +
             (result.UnderWine ? " (under Wine and Proton the game needs WINEDLLOVERRIDES=\"" + stem + "=n,b\")" : ""));
    }
    line("Settings file: " + result.SettingsFile +
         (result.SettingsFound        ? " (found)"
          : result.SettingsUnreadable ? " (cannot be read: the plugin uses the defaults)"
                                      : " (not found: the plugin uses the defaults)"));
    line("The plugin will hold:");
    const GlobalSettingsRecord& global = result.Global;
    for (const GlobalKey& key : kGlobalKeys) {
        line("  " + std::string(key.Name).append(27 - std::strlen(key.Name), ' ') +
             (key.Switch != nullptr ? OnOff(global.*key.Switch) : FloatText(global.*key.Number)));
    }
    line(std::string("Car entries in ") + kCarFolderName + ": " + std::to_string(result.Cars.size()));
    for (const Car& car : result.Cars) {
        line("  " + car.Name + (car.Folder ? " (folder)" : "") + "  ForceLodA " + OnOff(car.ForceLodA));
    }
    if (result.Warnings.empty()) {
        line("No warnings.");
    } else {
        line("Warnings: " + std::to_string(result.Warnings.size()));
        for (const Warning& warning : result.Warnings) line("  " + WarningText(warning));
    }
    for (const std::string& error : result.Errors) line("ERROR: " + error);
    if (result.CheckedExe) line("Exe: " + result.Exe.Path + ": " + ExeVerdict(result.Exe));
    return out;
}

std::string RenderJson(const Result& result) {
    std::vector<std::string> cars, warnings, errors;
    for (const Car& car : result.Cars) {
        cars.push_back(json::Object({{"name", json::String(car.Name)},
                                     {"ForceLodA", json::Bool(car.ForceLodA)},
                                     {"folder", json::Bool(car.Folder)}}));
    }
    for (const Warning& warning : result.Warnings) {
        warnings.push_back(json::Object({{"file", json::String(warning.File)},
                                         {"line", warning.Line ? json::Integer(static_cast<std::int64_t>(warning.Line)) : json::kNull},
                                         {"message", json::String(warning.Message)}}));
    }
    for (const std::string& error : result.Errors) errors.push_back(json::String(error));
    const auto version = [](const PeVersion& of) {
        return of.Version.empty()
                   ? json::Object({{"version", json::kNull}, {"problem", json::String(of.Problem)}})
                   : json::Object({{"version", json::String(of.Version)}});
    };
    std::vector<std::string> plugins, versions, others;
    for (const std::string& plugin : result.Plugins) plugins.push_back(json::String(plugin));
    for (const PeVersion& of : result.PluginVersions) versions.push_back(version(of));
    for (const OtherPlugin& other : result.OtherPlugins) {
        others.push_back(json::Object({{"path", json::String(other.Path)}, {"version", version(other.Version)}}));
    }
    std::vector<std::pair<std::string, std::string>> members = {
        {"verdict", json::String(Verdict(result))},
        {"status", json::Integer(ExitStatus(result))},
        {"plugin_folder", json::String(result.PluginFolder)},
        {"plugins", json::Array(plugins)},
        {"plugin_versions", json::Array(versions)},
        {"checker_version", json::String(kCheckerVersion)},
        {"other_plugins", json::Array(others)},
        {"settings_file", json::String(result.SettingsFile)},
        {"settings_found", json::Bool(result.SettingsFound)},
        {"global", json::GlobalSettings(result.Global)},
        {"cars", json::Array(cars)},
        {"warnings", json::Array(warnings)},
        {"errors", json::Array(errors)},
    };
    if (result.LookedForLoaders) {
        std::vector<std::string> loaders;
        for (const std::string& loader : result.Loaders) loaders.push_back(json::String(loader));
        members.insert(members.begin() + 7, {"asi_loaders", json::Array(loaders)});
    }
    if (!result.SumsFile.empty()) {
        std::vector<std::string> differ;
        for (const std::string& file : result.SumsDiffer) differ.push_back(json::String(file));
        members.insert(members.begin() + 7 + result.LookedForLoaders,
                       {"checksums", json::Object({{"file", json::String(result.SumsFile)},
                                                   {"matched", json::Integer(static_cast<std::int64_t>(result.SumsMatched))},
                                                   {"differ", json::Array(differ)}})});
    }
    if (result.CheckedExe) {
        members.push_back({"exe", json::Object({{"path", json::String(result.Exe.Path)},
                                                {"supported", json::Bool(result.Exe.Supported)},
                                                {"entry_point", result.Exe.HasEntryPoint ? json::Hex(result.Exe.EntryPoint) : json::kNull},
                                                {"error", result.Exe.Error.empty() ? json::kNull : json::String(result.Exe.Error)}})});
    }
    return json::Object(members) + "\n";
}

std::string DumpIniJson(const os::NativePath& path) {
    std::string bytes;
    const bool found = os::ReadWholeFile(path, bytes);
    IniDocument document;
    if (found) document.Parse(TranslateTextMode(bytes));
    return DumpDocumentJson(found, document);
}

std::string DumpDocumentJson(bool found, const IniDocument& document) {
    std::vector<std::string> sections;
    for (const auto& [name, keys] : document.Sections) {
        std::vector<std::string> pairs;
        for (const auto& [key, value] : keys) {
            pairs.push_back(json::Object({{"key", json::String(key)}, {"value", json::String(value)}}));
        }
        sections.push_back(json::Object({{"name", json::String(name)}, {"keys", json::Array(pairs)}}));
    }
    return json::Object({{"found", json::Bool(found)}, {"sections", json::Array(sections)}}) + "\n";
}

}  // namespace zk::check
