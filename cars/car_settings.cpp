#include "cars/car_settings.h"

#include "core/host_routines.h"
#include "core/os.h"
#include "settings/global_settings.h"

namespace zk {

CarRegistry CarSettingsRegistry;

void LoadCarSettings(CarRegistry& into) {
    // Listed where the files are read from: the folder beside the plugin, whatever
    // the working directory is.
    os::NativePath folder;
    std::vector<os::FolderEntry> entries;
    if (!os::JoinPath(os::PluginFolder(), kCarFolderName, folder) ||
        !os::ListFolder(folder, entries)) {
        return;
    }
    into.reserve(into.size() + entries.size());
    for (os::FolderEntry& entry : entries) {
        const std::string path = std::string(kCarFolderName) + '\\' + entry.Name;
        IniReader reader;
        reader.Open(path.data(), path.size());  // a subfolder leaves it empty
        auto record = std::make_unique<CarSettingsRecord>();
        record->IsFolder = entry.IsFolder;
        record->Name = std::move(entry.Name);
        record->Key = HostNameHash(record->Name.c_str());
        ReadCarOptions(*record, reader);
        into.push_back(std::move(record));
    }
}

}  // namespace zk
