#include "settings/global_settings.h"

#include <cstring>

#include "cars/car_settings.h"

namespace zk {

GlobalSettingsRecord GlobalSettings;

void LoadGlobalSettings() {
    IniReader reader;
    reader.Open(kSettingsFileName, std::strlen(kSettingsFileName));
    for (const GlobalKey& key : kGlobalKeys) {
        if (key.Switch != nullptr) {
            GlobalSettings.*key.Switch = ReadSwitch(reader, key.Name);
        } else {
            GlobalSettings.*key.Number = reader.ReadFloat(kGeneralSection, key.Name, key.Default);
        }
    }
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
