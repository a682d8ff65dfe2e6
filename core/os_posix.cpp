// POSIX implementation of the OS seam, for the native build: the settings code,
// the tools and the native tests run on it.
#include "core/os.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace zk::os {
namespace {

constexpr std::uint64_t kPageSize = 4096;

// One line of /proc/self/maps: [start, end) and its rwx flags.
struct Mapping {
    std::uint64_t Start = 0;
    std::uint64_t End = 0;
    bool Read = false, Write = false, Execute = false;
};

std::vector<Mapping> ReadMappings() {
    std::vector<Mapping> mappings;
    FILE* maps = std::fopen("/proc/self/maps", "r");
    if (maps == nullptr) return mappings;
    char line[4096];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        unsigned long long start = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line, "%llx-%llx %4s", &start, &end, perms) != 3) continue;
        mappings.push_back({start, end, perms[0] == 'r', perms[1] == 'w', perms[2] == 'x'});
    }
    std::fclose(maps);
    return mappings;
}

const Mapping* FindMapping(const std::vector<Mapping>& mappings, std::uint64_t address) {
    for (const Mapping& mapping : mappings) {
        if (address >= mapping.Start && address < mapping.End) return &mapping;
    }
    return nullptr;
}

std::uint32_t PageConstant(const Mapping& m) {
    if (!m.Read && !m.Write && !m.Execute) return kPageNoAccess;
    if (m.Execute) return m.Write ? kPageExecuteReadWrite : kPageExecuteRead;
    return m.Write ? kPageReadWrite : kPageReadOnly;
}

int PosixProtection(std::uint32_t protection) {
    switch (protection & 0xFF) {
        case 0x01: return PROT_NONE;
        case 0x02: return PROT_READ;
        case 0x04: case 0x08: return PROT_READ | PROT_WRITE;
        case 0x10: return PROT_EXEC;
        case 0x20: return PROT_READ | PROT_EXEC;
        case 0x40: case 0x80: return PROT_READ | PROT_WRITE | PROT_EXEC;
        default: return -1;
    }
}

}  // namespace

// The folder of the module that holds this code, asked of the loader.
NativePath ModuleFolder() {
    // As on Windows, the module is the one that holds this code. The loader names a
    // shared object by its full path, but the main program only as it was started.
    std::string path;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) != 0 && info.dli_fname != nullptr &&
        info.dli_fname[0] == '/') {
        path = info.dli_fname;
    } else {
        char buffer[4096];
        const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
        if (length > 0) path.assign(buffer, static_cast<size_t>(length));
    }
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool JoinPath(const NativePath& folder, const std::string& relativeName, NativePath& joined) {
    joined.reserve(folder.size() + relativeName.size());
    joined = folder;
    for (char c : relativeName) joined.push_back(c == '\\' ? '/' : c);
    return true;
}

bool ReadWholeFile(const NativePath& path, std::string& bytes) {
    struct Closer {
        int File;
        ~Closer() { if (File >= 0) close(File); }
    } const open_{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    const int file = open_.File;
    if (file < 0) return false;
    struct stat status{};
    if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    bytes.clear();
    if (status.st_size > 0) bytes.reserve(static_cast<size_t>(status.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = read(file, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        bytes.append(chunk, static_cast<size_t>(got));
    }
}

bool ListFolder(const NativePath& folder, std::vector<FolderEntry>& entries) {
    // Closed however the walk ends: appending an entry may throw.
    const std::unique_ptr<DIR, int (*)(DIR*)> open(opendir(folder.c_str()), closedir);
    DIR* listing = open.get();
    if (listing == nullptr) return false;
    for (;;) {
        errno = 0;
        const dirent* found = readdir(listing);
        if (found == nullptr) break;  // the end, or a failure: keep what was read
        if (std::strcmp(found->d_name, ".") == 0 || std::strcmp(found->d_name, "..") == 0) {
            continue;
        }
        FolderEntry entry;
        entry.Name = found->d_name;
        if (found->d_type == DT_DIR) {
            entry.IsFolder = true;
        } else if (found->d_type == DT_UNKNOWN) {
            struct stat status{};
            entry.IsFolder = fstatat(dirfd(listing), found->d_name, &status, 0) == 0 &&
                             S_ISDIR(status.st_mode);
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

std::string DisplayPath(const NativePath& path) { return path; }

NativePath PathFromUtf8(const std::string& utf8) { return utf8; }

bool ProtectMemory(std::uint32_t address, std::uint32_t size, std::uint32_t protection,
                   std::uint32_t* previous) {
    const int wanted = PosixProtection(protection);
    const std::uint64_t first = address & ~(kPageSize - 1);
    const std::uint64_t end = (static_cast<std::uint64_t>(address) + (size == 0 ? 1 : size) +
                               kPageSize - 1) & ~(kPageSize - 1);
    const std::vector<Mapping> mappings = ReadMappings();
    const Mapping* current = FindMapping(mappings, address);
    if (wanted < 0 || current == nullptr) return false;
    if (mprotect(reinterpret_cast<void*>(static_cast<uintptr_t>(first)), end - first, wanted) != 0) {
        return false;
    }
    if (previous != nullptr) *previous = PageConstant(*current);
    return true;
}

bool IsRangeWritable(std::uint32_t address, std::uint32_t size) {
    const std::vector<Mapping> mappings = ReadMappings();
    const std::uint64_t end = static_cast<std::uint64_t>(address) + size;
    for (std::uint64_t at = address; at < end;) {
        const Mapping* mapping = FindMapping(mappings, at);
        if (mapping == nullptr || !mapping->Write) return false;
        at = mapping->End;
    }
    return true;
}

}  // namespace zk::os
