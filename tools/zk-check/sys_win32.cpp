// The checker's calls on Windows: wide paths and listings, the reasons CreateFileW
// gives, the console window Explorer opens for a double-clicked program, and the
// running programs it looks into (with the rights sys.h names, and no others).
#include "sys.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

#include "core/os.h"

namespace zk::check::sys {
namespace {

using Handle = std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)>;

std::string WithSeparator(std::string path) {
    if (path.empty() || (path.back() != '\\' && path.back() != '/')) path.push_back('\\');
    return path;
}

}  // namespace

std::string FullFolderPath(const std::string& folder) {
    const std::wstring wide = os::PathFromUtf8(folder);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (wide.empty() || size == 0) return WithSeparator(folder);
    std::wstring full(size, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
    if (written == 0 || written >= size) return WithSeparator(folder);
    full.resize(written);
    return WithSeparator(os::DisplayPath(full));
}

std::string OwnFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (size == 0) return ".\\";
        if (size < path.size()) {
            path.resize(size);
            break;
        }
        path.resize(path.size() * 2);
    }
    return os::DisplayPath(path.substr(0, path.find_last_of(L"\\/") + 1));
}

std::vector<Entry> ListEverything(const std::string& folder) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW found;
    const std::wstring pattern = os::LiteralWhenLong(os::PathFromUtf8(WithSeparator(folder)) + L"*");
    HANDLE listing = FindFirstFileW(pattern.c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return entries;
    const Handle open(listing, FindClose);
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({os::DisplayPath(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(listing, &found));
    return entries;
}

std::vector<std::string> MatchingNames(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const std::wstring wide = os::LiteralWhenLong(os::PathFromUtf8(WithSeparator(folder) + pattern));
    HANDLE listing = FindFirstFileW(wide.c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return names;
    const Handle open(listing, FindClose);
    do {
        names.push_back(os::DisplayPath(found.cFileName));
    } while (FindNextFileW(listing, &found));
    return names;
}

unsigned NameCodePage() { return AreFileApisANSI() ? GetACP() : GetOEMCP(); }

ReadFailure WhyUnreadable(const std::string& path) {
    // Opened as the plugin opens it: sharing everything, so that only a program
    // that shares nothing keeps it out.
    HANDLE file = CreateFileW(os::LiteralWhenLong(os::PathFromUtf8(path)).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = ERROR_SUCCESS;
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
    } else {
        const Handle open(file, CloseHandle);
        char byte;
        DWORD got = 0;
        if (!ReadFile(file, &byte, 1, &got, nullptr)) error = GetLastError();
    }
    switch (error) {
        case ERROR_SUCCESS: return ReadFailure::None;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return ReadFailure::Missing;
        case ERROR_ACCESS_DENIED: return ReadFailure::AccessDenied;
        case ERROR_SHARING_VIOLATION: return ReadFailure::Shared;
        case ERROR_LOCK_VIOLATION: return ReadFailure::Locked;
        case ERROR_CRC:
        case ERROR_READ_FAULT: return ReadFailure::DiskError;
        default: return ReadFailure::Other;
    }
}

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool OwnsConsole() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void Print(const std::string& text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode;
    if (out == INVALID_HANDLE_VALUE || out == nullptr || !GetConsoleMode(out, &mode)) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    // A console shows characters, not bytes in its code page: UTF-16, line by line.
    std::fflush(stdout);
    std::wstring wide;
    for (wchar_t c : os::PathFromUtf8(text)) {
        if (c == L'\n') wide += L'\r';
        wide += c;
    }
    DWORD written;
    for (std::size_t at = 0; at < wide.size(); at += 4096) {
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(4096, wide.size() - at));
        WriteConsoleW(out, wide.data() + at, size, &written, nullptr);
    }
}

bool ReadFileAt(const std::string& path, std::uint64_t offset, std::size_t size, std::string& bytes) {
    bytes.clear();
    HANDLE file = CreateFileW(os::LiteralWhenLong(os::PathFromUtf8(path)).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const Handle open(file, CloseHandle);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
    bytes.resize(size);
    std::size_t done = 0;
    while (done < size) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 20));
        if (!ReadFile(file, &bytes[done], chunk, &got, nullptr)) return false;
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return true;
}

namespace {

std::uint64_t Ticks(const FILETIME& time) {
    return std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

// This process runs under WOW64: the others may be 64-bit programs.
bool OnSixtyFourBitWindows() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

Opened Failure(DWORD error) {
    if (error == ERROR_ACCESS_DENIED) return Opened::Denied;
    if (error == ERROR_INVALID_PARAMETER || error == ERROR_PARTIAL_COPY) return Opened::Ended;
    return Opened::Failed;
}

}  // namespace

bool FileWriteTime(const std::string& path, std::uint64_t& time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(os::LiteralWhenLong(os::PathFromUtf8(path)).c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    time = Ticks(data.ftLastWriteTime);
    return true;
}

namespace {

std::wstring Wide(const std::string& path) { return os::LiteralWhenLong(os::PathFromUtf8(path)); }

// Why a call failed, in a player's words.
std::string Reason(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED: return "access is denied";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return "another program has it open";
        case ERROR_WRITE_PROTECT: return "the disk is write-protected";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return "the disk is full";
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return "something of that name is there already";
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return "it is no longer there";
        default: return "Windows error " + std::to_string(error);
    }
}

bool Failed(std::string& why) {
    why = Reason(GetLastError());
    return false;
}

}  // namespace

bool WriteNewFile(const std::string& path, const std::string& bytes, std::string& why) {
    if (!WriteAllowed(why)) return false;
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failed(why);
    std::size_t done = 0;
    bool written = true;
    while (written && done < bytes.size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        written = WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) && wrote == chunk;
        done += wrote;
    }
    written = written && FlushFileBuffers(file);
    if (!written) Failed(why);
    CloseHandle(file);
    if (!written) DeleteFileW(Wide(path).c_str());
    return written;
}

bool ReplaceFileWith(const std::string& replacement, const std::string& path, std::string& why) {
    if (!WriteAllowed(why)) return false;
    return MoveFileExW(Wide(replacement).c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? true
               : Failed(why);
}

bool MoveEntry(const std::string& from, const std::string& to, bool acrossDisks, std::string& why) {
    if (!WriteAllowed(why)) return false;
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (acrossDisks ? MOVEFILE_COPY_ALLOWED : 0);
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), flags) ? true : Failed(why);
}

