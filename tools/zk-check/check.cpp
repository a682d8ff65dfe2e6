// zk-check: Run puts the parts together (the layout, the settings as the plugin
// loads them, each file line by line, the car folder, the exe); the words all the
// parts use.
#include "check_parts.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "cars/car_settings.h"
#include "core/host_check.h"
#include "settings/global_settings.h"

namespace zk::check {

const char* const kCheckerVersion = ZK_VERSION;

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

std::string FloatText(float value) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string FileNameOf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

// One file's warnings, from `first` on, by line; those about the whole file first.
void SortByLine(std::vector<Warning>& warnings, std::size_t first) {
    std::stable_sort(warnings.begin() + static_cast<std::ptrdiff_t>(first), warnings.end(),
                     [](const Warning& a, const Warning& b) { return a.Line < b.Line; });
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

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

    PlanFixes(result, pluginFolder);
    CheckVirtualStore(result);

    if (!options.Exe.empty()) {
        result.CheckedExe = true;
        result.Exe.Path = options.Exe;
        std::string bytes;
        if (!ReadProgramHeaders(options.Exe, bytes)) {
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

}  // namespace zk::check
