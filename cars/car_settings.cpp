#include "cars/car_settings.h"

#include "core/host_routines.h"
#include "core/os.h"
#include "settings/global_settings.h"

namespace zk {

std::vector<std::unique_ptr<CarSettingsRecord>> CarSettingsRegistry;

void LoadCarSettings() {
    // Listed where the files are read from: the folder beside the plugin, whatever
    // the working directory is.
    os::NativePath folder;
    std::vector<os::FolderEntry> entries;
    if (!os::JoinPath(os::PluginFolder(), kCarFolderName, folder) ||
        !os::ListFolder(folder, entries)) {
        return;
    }
    CarSettingsRegistry.reserve(CarSettingsRegistry.size() + entries.size());
    for (os::FolderEntry& entry : entries) {
        const std::string path = std::string(kCarFolderName) + '\\' + entry.Name;
        IniReader reader;
        reader.Open(path.data(), path.size());  // a subfolder leaves it empty
        auto record = std::make_unique<CarSettingsRecord>();
        record->Name = std::move(entry.Name);
        record->Key = HostNameHash(record->Name.c_str());
        ReadCarOptions(*record, reader);
        CarSettingsRegistry.push_back(std::move(record));
    }
}

}  // namespace zk
