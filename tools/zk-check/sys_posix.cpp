// The checker's calls on Linux and other POSIX systems: names are bytes, and a
// terminal stays open after a program ends.
#include "sys.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace zk::check::sys {

std::string FullFolderPath(const std::string& folder) {
    char resolved[PATH_MAX];
    std::string full = realpath(folder.c_str(), resolved) != nullptr ? resolved : folder;
    if (full.empty() || full.back() != '/') full.push_back('/');
    return full;
}

std::string OwnFolder() {
    char path[PATH_MAX];
    const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
    if (size <= 0) return "./";
    std::string own(path, static_cast<std::size_t>(size));
    return own.substr(0, own.rfind('/') + 1);
}

std::vector<Entry> ListEverything(const std::string& folder) {
    std::vector<Entry> entries;
    const std::unique_ptr<DIR, int (*)(DIR*)> open(opendir(folder.c_str()), closedir);
    if (open == nullptr) return entries;
    while (const dirent* found = readdir(open.get())) {
        if (std::strcmp(found->d_name, ".") == 0 || std::strcmp(found->d_name, "..") == 0) continue;
        struct stat status{};
        const std::string path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + found->d_name;
        entries.push_back({found->d_name, stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)});
    }
    return entries;
}

std::vector<std::string> MatchingNames(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    for (const Entry& entry : ListEverything(folder)) {
        if (fnmatch(pattern.c_str(), entry.Name.c_str(), 0) == 0) names.push_back(entry.Name);
    }
    return names;
}

unsigned NameCodePage() { return 0; }

ReadFailure WhyUnreadable(const std::string& path) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file >= 0) {
        close(file);
        return ReadFailure::None;
    }
    switch (errno) {
        case EACCES:
        case EPERM: return ReadFailure::AccessDenied;
        case ENOENT: return ReadFailure::Missing;
        default: return ReadFailure::Other;
    }
}

bool UnderWine() { return false; }

bool OwnsConsole() { return false; }

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

bool ReadFileAt(const std::string& path, std::uint64_t offset, std::size_t size, std::string& bytes) {
    bytes.clear();
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    bytes.resize(size);
    std::size_t done = 0;
    bool failed = false;
    while (done < size) {
        const ssize_t got = pread(file, &bytes[done], size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        failed = got < 0;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    close(file);
    bytes.resize(done);
    return !failed;
}

bool FileWriteTime(const std::string& path, std::uint64_t& time) {
    struct stat status{};
    if (stat(path.c_str(), &status) != 0) return false;
    // FILETIME: 100 ns steps since 1601.
    time = (static_cast<std::uint64_t>(status.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
           static_cast<std::uint64_t>(status.st_mtim.tv_nsec) / 100;
    return true;
}

// Windows' programs are looked into by zk-check.exe only.
bool CanLookIntoPrograms() { return false; }
Process::Process(Process&&) noexcept = default;
Process& Process::operator=(Process&&) noexcept = default;
Process::~Process() = default;
std::vector<std::uint32_t> ProcessIds() { return {}; }
Opened OpenToQuery(std::uint32_t, Process&) { return Opened::Failed; }
Opened OpenToRead(Process&) { return Opened::Failed; }
bool ListModules(const Process&, std::vector<ProcessModule>&) { return false; }
bool ReadMemory(const Process&, std::uint32_t, std::uint32_t, std::vector<std::uint8_t>&) { return false; }
bool HasEnded(const Process&) { return true; }

}  // namespace zk::check::sys
