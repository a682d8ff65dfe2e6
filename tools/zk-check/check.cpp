#include "check.h"

#include <algorithm>
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

namespace zk::check {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

const char* const kFlagKeys[] = {"ForceLodA", "ExpandMemoryPools", "InfiniteTuningSliders",
                                 "InfiniteAutosculptSliders"};
const char* const kMainKeys[] = {"ForceLodA", "FrontSteerAngle", "ExpandMemoryPools",
                                 "InfiniteTuningSliders", "InfiniteAutosculptSliders"};

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
            for (const std::string& name : keys) {
                if (Fold(key) == Fold(name)) {
                    warn(line.Number, Quote(key) + " is not read: keys are case-sensitive; write " + Quote(name));
                    return;
                }
            }
            warn(line.Number, "unknown key " + Quote(key) + " in [GENERAL]: " + readsOnly);
            return;
        }
        const std::string value(line.Value);
        if (key == "FrontSteerAngle") {
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
        for (const char* flag : kFlagKeys) {
            if (key != flag) continue;
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

}  // namespace

Result Run(const Options& options) {
    Result result;
    const os::NativePath dir = os::PathFromUtf8(options.PluginDir);
    os::NativePath folder = dir;
    if (!folder.empty() && folder.back() != static_cast<os::NativePath::value_type>(kSeparator) &&
        folder.back() != '/') {
        folder.push_back(static_cast<os::NativePath::value_type>(kSeparator));
    }
    result.SettingsFile = os::DisplayPath(folder) + kSettingsFileName;

    std::vector<os::FolderEntry> top;
    if (!os::ListFolder(dir, top)) {
        result.Errors.push_back("cannot list the plugin folder " + options.PluginDir);
    }

    // The values, by the plugin's own code.
    os::UsePluginFolder(folder);
    GlobalSettings = GlobalSettingsRecord{};
    CarSettingsRegistry.clear();
    LoadGlobalSettings();
    result.Global = GlobalSettings;

    // The main file, line by line.
    const SettingsFile mainFile = ReadSettingsFile(kSettingsFileName, kSettingsFileName, result.Warnings);
    result.SettingsFound = mainFile.Read;
    for (const os::FolderEntry& entry : top) {
        if (entry.Name != kSettingsFileName) continue;
        if (entry.IsFolder) {
            result.Warnings.push_back({kSettingsFileName, 0, "is a folder: the plugin uses the defaults"});
        } else if (!mainFile.Read) {
            result.Errors.push_back(std::string("cannot read ") + result.SettingsFile +
                                    ": the plugin would use the defaults");
        }
    }
    std::vector<std::string> mainKeys(std::begin(kMainKeys), std::end(kMainKeys));
    if (!mainFile.Encoding.empty()) {
        result.Errors.push_back(std::string(kSettingsFileName) + " is saved as " + mainFile.Encoding +
                                ": the plugin reads no setting from it and uses the defaults; save it as "
                                "ANSI or UTF-8 (in Notepad: Save As, Encoding)");
    } else {
        CheckLines(kSettingsFileName, mainFile.Text, mainFile.Document, mainKeys, false, result.Warnings);
    }
    SortByLine(result.Warnings, 0);

    // The car folder: the registry's records, in its order, and each file's lines.
    std::vector<os::FolderEntry> entries;
    os::NativePath carFolder;
    if (os::JoinPath(folder, kCarFolderName, carFolder)) os::ListFolder(carFolder, entries);
    for (std::size_t i = 0; i < CarSettingsRegistry.size(); ++i) {
        const CarSettingsRecord& record = *CarSettingsRegistry[i];
        const bool isFolder = i < entries.size() && entries[i].Name == record.Name && entries[i].IsFolder;
        result.Cars.push_back({record.Name, record.ForceLodA, isFolder});
        const std::string file = std::string(kCarFolderName) + kSeparator + record.Name;
        if (isFolder) {
            result.Warnings.push_back({file, 0, "is a folder: it gets a record with ForceLodA off, and nothing in it is read"});
            continue;
        }
        const std::size_t firstWarning = result.Warnings.size();
        const SettingsFile car = ReadSettingsFile(std::string(kCarFolderName) + '\\' + record.Name, file, result.Warnings);
        if (!car.Read) {
            result.Warnings.push_back({file, 0, "cannot be read: this car's ForceLodA is off"});
            continue;
        }
        if (!car.Encoding.empty()) {
            result.Errors.push_back(file + " is saved as " + car.Encoding +
                                    ": the plugin reads nothing from it and this car's ForceLodA is off; "
                                    "save it as ANSI or UTF-8 (in Notepad: Save As, Encoding)");
            continue;
        }
        CheckLines(file, car.Text, car.Document, {"ForceLodA"}, true, result.Warnings);
        const IniDocument::Section* general = car.Document.FindSection(kGeneralSection);
        if (general == nullptr || general->count("ForceLodA") == 0) {
            result.Warnings.push_back({file, 0, "has no ForceLodA in [GENERAL]: this car's ForceLodA is off"});
        }
        SortByLine(result.Warnings, firstWarning);
    }

    if (!options.Exe.empty()) {
        result.CheckedExe = true;
        result.Exe.Path = options.Exe;
        std::string bytes;
        if (!os::ReadWholeFile(os::PathFromUtf8(options.Exe), bytes)) {
            result.Exe.Error = "cannot read the file";
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

std::string HexText(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string ExeVerdict(const ExeCheck& exe) {
    if (!exe.Error.empty()) return "ERROR: " + exe.Error;
    if (exe.Supported) return "the supported build (entry point " + HexText(exe.EntryPoint) + ")";
    return "NOT the supported build: entry point " + HexText(exe.EntryPoint) + ", the supported build has " +
           HexText(SupportedEntryPointRva) + "; the plugin would show \"This .exe is not supported.\" and stay out";
}

}  // namespace

std::string RenderText(const Result& result) {
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + "\n"; };
    line("Settings file: " + result.SettingsFile +
         (result.SettingsFound ? " (found)" : " (not found: the plugin uses the defaults)"));
    line("The plugin will hold:");
    const GlobalSettingsRecord& global = result.Global;
    line("  ForceLodA                  " + OnOff(global.ForceLodA));
    line("  FrontSteerAngle            " + FloatText(global.FrontSteerAngle));
    line("  ExpandMemoryPools          " + OnOff(global.ExpandMemoryPools));
    line("  InfiniteTuningSliders      " + OnOff(global.InfiniteTuningSliders));
    line("  InfiniteAutosculptSliders  " + OnOff(global.InfiniteAutosculptSliders));
    line("Car entries in KavrinCars: " + std::to_string(result.Cars.size()));
    for (const Car& car : result.Cars) {
        line("  " + car.Name + (car.Folder ? " (folder)" : "") + "  ForceLodA " + OnOff(car.ForceLodA));
    }
    if (result.Warnings.empty()) {
        line("No warnings.");
    } else {
        line("Warnings: " + std::to_string(result.Warnings.size()));
        for (const Warning& warning : result.Warnings) {
            line("  " + warning.File + (warning.Line ? ":" + std::to_string(warning.Line) : "") + ": " +
                 warning.Message);
        }
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
    std::vector<std::pair<std::string, std::string>> members = {
        {"settings_file", json::String(result.SettingsFile)},
        {"settings_found", json::Bool(result.SettingsFound)},
        {"global", json::GlobalSettings(result.Global)},
        {"cars", json::Array(cars)},
        {"warnings", json::Array(warnings)},
        {"errors", json::Array(errors)},
    };
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
