// Windows implementation of the OS seam.
#include "core/os.h"

#include <windows.h>

#include <locale.h>  // ___lc_codepage_func: the C run-time's current code page

#include <memory>

namespace zk::os {
namespace {

// The code page as a number: the conversion flags a code page accepts depend on
// which one it is, and CP_ACP or CP_OEMCP may stand for UTF-8 (the "Use Unicode
// UTF-8 for worldwide language support" setting of Windows 10 and later).
UINT FileSystemCodePage() {
    if (___lc_codepage_func() == CP_UTF8) return CP_UTF8;
    return AreFileApisANSI() ? GetACP() : GetOEMCP();
}

// Code pages whose conversions take no flags at all: the ISO-2022 family, the ISCII
// pages, UTF-7 and Symbol.
bool TakesNoFlags(UINT codePage) {
    return codePage == 42 || (codePage >= 50220 && codePage <= 50229) ||
           (codePage >= 57002 && codePage <= 57011) || codePage == 65000;
}

// UTF-8 and UTF-7 report no default character; the call fails if asked to.
bool ReportsDefaultChar(UINT codePage) { return codePage != CP_UTF8 && codePage != 65000; }

bool ToWide(UINT codePage, DWORD flags, const std::string& narrow, std::wstring& wide) {
    wide.clear();
    if (narrow.empty()) return true;
    const int length = static_cast<int>(narrow.size());
    const int size = MultiByteToWideChar(codePage, flags, narrow.data(), length, nullptr, 0);
    if (size <= 0) return false;
    wide.resize(static_cast<size_t>(size));
    return MultiByteToWideChar(codePage, flags, narrow.data(), length, &wide[0], size) == size;
}

// Exact: no best-fit replacement and no default character. Code pages that refuse
// the flag saying so are checked by converting back instead.
bool ToNarrowExact(const wchar_t* wide, std::string& narrow) {
    const UINT codePage = FileSystemCodePage();
    const int wideLength = static_cast<int>(wcslen(wide));
    narrow.clear();
    if (wideLength == 0) return true;
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    if (codePage == CP_UTF8 || codePage == 54936) {
        flags = WC_ERR_INVALID_CHARS;  // an unpaired surrogate is an error
    } else if (TakesNoFlags(codePage)) {
        flags = 0;
    }
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = ReportsDefaultChar(codePage) ? &usedDefault : nullptr;
    const int size = WideCharToMultiByte(codePage, flags, wide, wideLength, nullptr, 0, nullptr,
                                         usedDefaultOut);
    if (size <= 0 || usedDefault) return false;
    narrow.resize(static_cast<size_t>(size));
    if (WideCharToMultiByte(codePage, flags, wide, wideLength, &narrow[0], size, nullptr,
                            usedDefaultOut) != size ||
        usedDefault) {
        return false;
    }
    if (flags != 0) return true;
    std::wstring back;
    return ToWide(codePage, 0, narrow, back) && back == wide;
}

}  // namespace

// A path Windows takes literally once it is as long as the classic limit, which the
// game (declaring no long-path awareness) cannot pass otherwise. Shorter paths, and
// paths already literal or relative, stay as they are.
NativePath LiteralWhenLong(const NativePath& path) {
    if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0 ||
        path.compare(0, 4, L"\\\\.\\") == 0) {
        return path;
    }
    const bool drive = path.size() > 2 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool unc = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
    if (!drive && !unc) return path;
    // Literal means no "/" separators and no "." or ".." steps: let Windows resolve
    // those first. That is a string operation and takes long paths.
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC" + full.substr(1);
    return L"\\\\?\\" + full;
}

// The folder of the module that holds this code, asked of the loader.
NativePath ModuleFolder() {
    // The module is found by an address inside it, so this is the plugin whatever its
    // file is called; its reference count is left alone.
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleFolder), &module);
    // Wide, and grown until the whole path fits: folders outside the ANSI code page
    // and paths longer than MAX_PATH come back intact.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(path.size());
        const DWORD length = GetModuleFileNameW(module, &path[0], size);
        if (length == 0) {
            path.clear();
            break;
        }
        if (length < size) {
            path.resize(length);
            break;
        }
        if (size >= 0x10000) {  // longer than any Windows path: give up on it
            path.clear();
            break;
        }
        path.resize(size * 2);
    }
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool JoinPath(const NativePath& folder, const std::string& relativeName, NativePath& joined) {
    std::wstring wideName;
    const UINT codePage = FileSystemCodePage();
    const DWORD flags = TakesNoFlags(codePage) ? 0 : MB_ERR_INVALID_CHARS;
    if (!ToWide(codePage, flags, relativeName, wideName)) return false;
    joined = folder + wideName;
    return true;
}

bool ReadWholeFile(const NativePath& path, std::string& bytes) {
    HANDLE file = CreateFileW(LiteralWhenLong(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)> open(file, CloseHandle);
    if (GetFileType(file) != FILE_TYPE_DISK) return false;
    bytes.clear();
    // Straight into the result, never through a buffer on the stack: the thread that
    // loads the plugin is the host's or the loader's, and its stack may be small. To
    // the end rather than to a size asked first, since the file may be growing, and
    // a disk file's read comes back short only at its end. Settings files are small:
    // the first read, of 4 KB, is most often the only one.
    std::size_t want = 4096;
    for (;;) {
        const std::size_t used = bytes.size();
        bytes.resize(used + want);
        DWORD got = 0;
        const BOOL read = ReadFile(file, &bytes[used], static_cast<DWORD>(want), &got, nullptr);
        bytes.resize(used + (read ? got : 0));
        if (!read) return false;
        if (got < want) return true;
        want = 65536;
    }
}

bool ListFolder(const NativePath& folder, std::vector<FolderEntry>& entries) {
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(LiteralWhenLong(folder + L"\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    // Closed however the walk ends: appending an entry may throw.
    const std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)> open(listing, FindClose);
    do {
        const wchar_t* name = found.cFileName;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0) continue;
        FolderEntry entry;
        if (!ToNarrowExact(name, entry.Name)) continue;  // no exact narrow form: skipped
        entry.IsFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries.push_back(std::move(entry));
    } while (FindNextFileW(listing, &found));
    // ERROR_NO_MORE_FILES is the normal end; any other failure ends the listing too,
    // keeping what was read.
    return true;
}

std::string DisplayPath(const NativePath& path) {
    std::string utf8;
    const int size = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return utf8;
    utf8.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), &utf8[0], size,
                        nullptr, nullptr);
    return utf8;
}

NativePath PathFromUtf8(const std::string& utf8) {
    std::wstring wide;
    ToWide(CP_UTF8, 0, utf8, wide);
    return wide;
}

bool ProtectMemory(std::uint32_t address, std::uint32_t size, std::uint32_t protection,
                   std::uint32_t* previous) {
    DWORD old = 0;
    const BOOL ok = VirtualProtect(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), size,
                                   protection, &old);
    if (previous != nullptr) *previous = old;
    return ok != FALSE;
}

bool IsRangeWritable(std::uint32_t address, std::uint32_t size) {
    const std::uint64_t end = static_cast<std::uint64_t>(address) + size;
    std::uint64_t at = address;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(at)), &region,
                         sizeof region) == 0) {
            return false;
        }
        const DWORD writable =
            PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        if (region.State != MEM_COMMIT || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0 ||
            (region.Protect & writable) == 0) {
            return false;
        }
        at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

const std::uint8_t* MainImageBase() {
    return reinterpret_cast<const std::uint8_t*>(GetModuleHandleA(nullptr));
}

void ShowErrorMessage(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_ICONERROR);
}

}  // namespace zk::os
