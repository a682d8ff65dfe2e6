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
    std::string Name;       // the entry's whole file name, extension included
    std::uint32_t Key = 0;  // HostNameHash of Name
};

// In the order the folder listing gave; duplicates kept, the first one found wins.
extern std::vector<std::unique_ptr<CarSettingsRecord>> CarSettingsRegistry;

// Appends one record per entry of the car folder: files and subfolders alike, never
// "." or "..". A folder that cannot be listed adds nothing.
void LoadCarSettings();

}  // namespace zk
