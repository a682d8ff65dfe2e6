// An in-memory folder behind the OS seam (fuzzing only).
#pragma once

#include <map>
#include <string>

#include "core/os.h"

namespace zk::os {

struct MemoryEntry {
    bool IsFolder = false;
    std::string Bytes;
};

// Full path -> entry; a folder is listed by the entries one level below it.
extern std::map<std::string, MemoryEntry> MemoryFolder;

}  // namespace zk::os
