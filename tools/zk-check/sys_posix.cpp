// The checker's calls on Linux and other POSIX systems: names are bytes, and a
// terminal stays open after a program ends.
#include "sys.h"

#include <dirent.h>
#include <errno.h>
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

namespace {

bool Failed(std::string& why) {
    switch (errno) {
        case EACCES:
        case EPERM: why = "access is denied"; break;
        case EROFS: why = "the disk is write-protected"; break;
        case ENOSPC: why = "the disk is full"; break;
        case EEXIST:
        case ENOTEMPTY: why = "something of that name is there already"; break;
        case ENOENT: why = "it is no longer there"; break;
        default: why = std::strerror(errno);
    }
    return false;
}

// The folder a path lies in, for syncing it after an entry of it changed.
void SyncFolderOf(const std::string& path) {
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    const int descriptor = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        fsync(descriptor);
        close(descriptor);
    }
}

}  // namespace

bool WriteNewFile(const std::string& path, const std::string& bytes, std::string& why) {
    if (!WriteAllowed(why)) return false;
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (file < 0) return Failed(why);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(file, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;
        done += static_cast<std::size_t>(wrote);
    }
    const bool written = done == bytes.size() && fsync(file) == 0;
    if (!written) Failed(why);
    close(file);
    if (!written) unlink(path.c_str());
    return written;
}

bool ReplaceFileWith(const std::string& replacement, const std::string& path, std::string& why) {
    if (!WriteAllowed(why)) return false;
    if (rename(replacement.c_str(), path.c_str()) != 0) return Failed(why);
    SyncFolderOf(path);
    return true;
}

bool MoveEntry(const std::string& from, const std::string& to, bool, std::string& why) {
    if (!WriteAllowed(why)) return false;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) return Failed(why);
    SyncFolderOf(to);
    SyncFolderOf(from);
    return true;
}

bool MakeNewFolder(const std::string& path, std::string& why) {
    if (!WriteAllowed(why)) return false;
    return mkdir(path.c_str(), 0755) == 0 ? true : Failed(why);
}

void RemoveEntry(const std::string& path) {
    if (unlink(path.c_str()) != 0) rmdir(path.c_str());
}

bool IsLink(const std::string& path) {
    struct stat status{};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool IsReadOnly(const std::string& path) {
    struct stat status{};
    return stat(path.c_str(), &status) == 0 && (status.st_mode & 0222) == 0;
}

bool IsLocked(const std::string&) { return false; }  // nothing here keeps a file from being replaced

unsigned AnsiCodePage() { return 0; }

// Text here is bytes as the settings files have them: UTF-8, in which every
// character has a form.
bool ToAnsiCodePage(const std::u32string& text, std::string& bytes, std::size_t&) {
    bytes.clear();
    for (const char32_t c : text) {
        if (c < 0x80) {
            bytes.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | c >> 6));
            bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            bytes.push_back(static_cast<char>(0xE0 | c >> 12));
            bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xF0 | c >> 18));
            bytes.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return true;
}

std::string VirtualStoreOf(const std::string&) { return ""; }  // a Windows matter
std::string LocalAppData() { return ""; }

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
