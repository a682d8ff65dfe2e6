// What only the checker needs of the operating system, beside the plugin's own
// calls (core/os.h): full paths, listings that skip nothing, why a file cannot be
// read, and the console a player's double-click gives it. sys_win32.cpp and
// sys_posix.cpp implement it. Paths and names are UTF-8 here.
#pragma once

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

}  // namespace zk::check::sys
