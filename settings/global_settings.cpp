#include "settings/global_settings.h"

#include <cstring>

namespace zk {

GlobalSettingsRecord GlobalSettings;

void LoadSettingsInto(GlobalSettingsRecord& global, CarRegistry& cars) {
    IniReader reader;
    reader.Open(kSettingsFileName, std::strlen(kSettingsFileName));
    for (const GlobalKey& key : kGlobalKeys) {
        if (key.Switch != nullptr) {
            global.*key.Switch = ReadSwitch(reader, key.Name);
        } else {
            global.*key.Number = reader.ReadFloat(kGeneralSection, key.Name, key.Default);
        }
    }
    // The main file's reader is still alive here and released on return.
    LoadCarSettings(cars);
}

void LoadGlobalSettings() { LoadSettingsInto(GlobalSettings, CarSettingsRegistry); }

LoadedSettings LoadSettings() {
    LoadedSettings loaded;
    LoadSettingsInto(loaded.Global, loaded.Cars);
    return loaded;
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