bool MakeNewFolder(const std::string& path, std::string& why) {
    if (!WriteAllowed(why)) return false;
    return CreateDirectoryW(Wide(path).c_str(), nullptr) ? true : Failed(why);
}

void RemoveEntry(const std::string& path) {
    const std::wstring wide = Wide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveDirectoryW(wide.c_str());
    } else {
        DeleteFileW(wide.c_str());
    }
}

bool IsLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsReadOnly(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool IsLocked(const std::string& path) {
    // Replacing a file needs every handle of it to share deletion.
    HANDLE file = CreateFileW(Wide(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

unsigned AnsiCodePage() { return GetACP(); }

bool ToAnsiCodePage(const std::u32string& text, std::string& bytes, std::size_t& firstWithout) {
    const UINT codePage = GetACP();
    // UTF-8 and GB18030 take no default character and only WC_ERR_INVALID_CHARS;
    // every code page is checked by converting back.
    const bool unicode = codePage == CP_UTF8 || codePage == 54936;
    const DWORD flags = unicode ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        wchar_t wide[2];
        int length = 1;
        if (c >= 0x10000) {
            wide[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            wide[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            length = 2;
        } else {
            wide[0] = static_cast<wchar_t>(c);
        }
        char narrow[8];
        BOOL usedDefault = FALSE;
        const int size = WideCharToMultiByte(codePage, flags, wide, length, narrow, sizeof narrow, nullptr,
                                             unicode ? nullptr : &usedDefault);
        wchar_t back[4];
        const int backSize = size > 0 ? MultiByteToWideChar(codePage, 0, narrow, size, back, 4) : 0;
        if (size <= 0 || usedDefault || backSize != length || std::wmemcmp(back, wide, length) != 0) {
            firstWithout = i;
            return false;
        }
        bytes.append(narrow, static_cast<std::size_t>(size));
    }
    return true;
}

namespace {

std::string Environment(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD size = GetEnvironmentVariableW(name, value, 32768);
    return size == 0 || size >= 32768 ? "" : WithSeparator(os::DisplayPath(std::wstring(value, size)));
}

std::string FoldedPath(std::string path) {
    for (char& c : path) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
        if (c == '/') c = '\\';
    }
    return path;
}

}  // namespace

std::string LocalAppData() { return Environment(L"LOCALAPPDATA"); }

std::string VirtualStoreOf(const std::string& folder) {
    const std::string store = LocalAppData();
    const std::string full = FullFolderPath(folder);
    if (store.empty() || full.size() < 3 || full[1] != ':') return "";
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"SystemRoot"}) {
        const std::string protectedFolder = Environment(name);
        if (!protectedFolder.empty() && FoldedPath(full).rfind(FoldedPath(protectedFolder), 0) == 0) {
            return store + "VirtualStore\\" + full.substr(3);
        }
    }
    return "";
}

bool CanLookIntoPrograms() { return true; }

Process::Process(Process&& other) noexcept { *this = std::move(other); }

Process& Process::operator=(Process&& other) noexcept {
    std::swap(Id, other.Id);
    std::swap(Path, other.Path);
    std::swap(StartTime, other.StartTime);
    std::swap(Query, other.Query);
    std::swap(Read, other.Read);
    return *this;
}

Process::~Process() {
    if (Read != nullptr) CloseHandle(Read);
    if (Query != nullptr) CloseHandle(Query);
}

std::vector<std::uint32_t> ProcessIds() {
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    while (EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes) &&
           bytes == ids.size() * sizeof(DWORD)) {
        ids.resize(ids.size() * 2);  // full: there may be more
    }
    ids.resize(bytes / sizeof(DWORD));
    std::vector<std::uint32_t> others;
    for (DWORD id : ids) {
        if (id != 0 && id != GetCurrentProcessId()) others.push_back(id);
    }
    return others;
}

Opened OpenToQuery(std::uint32_t id, Process& process) {
    process = Process();
    process.Id = id;
    process.Query = OpenProcess(kQueryAccess, FALSE, id);
    if (process.Query == nullptr) return Failure(GetLastError());
    BOOL wow64 = FALSE;
    if (OnSixtyFourBitWindows() && (!IsWow64Process(process.Query, &wow64) || !wow64)) return Opened::Not32Bit;
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    FILETIME created, exited, kernel, user;
    if (!QueryFullProcessImageNameW(process.Query, 0, &path[0], &size) ||
        !GetProcessTimes(process.Query, &created, &exited, &kernel, &user)) {
        return HasEnded(process) ? Opened::Ended : Failure(GetLastError());
    }
    path.resize(size);
    process.Path = os::DisplayPath(path);
    process.StartTime = Ticks(created);
    return HasEnded(process) ? Opened::Ended : Opened::Yes;
}

Opened OpenToRead(Process& process) {
    process.Read = OpenProcess(kReadAccess, FALSE, process.Id);
    if (process.Read == nullptr) return HasEnded(process) ? Opened::Ended : Failure(GetLastError());
    return Opened::Yes;
}

// The loader's own list of the process's modules, walked in its memory: two reads
// per module. (psapi's GetModuleFileNameEx walks the list anew for each module, and
// under Wine every read is a round trip to wineserver.) The layouts are the 32-bit
// ones that 32-bit psapi reads too: PEB.Ldr at 0x0C; PEB_LDR_DATA's
// InLoadOrderModuleList at 0x0C; in each LDR_DATA_TABLE_ENTRY, the link at 0,
// DllBase at 0x18, SizeOfImage at 0x20 and FullDllName (a UNICODE_STRING) at 0x24.
bool ListModules(const Process& process, std::vector<ProcessModule>& modules) {
    modules.clear();
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    struct {
        LONG ExitStatus;
        void* PebBaseAddress;
        ULONG_PTR AffinityMask, BasePriority, UniqueProcessId, InheritedFromUniqueProcessId;
    } basic{};
    ULONG size = 0;
    if (query == nullptr || query(process.Read, 0 /* ProcessBasicInformation */, &basic, sizeof basic, &size) != 0) {
        return false;
    }
    const auto u32 = [](const std::vector<std::uint8_t>& bytes, std::size_t at) {
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t{bytes[at + 3]} << 24;
    };
    std::vector<std::uint8_t> bytes;
    const std::uint32_t peb = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(basic.PebBaseAddress));
    if (!ReadMemory(process, peb + 0x0C, 4, bytes) || u32(bytes, 0) == 0) return false;
    const std::uint32_t head = u32(bytes, 0) + 0x0C;
    if (!ReadMemory(process, head, 4, bytes)) return false;
    for (std::uint32_t link = u32(bytes, 0); link != head && modules.size() < 4096;) {
        if (!ReadMemory(process, link, 0x2C, bytes)) return false;
        const std::uint32_t next = u32(bytes, 0);
        ProcessModule module{"", u32(bytes, 0x18), u32(bytes, 0x20)};
        const std::uint32_t length = bytes[0x24] | bytes[0x25] << 8;
        if (length > 0 && !ReadMemory(process, u32(bytes, 0x28), length, bytes)) return false;
        std::wstring path(length / 2, L'\0');
        if (length > 0) std::memcpy(&path[0], bytes.data(), path.size() * 2);
        module.Path = os::DisplayPath(path);
        modules.push_back(module);
        link = next;
    }
    return !modules.empty();
}

bool ReadMemory(const Process& process, std::uint32_t address, std::uint32_t size, std::vector<std::uint8_t>& bytes) {
    bytes.assign(size, 0);
    SIZE_T got = 0;
    return ReadProcessMemory(process.Read, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)),
                             bytes.data(), size, &got) &&
           got == size;
}

bool HasEnded(const Process& process) {
    DWORD code = 0;
    return process.Query != nullptr && GetExitCodeProcess(process.Query, &code) && code != STILL_ACTIVE;
}

}  // namespace zk::check::sys
