// LoadGlobalSettings over a made-up folder: the main file and the car folder's
// entries (files and folders, any names, any bytes) come from the fuzzer.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cars/car_settings.h"
#include "core/host_stand_in.h"
#include "os_memory.h"
#include "settings/global_settings.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_settings: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    auto& folder = zk::os::MemoryFolder;
    folder.clear();
    folder["/plugin"] = {true, ""};
    const bool hasMain = input.ConsumeBool();
    const std::string main = input.ConsumeRandomLengthString(4096);
    if (hasMain) folder["/plugin/ZorbelKavrin.ini"] = {input.ConsumeBool(), main};
    const bool hasCars = input.ConsumeBool();
    if (hasCars) folder["/plugin/KavrinCars"] = {input.ConsumeProbability<float>() < 0.1f ? false : true, ""};
    const int entries = input.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < entries; ++i) {
        // A name as a listing gives it: no separators, never "." or "..".
        std::string name;
        for (char c : input.ConsumeRandomLengthString(40)) {
            if (c != '/' && c != '\\') name.push_back(c);
        }
        if (name.empty() || name == "." || name == "..") name = "x";
        const bool isFolder = input.ConsumeBool();
        folder["/plugin/KavrinCars/" + name] = {isFolder, isFolder ? "" : input.ConsumeRandomLengthString(512)};
    }

    zk::GlobalSettings = zk::GlobalSettingsRecord{};
    zk::CarSettingsRegistry.clear();
    zk::os::UsePluginFolder("/plugin/");
    Require(zk::TryLoadGlobalSettings(), "the load threw");

    std::vector<zk::os::FolderEntry> listed;
    zk::os::ListFolder("/plugin/KavrinCars", listed);
    Require(zk::CarSettingsRegistry.size() == listed.size(), "one record per listed entry");
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const zk::CarSettingsRecord& record = *zk::CarSettingsRegistry[i];
        Require(record.Name == listed[i].Name, "records in the listing's order");
        Require(record.Key == zk::StandInNameHash(record.Name.c_str()), "the key is the name's hash");
        Require(!(listed[i].IsFolder && record.ForceLodA), "a folder's flag is off");
    }
    if (!hasMain || main.empty()) {
        Require(zk::GlobalSettings.FrontSteerAngle == 340.0f && !zk::GlobalSettings.ForceLodA &&
                    !zk::GlobalSettings.ExpandMemoryPools, "defaults without a main file");
    }
    return 0;
}
