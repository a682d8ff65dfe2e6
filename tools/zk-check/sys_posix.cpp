// The checker's calls on Linux and other POSIX systems: names are bytes, and a
// terminal stays open after a program ends.
#include "sys.h"

#include <dirent.h>
#include <fcntl.h>
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

}  // namespace zk::check::sys
