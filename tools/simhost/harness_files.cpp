// File helpers of the harness: the command line, UTF-8 and UTF-16, the program's
// folder, and folders made, copied, listed and deleted in their literal form.
#include "harness_parts.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>

namespace harness {

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring NativeRelative(const std::string& relative) {
    std::wstring wide = Widen(relative);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

std::wstring Literal(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC" + path.substr(1);
    return path;
}

std::vector<std::string> CommandLineArguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], size);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], size,
                        nullptr, nullptr);
    return utf8;
}

std::wstring ProgramFolder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return FolderOf(path);
}

std::wstring FixtureFolder(const std::wstring& name) { return ProgramFolder() + L"fixtures\\" + name; }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Literal(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) break;
        done += wrote;
    }
    CloseHandle(file);
}

void MakeFolder(const std::wstring& path) {
    // Each level in turn; the deep test folders go beyond what one call creates.
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(Literal(path.substr(0, at)).c_str(), nullptr);
    }
    CreateDirectoryW(Literal(path).c_str(), nullptr);
}

void ForEachEntry(const std::wstring& folder, const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(Literal(folder + L"\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return;
    do {
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) visit(found);
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
}

void DeleteTree(const std::wstring& path) {
    ForEachEntry(path, [&path](const WIN32_FIND_DATAW& found) {
        const std::wstring child = path + L"\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteTree(child);
        } else {
            SetFileAttributesW(Literal(child).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(Literal(child).c_str());
        }
    });
    RemoveDirectoryW(Literal(path).c_str());
}

void CopyTree(const std::wstring& from, const std::wstring& to) {
    ForEachEntry(from, [&from, &to](const WIN32_FIND_DATAW& found) {
        const std::wstring source = from + L"\\" + found.cFileName, target = to + L"\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CreateDirectoryW(Literal(target).c_str(), nullptr);
            CopyTree(source, target);
        } else {
            CopyFileW(Literal(source).c_str(), Literal(target).c_str(), FALSE);
        }
    });
}

std::vector<std::string> ListNames(const std::wstring& folder) {
    std::vector<std::string> names;
    ForEachEntry(folder, [&names](const WIN32_FIND_DATAW& found) { names.push_back(Narrow(found.cFileName)); });
    return names;
}

std::string FolderFingerprint(const std::wstring& folder) {
    std::string print;
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& found) {
        print += Narrow(found.cFileName) + ":" + std::to_string(found.nFileSizeLow) + ":" +
                 std::to_string(found.ftLastWriteTime.dwLowDateTime) + "\n";
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            print += FolderFingerprint(folder + L"\\" + found.cFileName);
        }
    });
    return print;
}

}  // namespace harness
