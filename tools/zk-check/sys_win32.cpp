// The checker's calls on Windows: wide paths and listings, the reasons CreateFileW
// gives, and the console window Explorer opens for a double-clicked program.
#include "sys.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
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

}  // namespace zk::check::sys
