// The version a Windows program or DLL declares in its version resource (what
// Explorer shows under Properties, Details), read from the file's bytes with every
// offset checked.
#pragma once

#include <string>

namespace zk::check {

struct PeVersion {
    std::string Version;  // "1.0.0" (a fourth part only when it is not 0); empty when none
    std::string Problem;  // why there is none, in words: "no version resource", ...
};

PeVersion ReadPeVersion(const std::string& bytes);

// Orders "1.2" and "1.2.0.0" as the same version: true when they differ.
bool VersionsDiffer(const std::string& a, const std::string& b);

}  // namespace zk::check
