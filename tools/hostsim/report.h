// What the report tool gathers while the plugin starts in the simulated host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "harness.h"
#include "settings/global_settings.h"

namespace hostsim {

struct Options {
    std::wstring Settings;     // folder with ZorbelKavrin.ini and KavrinCars
    std::wstring Game;         // or a whole game folder, copied as it is
    std::wstring PluginIn;     // the plugin's folder below the game folder ("scripts")
    std::wstring WorkingDirectory;
    bool HasEntryPoint = false;
    std::uint32_t EntryPoint = 0;
    bool Json = false;
    std::wstring StayUntil;  // the simulated game as a player starts it, until this file exists
};

struct Change {
    std::uint32_t Address = 0;
    std::vector<std::uint8_t> Before, After;
    std::string What;
    bool Expected = true;  // one of the plugin's own sites
};

struct Probe {
    std::string Site;
    std::string Input;
    std::string Result;
};

struct Car {
    std::string Name;
    std::uint32_t Key = 0;
    bool ForceLodA = false;
};

struct Report {
    std::string PluginPath, SettingsPath, WorkingDirectory;
    bool WholeGame = false;  // SettingsPath is a game folder
    std::uint32_t EntryPoint = 0;
    bool Supported = false;
    bool Loaded = false;
    std::uint32_t ModuleBase = 0;
    std::vector<harness::MessageCall> Messages;
    bool SettingsFound = false;
    zk::GlobalSettingsRecord Global;
    std::vector<Car> Cars;
    std::vector<harness::ProtectCall> Windows;
    std::vector<Change> Changes;
    std::vector<Probe> Probes;
};

// Groups the changed bytes of the host image by the plugin's sites.
std::vector<Change> DescribeChanges(const std::vector<harness::ByteChange>& bytes, std::uint32_t moduleBase,
                                    std::uint32_t moduleSize);
std::vector<Probe> RunProbes(const Report& report);
std::string RenderText(const Report& report);
std::string RenderJson(const Report& report);

}  // namespace hostsim
