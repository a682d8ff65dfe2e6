// The OS seam over an in-memory folder, for the fuzz targets: the settings code
// reads files and lists folders that the fuzzer made up.
#include "os_memory.h"

#include <algorithm>

namespace zk::os {

std::map<std::string, MemoryEntry> MemoryFolder;

NativePath ModuleFolder() { return "/plugin/"; }

bool JoinPath(const NativePath& folder, const std::string& relativeName, NativePath& joined) {
    joined = folder;
    for (char c : relativeName) joined.push_back(c == '\\' ? '/' : c);
    return true;
}

bool ReadWholeFile(const NativePath& path, std::string& bytes) {
    const auto found = MemoryFolder.find(path);
    if (found == MemoryFolder.end() || found->second.IsFolder) return false;
    bytes = found->second.Bytes;
    return true;
}

bool ListFolder(const NativePath& folder, std::vector<FolderEntry>& entries) {
    const auto self = MemoryFolder.find(folder);
    if (self == MemoryFolder.end() || !self->second.IsFolder) return false;
    const std::string prefix = folder + "/";
    for (auto at = MemoryFolder.lower_bound(prefix); at != MemoryFolder.end() && at->first.rfind(prefix, 0) == 0; ++at) {
        const std::string name = at->first.substr(prefix.size());
        if (name.empty() || name.find('/') != std::string::npos) continue;  // one level only
        entries.push_back({name, at->second.IsFolder});
    }
    return true;
}

std::string DisplayPath(const NativePath& path) { return path; }
NativePath PathFromUtf8(const std::string& utf8) { return utf8; }

bool ProtectMemory(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t*) { return false; }
bool IsRangeWritable(std::uint32_t, std::uint32_t) { return false; }

}  // namespace zk::os
