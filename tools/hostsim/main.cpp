// zk-hostsim: loads the real ZorbelKavrin.asi into the simulated host and reports
// the build check, the settings as read, every protection window, every host byte
// changed, and a few passes through each installed hook. With --stay-until it is
// the game as a player starts it instead: its ASI loader loads the .asi files
// beside it, and it keeps running for a look from outside (zk-check --running).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cars/car_settings.h"
#include "core/host_addresses.h"
#include "core/host_check.h"
#include "core/os.h"
#include "harness.h"
#include "plugin_image.h"
#include "report.h"
#include "settings/global_settings.h"

namespace {

const char kUsage[] =
    "usage: zk-hostsim [--settings DIR | --game DIR] [--plugin-in SUB] [--workdir DIR]\n"
    "                  [--entry-point HEX] [--json]\n"
    "       zk-hostsim --stay-until FILE [--entry-point HEX]\n"
    "  --settings DIR      folder holding ZorbelKavrin.ini and KavrinCars, copied beside\n"
    "                      the plugin (default: the examples shipped beside this program)\n"
    "  --game DIR          a whole game folder instead, copied as it is\n"
    "  --plugin-in SUB     the plugin's folder below the game folder (scripts, plugins)\n"
    "  --workdir DIR       working directory while the plugin loads\n"
    "  --entry-point HEX   pretend the host has another AddressOfEntryPoint\n"
    "  --json              the report as one JSON object\n"
    "  --stay-until FILE   the game as a player starts it: loads every .asi file of\n"
    "                      this program's folder, then of its scripts and plugins\n"
    "                      folders (each in name order), where they lie, as an ASI\n"
    "                      loader does; says what it loaded, then keeps running\n"
    "                      until FILE exists\n";

bool ParseOptions(const std::vector<std::string>& arguments, hostsim::Options& options) {
    options.Settings = harness::ProgramFolder() + L"examples";
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--json") {
            options.Json = true;
        } else if (argument == "--settings" && hasValue) {
            options.Settings = harness::Widen(arguments[++i]);
        } else if (argument == "--game" && hasValue) {
            options.Game = harness::Widen(arguments[++i]);
        } else if (argument == "--plugin-in" && hasValue) {
            options.PluginIn = harness::Widen(arguments[++i]);
        } else if (argument == "--workdir" && hasValue) {
            options.WorkingDirectory = harness::Widen(arguments[++i]);
        } else if (argument == "--stay-until" && hasValue) {
            options.StayUntil = harness::Widen(arguments[++i]);
        } else if (argument == "--entry-point" && hasValue) {
            options.HasEntryPoint = true;
            options.EntryPoint = static_cast<std::uint32_t>(std::strtoul(arguments[++i].c_str(), nullptr, 16));
        } else {
            return false;
        }
    }
    for (std::wstring* folder : {&options.Settings, &options.Game, &options.PluginIn}) {
        while (!folder->empty() && (folder->back() == L'\\' || folder->back() == L'/')) folder->pop_back();
    }
    const bool reportOnly = !options.Game.empty() || !options.PluginIn.empty() || !options.WorkingDirectory.empty() ||
                            options.Json || options.Settings != harness::ProgramFolder() + L"examples";
    return options.StayUntil.empty() || !reportOnly;
}

