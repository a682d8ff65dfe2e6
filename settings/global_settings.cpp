#include "settings/global_settings.h"

#include <cstring>

#include "cars/car_settings.h"
#include "core/host_addresses.h"

namespace zk {

GlobalSettingsRecord GlobalSettings;

void LoadGlobalSettings() {
    IniReader reader;
    reader.Open(kSettingsFileName, std::strlen(kSettingsFileName));
    ReadCarOptions(GlobalSettings, reader);
    GlobalSettings.FrontSteerAngle =
        reader.ReadFloat(kGeneralSection, "FrontSteerAngle", kDefaultFrontSteerAngle);
    GlobalSettings.ExpandMemoryPools = reader.ReadInteger(kGeneralSection, "ExpandMemoryPools", 0) == 1;
    GlobalSettings.InfiniteTuningSliders =
        reader.ReadInteger(kGeneralSection, "InfiniteTuningSliders", 0) == 1;
    GlobalSettings.InfiniteAutosculptSliders =
        reader.ReadInteger(kGeneralSection, "InfiniteAutosculptSliders", 0) == 1;
    // The main file's reader is still alive here and released on return.
    LoadCarSettings();
}

bool TryLoadGlobalSettings() noexcept {
    try {
        LoadGlobalSettings();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace zk
