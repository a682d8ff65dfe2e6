// The plugin's only window onto the operating system. Everything else is portable
// and builds natively on Linux; os_win32.cpp and os_posix.cpp implement this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zk::os {

// A path as the platform's file functions take it: UTF-16 on Windows, so that a
// plugin folder outside the ANSI code page still works; bytes elsewhere.
#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

// The folder of the module that holds the plugin's code, up to and including its
// last separator (empty when the module path has none). Tools and tests that run
// the settings code outside the plugin name the folder with UsePluginFolder first;
// an empty name goes back to the module's folder.
NativePath PluginFolder();
void UsePluginFolder(const NativePath& folder);
// The folder of the module this code is linked into, as PluginFolder gives it when
// no folder was named: each platform's file asks its loader (plugin_folder.cpp
// asks once).
NativePath ModuleFolder();

// Joins a narrow relative name (file-system code page, backslashes as separators)
// to a folder. False when the name has no exact form on this platform.
bool JoinPath(const NativePath& folder, const std::string& relativeName, NativePath& joined);

// Reads a whole regular file as bytes, without locking it against other readers or
// writers. False when it cannot be opened or is not a regular file.
bool ReadWholeFile(const NativePath& path, std::string& bytes);

struct FolderEntry {
    std::string Name;  // the entry's name in the file-system code page
    bool IsFolder = false;
};

// Lists one level of a folder in the platform's own order, without "." and "..".
// Names with no exact form in the file-system code page are skipped; a failure
// while the listing advances ends it with what was read. False when the folder
// cannot be listed at all.
bool ListFolder(const NativePath& folder, std::vector<FolderEntry>& entries);

// A path as UTF-8, for messages of the tools.
std::string DisplayPath(const NativePath& path);
NativePath PathFromUtf8(const std::string& utf8);

// Memory protection at absolute 32-bit addresses. Protection values are the
// Windows PAGE_* constants on every platform.
constexpr std::uint32_t kPageNoAccess = 0x01;
constexpr std::uint32_t kPageReadOnly = 0x02;
constexpr std::uint32_t kPageReadWrite = 0x04;
constexpr std::uint32_t kPageExecuteRead = 0x20;
constexpr std::uint32_t kPageExecuteReadWrite = 0x40;
bool ProtectMemory(std::uint32_t address, std::uint32_t size, std::uint32_t protection,
                   std::uint32_t* previous);
bool IsRangeWritable(std::uint32_t address, std::uint32_t size);

#ifdef _WIN32
// A full path of the classic limit's length or longer in the form Windows takes
// literally (\\?\); others as they are.
NativePath LiteralWhenLong(const NativePath& path);

// The host process itself: its main image, and the one message the plugin shows.
const std::uint8_t* MainImageBase();
void ShowErrorMessage(const char* text, const char* caption);
#endif

}  // namespace zk::os