void Say(const std::string& text) {
    std::fputs(("zk-hostsim: " + text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The game as a player starts it, with an ASI loader beside it: every .asi file of
// its folder, then of scripts and plugins, each folder's in name order, loaded
// where it lies; then it runs on until the file `until` exists.
int Stay(const std::wstring& until) {
    Say("PID " + std::to_string(GetCurrentProcessId()));
    const std::wstring game = harness::ProgramFolder();
    for (const wchar_t* sub : {L"", L"scripts\\", L"plugins\\"}) {
        std::vector<std::wstring> names;
        const std::wstring folder = game + sub;
        harness::ForEachEntry(folder.substr(0, folder.size() - 1), [&names](const WIN32_FIND_DATAW& found) {
            const std::wstring name = found.cFileName;
            const bool asi = name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".asi") == 0;
            if (asi && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(name);
        });
        std::sort(names.begin(), names.end(),
                  [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
        for (const std::wstring& name : names) {
            const std::wstring path = game + sub + name;
            const HMODULE module = LoadLibraryW(path.c_str());
            char base[16];
            std::snprintf(base, sizeof base, "0x%X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(module)));
            Say(module != nullptr ? "loaded " + harness::Narrow(path) + " at " + base
                                  : "not loaded: " + harness::Narrow(path) + " (error " +
                                        std::to_string(GetLastError()) + ")");
        }
    }
    for (const auto& message : harness::TakeMessages()) {
        std::string text = message.Text;
        std::replace(text.begin(), text.end(), '\n', ' ');
        Say("message box \"" + message.Caption + "\": " + text);
    }
    Say("staying until " + harness::Narrow(until) + " exists");
    while (GetFileAttributesW(until.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(20);
    return 0;
}

// The settings as the plugin reads them, by the plugin's own code in this module.
void ReadSettings(const std::wstring& folder, hostsim::Report& report) {
    zk::os::UsePluginFolder(folder);
    const zk::LoadedSettings loaded = zk::LoadSettings();
    report.Global = loaded.Global;
    zk::os::NativePath path;
    std::string ignored;
    report.SettingsFound = zk::os::JoinPath(zk::os::PluginFolder(), zk::kSettingsFileName, path) &&
                           zk::os::ReadWholeFile(path, ignored);
    for (const auto& record : loaded.Cars) {
        report.Cars.push_back({record->Name, record->Key, record->ForceLodA});
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) int DriverMain() {
    harness::SilenceDebugOutput();
    harness::InstallRecorders();
    // Under Wine, Windows' own strictness; Windows has it already.
    const std::string unwrapped = harness::WineVersion().empty() ? "" : harness::InstallStrictKernel();
    if (!unwrapped.empty()) {
        std::fprintf(stderr, "zk-hostsim: cannot wrap %s\n", unwrapped.c_str());
        return 3;
    }
    harness::TakeHostSnapshot();

    hostsim::Options options;
    if (!ParseOptions(harness::CommandLineArguments(), options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!options.StayUntil.empty()) {
        if (options.HasEntryPoint) {
            const std::uint32_t field = SIM_IMAGE_BASE + harness::PeekHost32(SIM_IMAGE_BASE + 0x3C) + 0x28;
            harness::PokeHost(field, &options.EntryPoint, 4);
        }
        return Stay(options.StayUntil);
    }
    const std::wstring& source = options.Game.empty() ? options.Settings : options.Game;
    if (GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "zk-hostsim: no folder %s\n", harness::Narrow(source).c_str());
        return 2;
    }

    hostsim::Report report;
    harness::Scenario scenario(options.PluginIn);
    if (options.Game.empty()) {
        harness::CopyTree(options.Settings, scenario.PluginFolder().substr(0, scenario.PluginFolder().size() - 1));
    } else {
        // The game folder as it is, then the plugin under test over any copy it holds.
        harness::CopyTree(options.Game, scenario.Root());
        CopyFileW((harness::ProgramFolder() + L"ZorbelKavrin.asi").c_str(), scenario.PluginPath().c_str(), FALSE);
    }
    report.PluginPath = harness::Narrow(scenario.PluginPath());
    report.SettingsPath = harness::Narrow(source);
    report.WholeGame = !options.Game.empty();

    const std::uint32_t entryField = SIM_IMAGE_BASE + harness::PeekHost32(SIM_IMAGE_BASE + 0x3C) + 0x28;
    if (options.HasEntryPoint) harness::PokeHost(entryField, &options.EntryPoint, 4);
    const auto* image = reinterpret_cast<const std::uint8_t*>(SIM_IMAGE_BASE);
    report.EntryPoint = zk::ReadEntryPointRva(image);
    report.Supported = zk::IsSupportedHostImage(image);  // the plugin's own verdict

    std::wstring savedDirectory(32768, L'\0');
    savedDirectory.resize(GetCurrentDirectoryW(static_cast<DWORD>(savedDirectory.size()), &savedDirectory[0]));
    if (!options.WorkingDirectory.empty()) SetCurrentDirectoryW(options.WorkingDirectory.c_str());
    std::wstring directory(32768, L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), &directory[0]));
    report.WorkingDirectory = harness::Narrow(directory);

    report.Loaded = scenario.Load();
    SetCurrentDirectoryW(savedDirectory.c_str());
    report.Messages = harness::TakeMessages();
    report.Windows = harness::TakeProtectCalls();
    const harness::ModuleRange module = harness::RangeOf(scenario.Module());
    report.ModuleBase = module.Base;
    // Only what the plugin changed: not the entry point field this tool may have
    // set, nor the simulated host's own counters and tables.
    std::vector<harness::ByteChange> bytes;
    for (const auto& change : harness::ChangedBytes()) {
        const bool ours = options.HasEntryPoint && change.Address >= entryField && change.Address < entryField + 4;
        const bool bookkeeping = change.Address >= SIM_LOOKUP_COUNT && change.Address < SIM_LOOKUP_CALLS + 4;
        if (!ours && !bookkeeping) bytes.push_back(change);
    }
    report.Changes = hostsim::DescribeChanges(bytes, module.Base, module.Size);

    ReadSettings(scenario.PluginFolder(), report);
    if (report.Loaded) report.Probes = hostsim::RunProbes(report);

    const std::string text = options.Json ? hostsim::RenderJson(report) : hostsim::RenderText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    scenario.Unload();
    return report.Loaded ? 0 : 1;  // the report is printed either way
}
