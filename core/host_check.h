// Tells the supported host build from every other one by the entry point recorded
// in its PE optional header.
#pragma once

#include <cstdint>
#include <string>

namespace zk {

constexpr const char* kUnsupportedBuildCaption = "Zorbel Kavrin";
constexpr const char* kUnsupportedBuildText =
    "This .exe is not supported.\n"
    "Please use the supported version 1.1 executable of the game.";

// AddressOfEntryPoint of a PE image mapped in memory: e_lfanew at +0x3C, then the
// field 0x28 bytes after the NT headers. Read in place; the image must be mapped.
std::uint32_t ReadEntryPointRva(const std::uint8_t* image);
bool IsSupportedHostImage(const std::uint8_t* image);

// The same test on an executable file's bytes, with every offset checked.
struct HostFileCheck {
    bool Supported = false;
    bool HasEntryPoint = false;
    std::uint32_t EntryPoint = 0;
    std::string Error;  // empty when the file is a readable 32-bit PE image
};
HostFileCheck CheckHostFile(const std::string& bytes);

}  // namespace zk
