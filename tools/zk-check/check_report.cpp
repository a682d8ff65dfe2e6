// The report: the verdict line, the text a player reads and the JSON a script
// reads, the parsed-document dump of --dump-ini, and the last words of a failure.
#include "check_parts.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "json.h"
#include "settings/global_settings.h"

namespace zk::check {

namespace {

std::string VersionText(const PeVersion& version) {
    return version.Version.empty() ? "no version: " + version.Problem : "version " + version.Version;
}

std::string OnOff(bool value) { return value ? "on" : "off"; }

// The exe check in a player's words; the entry point is in the JSON.
std::string ExeVerdict(const ExeCheck& exe) {
    if (!exe.Error.empty()) return exe.Error;
    if (exe.Supported) return "the game build the plugin supports (version 1.1)";
    return "not the game build the plugin supports (version 1.1 of the game's executable): the plugin will show "
           "\"This .exe is not supported.\" and change nothing";
}

}  // namespace

// " (fix: ...)" or " (no fix: ...)" after a problem's text.
std::string Marked(const std::string& fix, const std::string& noFix) {
    if (!fix.empty()) return " (fix: " + fix + ")";
    return noFix.empty() ? "" : " (no fix: " + noFix + ")";
}

std::string WarningText(const Warning& warning) {
    if (warning.File.empty()) return warning.Message;
    return warning.File + (warning.Line ? ":" + std::to_string(warning.Line) : "") + ": " + warning.Message;
}

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
        for (const Warning& warning : result.Warnings) {
            line(std::string(warning.Fix.empty() ? "  " : "  [fix] ") + WarningText(warning) + Marked(warning.Fix, warning.NoFix));
        }
    }
    for (std::size_t i = 0; i < result.Errors.size(); ++i) {
        const std::string fix = i < result.ErrorFixes.size() ? result.ErrorFixes[i] : "";
        line("ERROR: " + std::string(fix.empty() ? "" : "[fix] ") + result.Errors[i] + Marked(fix, ""));
    }
    const std::size_t fixable = FixableCount(result);
    if (fixable > 0) {
        line("Fixable: " + std::to_string(fixable) + " problem" + (fixable == 1 ? " is" : "s are") +
             " marked [fix]; zk-check --fix makes those fixes, with a backup of every file first");
    }
    if (result.CheckedExe) line("Exe: " + result.Exe.Path + ": " + ExeVerdict(result.Exe));
    return out;
}

std::size_t FixableCount(const Result& result) {
    std::size_t count = 0;
    for (const Warning& warning : result.Warnings) count += !warning.Fix.empty();
    for (const std::string& fix : result.ErrorFixes) count += !fix.empty();
    return result.Fixes.empty() ? 0 : count;
}

std::string RenderFixText(const FixOutcome& outcome, const Result& after) {
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + "\n"; };
    line("");
    if (!outcome.Refused.empty()) {
        line("Fixes: " + outcome.Refused);
    } else if (outcome.Fixes.empty()) {
        line("Fixes: nothing to fix: no problem here has a fix that is certain, and nothing was changed");
    } else {
        std::size_t made = 0;
        for (const auto& done : outcome.Fixes) made += done.Made;
        line("Fixes: " + std::to_string(made) + " of " + std::to_string(outcome.Fixes.size()) + " made" +
             (outcome.Stopped ? "; they stopped at a change that failed, and the backup holds every original" : ""));
        if (!outcome.Backup.empty()) {
            line("Backup: " + outcome.Backup + " (" + std::to_string(outcome.BackedUp) + " file" +
                 (outcome.BackedUp == 1 ? "" : "s") + ", each read back and compared byte for byte)");
        }
        if (!outcome.HiddenBackup.empty()) line("The hidden copies are now in " + outcome.HiddenBackup);
        for (const auto& done : outcome.Fixes) line("  " + std::string(done.Made ? "made: " : "not made: ") + done.What + (done.Why.empty() ? "" : " (" + done.Why + ")"));
    }
    if (outcome.Uncertain > 0) {
        line("No fix for " + std::to_string(outcome.Uncertain) + " problem" + (outcome.Uncertain == 1 ? "" : "s") +
             ": none is certain (which copy, which line or which value you meant), or it needs you (an ASI loader, "
             "the game's build)");
    }
    line("After the fixes: " + Verdict(after));
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
                                         {"message", json::String(warning.Message)},
                                         {"fixable", json::Bool(!warning.Fix.empty())},
                                         {"fix", warning.Fix.empty() ? json::kNull : json::String(warning.Fix)}}));
    }
    for (std::size_t i = 0; i < result.Errors.size(); ++i) {
        const std::string fix = i < result.ErrorFixes.size() ? result.ErrorFixes[i] : "";
        errors.push_back(json::Object({{"message", json::String(result.Errors[i])},
                                       {"fixable", json::Bool(!fix.empty())},
                                       {"fix", fix.empty() ? json::kNull : json::String(fix)}}));
    }
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

std::string RenderFixJson(const Result& before, const FixOutcome& outcome, const Result& after) {
    std::vector<std::string> fixes;
    for (const auto& done : outcome.Fixes) {
        fixes.push_back(json::Object({{"fix", json::String(done.What)},
                                      {"made", json::Bool(done.Made)},
                                      {"why", done.Why.empty() ? json::kNull : json::String(done.Why)}}));
    }
    const auto object = [](const std::string& text) { return text.substr(0, text.size() - 1); };  // without its line end
    return json::Object({{"before", object(RenderJson(before))},
                         {"refused", outcome.Refused.empty() ? json::kNull : json::String(outcome.Refused)},
                         {"backup", outcome.Backup.empty() ? json::kNull : json::String(outcome.Backup)},
                         {"backed_up", json::Integer(static_cast<std::int64_t>(outcome.BackedUp))},
                         {"hidden_copies_in", outcome.HiddenBackup.empty() ? json::kNull : json::String(outcome.HiddenBackup)},
                         {"fixes", json::Array(fixes)},
                         {"stopped", json::Bool(outcome.Stopped)},
                         {"without_a_fix", json::Integer(static_cast<std::int64_t>(outcome.Uncertain))},
                         {"verdict_after", json::String(Verdict(after))},
                         {"status_after", json::Integer(ExitStatus(after))},
                         {"after", object(RenderJson(after))}}) +
           "\n";
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

void PrintTerminateMessage() {
    static bool terminating = false;
    if (terminating) {
        std::fputs("terminate called recursively\n", stderr);
        std::abort();
    }
    terminating = true;
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        std::fputs("terminate called without an active exception\n", stderr);
        std::abort();
    }
    const char* name = type->name();
    std::fputs("terminate called after throwing an instance of '", stderr);
    std::fputs(name[0] == '*' ? name + 1 : name, stderr);
    std::fputs("'\n", stderr);
    try {
        throw;
    } catch (const std::exception& exception) {
        std::fputs("  what():  ", stderr);
        std::fputs(exception.what(), stderr);
        std::fputs("\n", stderr);
    } catch (...) {
    }
    std::abort();
}

}  // namespace zk::check
