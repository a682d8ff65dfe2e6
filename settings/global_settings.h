// The process-wide options of the main settings file, read once at start-up.
#pragma once

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

// Zero until LoadGlobalSettings; never written afterwards.
extern GlobalSettingsRecord GlobalSettings;

// Reads "ZorbelKavrin.ini" beside the plugin into GlobalSettings and, as its last
// step, builds the car settings registry.
void LoadGlobalSettings();

// LoadGlobalSettings, with nothing let out: false when it ended by an exception
// (exhausted memory), in which case nothing may be patched.
bool TryLoadGlobalSettings() noexcept;

// The ForceLodA option of a main or per-car file: on exactly for the integer 1.
template <typename Record>
void ReadCarOptions(Record& record, const IniReader& reader) {
    record.ForceLodA = reader.ReadInteger(kGeneralSection, "ForceLodA", 0) == 1;
}

}  // namespace zk
