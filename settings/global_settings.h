// The process-wide options of the main settings file, read once at start-up.
#pragma once

#include "cars/car_settings.h"
#include "core/host_addresses.h"
#include "settings/ini_reader.h"

namespace zk {

constexpr const char* kSettingsFileName = "ZorbelKavrin.ini";
constexpr const char* kGeneralSection = "GENERAL";

struct GlobalSettingsRecord {
    bool ForceLodA = false;
    float FrontSteerAngle = 0.0f;
    bool ExpandMemoryPools = false;
    bool InfiniteTuningSliders = false;
    bool InfiniteAutosculptSliders = false;
};

// The keys of [GENERAL], in the order the plugin reads them: a switch is on exactly
// for the integer 1 and off by default; the one number is a float with a default
// of its own. The loader, the checker, the report tool and the JSON output take
// names and defaults from here. A new key: a row, its use, its tests.
struct GlobalKey {
    const char* Name;
    bool GlobalSettingsRecord::*Switch;  // null for the number
    float GlobalSettingsRecord::*Number;  // null for a switch
    float Default;                        // of the number
};
constexpr const char* kForceLodAKey = "ForceLodA";  // the one key of a car file too
inline constexpr GlobalKey kGlobalKeys[] = {
    {kForceLodAKey, &GlobalSettingsRecord::ForceLodA, nullptr, 0.0f},
    {"FrontSteerAngle", nullptr, &GlobalSettingsRecord::FrontSteerAngle, kDefaultFrontSteerAngle},
    {"ExpandMemoryPools", &GlobalSettingsRecord::ExpandMemoryPools, nullptr, 0.0f},
    {"InfiniteTuningSliders", &GlobalSettingsRecord::InfiniteTuningSliders, nullptr, 0.0f},
    {"InfiniteAutosculptSliders", &GlobalSettingsRecord::InfiniteAutosculptSliders, nullptr, 0.0f},
};

// Zero until LoadGlobalSettings, which the plugin runs once, at start-up; never
// written afterwards.
extern GlobalSettingsRecord GlobalSettings;

// Reads "ZorbelKavrin.ini" beside the plugin into `global` and, as its last step,
// appends the car settings records to `cars`.
void LoadSettingsInto(GlobalSettingsRecord& global, CarRegistry& cars);

// The plugin's start-up: LoadSettingsInto the process-wide records.
void LoadGlobalSettings();

// What the start-up's load reads from the plugin folder (os::UsePluginFolder), in
// records of the caller's: for the checker and the report tool, which look at one
// folder after another while the process-wide records stay as they are.
struct LoadedSettings {
    GlobalSettingsRecord Global;
    CarRegistry Cars;
};
LoadedSettings LoadSettings();

// LoadGlobalSettings, with nothing let out: false when it ended by an exception
// (exhausted memory), in which case nothing may be patched.
bool TryLoadGlobalSettings() noexcept;

// A switch of a main or per-car file: on exactly for the integer 1.
inline bool ReadSwitch(const IniReader& reader, const char* key) {
    return reader.ReadInteger(kGeneralSection, key, 0) == 1;
}

// The ForceLodA option of a main or per-car file.
template <typename Record>
void ReadCarOptions(Record& record, const IniReader& reader) {
    record.ForceLodA = ReadSwitch(reader, kForceLodAKey);
}

}  // namespace zk
