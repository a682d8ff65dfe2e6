// What only the checker needs of the operating system, beside the plugin's own
// calls (core/os.h): full paths, listings that skip nothing, why a file cannot be
// read, and the console a player's double-click gives it. sys_win32.cpp and
// sys_posix.cpp implement it. Paths and names are UTF-8 here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zk::check::sys {

// The platform's separator between folders, as shown to the player.
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// A folder's full path, ending with a separator; the path as given (with the
// separator) when it cannot be resolved.
std::string FullFolderPath(const std::string& folder);

// The folder this program's own file lies in, ending with a separator.
std::string OwnFolder();

struct Entry {
    std::string Name;  // UTF-8
    bool IsFolder = false;
};

// Every entry of a folder, in the platform's order, without "." and "..": names the
// plugin cannot hold in the file-system code page too. Empty when it cannot be listed.
std::vector<Entry> ListEverything(const std::string& folder);

// The names of a folder's entries that match a pattern with * and ? (letter case
// aside on Windows), in the platform's order.
std::vector<std::string> MatchingNames(const std::string& folder, const std::string& pattern);

// The number of the code page file names are converted to for the plugin; 0 where
// names are bytes.
unsigned NameCodePage();

// Why a file cannot be opened and read: None when it can be, Other for a reason a
// player cannot act on by name.
enum class ReadFailure { None, Missing, AccessDenied, Shared, Locked, DiskError, Other };
ReadFailure WhyUnreadable(const std::string& path);

// True under Wine (and so Proton), which loads its own DLLs before a game's.
bool UnderWine();

// True when this program is the only one attached to its console window: it was
// started from Explorer or a shortcut, and the window closes when it ends.
bool OwnsConsole();

// Writes UTF-8 text to standard output: as characters to a console window, whatever
// its code page, and as the bytes themselves to a file or pipe.
void Print(const std::string& text);

// Up to `size` bytes of a file from `offset` on (fewer at its end). False when it
// cannot be opened or read there.
bool ReadFileAt(const std::string& path, std::uint64_t offset, std::size_t size, std::string& bytes);

// When a file was last written, on the clock ProcessStartTime uses (Windows'
// FILETIME, 100 ns steps). False when there is no such file.
bool FileWriteTime(const std::string& path, std::uint64_t& time);

// ---- A player's files, changed (--fix only) ----
// Each call that changes something returns false, with the reason in words in why,
// when the system refuses it; paths are full.
// A new file (never over another), written and flushed to the disk.
bool WriteNewFile(const std::string& path, const std::string& bytes, std::string& why);
// Puts replacement in path's place in one step (the old file or the new one, never
// half of one), written through to the disk.
bool ReplaceFileWith(const std::string& replacement, const std::string& path, std::string& why);
// Renames or moves a file or folder, never over another; acrossDisks: a file may
// be copied to another disk and the original removed.
bool MoveEntry(const std::string& from, const std::string& to, bool acrossDisks, std::string& why);
bool MakeNewFolder(const std::string& path, std::string& why);
void RemoveEntry(const std::string& path);  // a file, or an empty folder
// A symbolic link, junction or other reparse point: never followed by a fix.
bool IsLink(const std::string& path);
bool IsReadOnly(const std::string& path);
// Another program holds it open in a way that keeps it from being replaced.
bool IsLocked(const std::string& path);
// The injected failure of the tests: after `writes` more calls of the four that
// change something, each of them fails; -1 (the start) lets them all work.
void FailWritesAfter(int writes);
bool WriteAllowed(std::string& why);  // counts one call, for the platform files

// The ANSI code page the plugin reads its settings in (0 where text is bytes).
unsigned AnsiCodePage();
// Characters as bytes of that code page, each exactly (no best fit, no default
// character). False, with the index of the first that has no form there, if one has none.
bool ToAnsiCodePage(const std::u32string& text, std::string& bytes, std::size_t& firstWithout);

// Where Windows keeps, for a 32-bit game without a manifest, the copies of files it
// would have written under a folder only administrators may write (Program Files,
// the Windows folder): that folder's twin under %LOCALAPPDATA%\VirtualStore, with
// a separator at its end; empty where there is no such twin.
std::string VirtualStoreOf(const std::string& folder);
std::string LocalAppData();  // with a separator at its end; empty where there is none

// ---- Running programs, looked into and never changed ----
// A process is opened with these rights and no others: kQueryAccess for its path,
// its bitness, its start time and whether it has ended; kReadAccess for its module
// list and its memory. Nothing is written into it, and no thread of it is created,
// suspended or resumed.
constexpr std::uint32_t kQueryAccess = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION
constexpr std::uint32_t kReadAccess = 0x0410;   // PROCESS_QUERY_INFORMATION | PROCESS_VM_READ

// False where programs of Windows cannot be looked into (the native build).
bool CanLookIntoPrograms();

struct ProcessModule {
    std::string Path;  // UTF-8
    std::uint32_t Base = 0;
    std::uint32_t Size = 0;
};

// One process, opened; its handles are closed with it.
struct Process {
    std::uint32_t Id = 0;
    std::string Path;             // its executable, UTF-8
    std::uint64_t StartTime = 0;  // FILETIME
    void* Query = nullptr;        // kQueryAccess
    void* Read = nullptr;         // kReadAccess
    Process() = default;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();
};

enum class Opened { Yes, Denied, Ended, Not32Bit, Failed };

// Every running process but this one, by id.
std::vector<std::uint32_t> ProcessIds();
// Opens a process with kQueryAccess: its path, its start time, and whether it is a
// 32-bit program (Not32Bit for a 64-bit one, which is left alone).
Opened OpenToQuery(std::uint32_t id, Process& process);
// Adds the kReadAccess handle.
Opened OpenToRead(Process& process);
// Its modules, the main image first. False when they cannot be listed.
bool ListModules(const Process& process, std::vector<ProcessModule>& modules);
// Exactly `size` bytes at a 32-bit address, or false.
bool ReadMemory(const Process& process, std::uint32_t address, std::uint32_t size, std::vector<std::uint8_t>& bytes);
bool HasEnded(const Process& process);

}  // namespace zk::check::sys
