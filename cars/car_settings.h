// One record per entry of the folder "KavrinCars" beside the plugin, built once at
// start-up and then only read, without locks, by the level-of-detail hook.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zk {

constexpr const char* kCarFolderName = "KavrinCars";

struct CarSettingsRecord {
    bool ForceLodA = false;
    bool IsFolder = false;  // a subfolder: it has a record, and nothing in it is read
    std::string Name;       // the entry's whole file name, extension included
    std::uint32_t Key = 0;  // HostNameHash of Name
};

using CarRegistry = std::vector<std::unique_ptr<CarSettingsRecord>>;

// In the order the folder listing gave; duplicates kept, the first one found wins.
extern CarRegistry CarSettingsRegistry;

// Appends one record per entry of the car folder to `into`: files and subfolders
// alike, never "." or "..". A folder that cannot be listed adds nothing.
void LoadCarSettings(CarRegistry& into);

}  // namespace zk
