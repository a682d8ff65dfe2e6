// Windows' own strictness, for a process that runs under Wine, and the code-page
// pretence, for any process. Two layers:
//  - the pretence (GetACP, GetOEMCP, WideCharToMultiByte, MultiByteToWideChar),
//    installed everywhere: the process believes its code pages are others;
//  - the strict layer, installed under Wine only: Wine accepts calls that Windows
//    refuses, and each wrapper refuses what Microsoft documents that Windows
//    refuses, then calls the real function. On Windows it would add nothing.
// Each wrapper goes on the function that does the work, behind KERNEL32's stubs
// (detour.cpp). The rules, each with the behaviour of Windows it stands for:
//
//  code page   CP_ACP, CP_THREAD_ACP and CP_OEMCP stand for the ANSI and OEM code
//              pages (which PretendCodePages may change); every rule below looks at
//              the number they stand for, and the real conversion gets that number.
//  WideCharToMultiByte
//    utf8-defaults   UTF-8 (65001) and UTF-7 (65000): a default character or a
//                    used-default pointer fails with ERROR_INVALID_PARAMETER.
//    no-flags        42, 50220-50229, 57002-57011 and 65000 take no flags at all:
//                    anything else fails with ERROR_INVALID_FLAGS.
//    utf8-flags      65001 and 54936 take only 0 or WC_ERR_INVALID_CHARS.
//    err-invalid     WC_ERR_INVALID_CHARS with any other code page fails with
//                    ERROR_INVALID_FLAGS.
//  MultiByteToWideChar
//    no-flags        as above, for the same code pages.
//    utf8-flags      65001 and 54936 take only 0 or MB_ERR_INVALID_CHARS.
//  (The four rules above belong to the strict layer.)
//  GetACP, GetOEMCP  report the pretended code pages.
//  CreateFileW, FindFirstFileW, GetFileAttributesW, LoadLibraryW
//    literal         a path in the \\?\ form is taken as it stands: "/" is no
//                    separator and "." and ".." are no steps, so a path holding
//                    them names nothing (ERROR_PATH_NOT_FOUND).
//    max-path        any other path whose full form has MAX_PATH (260) characters
//                    or more fails (ERROR_PATH_NOT_FOUND): the game declares no
//                    long-path awareness.
//  GetModuleFileNameW
//    literal-module  a module loaded by a \\?\ path is named in that form (Wine
//                    hands back the normalised path). A buffer too small gets the
//                    path cut short with its NUL, the buffer's size as the result
//                    and ERROR_INSUFFICIENT_BUFFER (Vista and later).
//  VirtualProtect (in the recorder of recorders.cpp)
//    old-protect     a null pointer for the old protection fails (ERROR_NOACCESS).
#include "harness.h"

#include "detour.h"

#include <atomic>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

namespace harness {
namespace {

std::atomic<unsigned> gAnsi{0}, gOem{0};  // 0: the process's own
std::atomic<int> gCounts[kStrictRuleCount];  // how often each rule acted

std::atomic<bool> gStrict{false};
std::string gStubs;  // what each wrapped function looked like

// The trampolines, one per wrapped function: by name, since functions of one type
// (GetACP and GetOEMCP) must not share one.
enum RealFunction {
    kRealGetACP, kRealGetOEMCP, kRealWideCharToMultiByte, kRealMultiByteToWideChar,
    kRealCreateFileW, kRealFindFirstFileW, kRealGetFileAttributesW, kRealLoadLibraryW,
    kRealGetModuleFileNameW, kRealCount
};
void* gReal[kRealCount];

#define REAL(name) reinterpret_cast<decltype(&::name)>(gReal[kReal##name])

unsigned AnsiCodePage() { return gAnsi ? gAnsi.load() : REAL(GetACP)(); }
unsigned OemCodePage() { return gOem ? gOem.load() : REAL(GetOEMCP)(); }

UINT Resolve(UINT codePage) {
    if (codePage == CP_ACP || codePage == CP_THREAD_ACP) return AnsiCodePage();
    if (codePage == CP_OEMCP) return OemCodePage();
    return codePage;
}

bool TakesNoFlags(UINT codePage) {
    return codePage == 42 || (codePage >= 50220 && codePage <= 50229) ||
           (codePage >= 57002 && codePage <= 57011) || codePage == 65000;
}

template <typename Result>
Result Refuse(StrictRule rule, DWORD error, Result result) {
    ++gCounts[rule];
    SetLastError(error);
    return result;
}

int WINAPI StrictWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideLength,
                                     LPSTR narrow, int narrowSize, LPCCH defaultChar,
                                     LPBOOL usedDefault) {
    const UINT page = Resolve(codePage);
    if (!gStrict) {
        return REAL(WideCharToMultiByte)(page, flags, wide, wideLength, narrow, narrowSize,
                                         defaultChar, usedDefault);
    }
    const bool utf = page == CP_UTF8 || page == 65000;
    if (utf && (defaultChar != nullptr || usedDefault != nullptr)) {
        return Refuse(kRuleUtf8Defaults, ERROR_INVALID_PARAMETER, 0);
    }
    if (TakesNoFlags(page) && flags != 0) return Refuse(kRuleNoFlags, ERROR_INVALID_FLAGS, 0);
    if (page == CP_UTF8 || page == 54936) {
        if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
            return Refuse(kRuleUtf8Flags, ERROR_INVALID_FLAGS, 0);
        }
    } else if ((flags & WC_ERR_INVALID_CHARS) != 0) {
        return Refuse(kRuleErrInvalidChars, ERROR_INVALID_FLAGS, 0);
    }
    return REAL(WideCharToMultiByte)(page, flags, wide, wideLength, narrow, narrowSize,
                                     defaultChar, usedDefault);
}

int WINAPI StrictMultiByteToWideChar(UINT codePage, DWORD flags, LPCCH narrow, int narrowLength,
                                     LPWSTR wide, int wideSize) {
    const UINT page = Resolve(codePage);
    if (!gStrict) return REAL(MultiByteToWideChar)(page, flags, narrow, narrowLength, wide, wideSize);
    if (TakesNoFlags(page) && flags != 0) return Refuse(kRuleNoFlags, ERROR_INVALID_FLAGS, 0);
    if ((page == CP_UTF8 || page == 54936) &&
        (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
        return Refuse(kRuleUtf8Flags, ERROR_INVALID_FLAGS, 0);
    }
    return REAL(MultiByteToWideChar)(page, flags, narrow, narrowLength, wide, wideSize);
}

UINT WINAPI StrictGetACP() { return AnsiCodePage(); }
UINT WINAPI StrictGetOEMCP() { return OemCodePage(); }

// True when Windows would open the path; false sets the rule that refuses it.
bool PathWindowsAccepts(const wchar_t* path, StrictRule* rule) {
    if (path == nullptr) return true;
    if (std::wcsncmp(path, L"\\\\?\\", 4) == 0) {
        const std::wstring rest(path + 4);
        bool literal = rest.find(L'/') == std::wstring::npos;
        for (std::size_t at = 0; literal && at <= rest.size();) {
            std::size_t end = rest.find(L'\\', at);
            if (end == std::wstring::npos) end = rest.size();
            const std::wstring step = rest.substr(at, end - at);
            literal = step != L"." && step != L"..";
            at = end + 1;
        }
        *rule = kRuleLiteral;
        return literal;
    }
    const DWORD full = GetFullPathNameW(path, 0, nullptr, nullptr);  // with its NUL
    *rule = kRuleMaxPath;
    return full == 0 || full - 1 < MAX_PATH;
}

HANDLE WINAPI StrictCreateFileW(LPCWSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE templateFile) {
    StrictRule rule;
    if (!PathWindowsAccepts(path, &rule)) return Refuse(rule, ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    return REAL(CreateFileW)(path, access, share, security, disposition, flags, templateFile);
}

HANDLE WINAPI StrictFindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW found) {
    StrictRule rule;
    if (!PathWindowsAccepts(pattern, &rule)) return Refuse(rule, ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    return REAL(FindFirstFileW)(pattern, found);
}

DWORD WINAPI StrictGetFileAttributesW(LPCWSTR path) {
    StrictRule rule;
    if (!PathWindowsAccepts(path, &rule)) return Refuse(rule, ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    return REAL(GetFileAttributesW)(path);
}

std::mutex gModulesLock;
std::vector<std::wstring> gLiteralPaths;  // modules loaded by a \\?\ path, without it

std::wstring WithoutPrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && _wcsicmp(a.c_str(), b.c_str()) == 0;
}

// Noted before the real call: the module's own DllMain asks for its name while
// it is being loaded.
HMODULE WINAPI StrictLoadLibraryW(LPCWSTR path) {
    StrictRule rule;
    if (!PathWindowsAccepts(path, &rule)) return Refuse(rule, ERROR_PATH_NOT_FOUND, HMODULE{});
    if (path != nullptr) {
        const std::wstring plain = WithoutPrefix(path);
        const bool literal = std::wcsncmp(path, L"\\\\?\\", 4) == 0;
        std::lock_guard<std::mutex> hold(gModulesLock);
        for (auto it = gLiteralPaths.begin(); it != gLiteralPaths.end();) {
            it = SamePath(*it, plain) ? gLiteralPaths.erase(it) : it + 1;
        }
        if (literal) gLiteralPaths.push_back(plain);
    }
    return REAL(LoadLibraryW)(path);
}

bool AnyLoadedLiterally() {
    std::lock_guard<std::mutex> hold(gModulesLock);
    return !gLiteralPaths.empty();
}

bool LoadedLiterally(const std::wstring& path) {
    const std::wstring plain = WithoutPrefix(path);
    std::lock_guard<std::mutex> hold(gModulesLock);
    for (const std::wstring& known : gLiteralPaths) {
        if (SamePath(known, plain)) return true;
    }
    return false;
}

DWORD WINAPI StrictGetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size) {
    if (module == nullptr || !AnyLoadedLiterally()) return REAL(GetModuleFileNameW)(module, path, size);
    std::wstring full(32768, L'\0');
    const DWORD length = REAL(GetModuleFileNameW)(module, &full[0], static_cast<DWORD>(full.size()));
    if (length == 0 || length >= full.size()) return REAL(GetModuleFileNameW)(module, path, size);
    full.resize(length);
    if (!LoadedLiterally(full)) return REAL(GetModuleFileNameW)(module, path, size);
    full = Literal(full);
    ++gCounts[kRuleLiteralModule];
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (full.size() >= size) {
        std::memcpy(path, full.data(), (size - 1) * sizeof(wchar_t));
        path[size - 1] = L'\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(path, full.c_str(), (full.size() + 1) * sizeof(wchar_t));
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(full.size());
}

// Adds "Name: why" to missing when the function cannot be wrapped.
void Wrap(const char* name, RealFunction real, const void* replacement, std::string* missing) {
    if (gReal[real] != nullptr) return;  // wrapped already
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    void* function = kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, name)) : nullptr;
    std::string why = "KERNEL32 does not export it";
    if (function != nullptr) {
        gStubs += std::string(gStubs.empty() ? "" : "; ") + name + ": " + DescribeStubs(function);
        gReal[real] = InstallDetour(function, replacement, &InSystemModule, &why);
    }
    if (gReal[real] == nullptr) *missing += std::string(missing->empty() ? "" : "; ") + name + ": " + why;
}

}  // namespace

// The replacement must have the real function's type.
#define ZK_WRAP(name) \
    Wrap(#name, kReal##name, reinterpret_cast<const void*>(static_cast<decltype(&::name)>(&Strict##name)), &missing);

std::string InstallCodePagePretence() {
    std::string missing;
    ZK_WRAP(GetACP)
    ZK_WRAP(GetOEMCP)
    ZK_WRAP(WideCharToMultiByte)
    ZK_WRAP(MultiByteToWideChar)
    return missing;
}

std::string InstallStrictKernel() {
    std::string missing = InstallCodePagePretence();
    ZK_WRAP(CreateFileW)
    ZK_WRAP(FindFirstFileW)
    ZK_WRAP(GetFileAttributesW)
    ZK_WRAP(LoadLibraryW)
    ZK_WRAP(GetModuleFileNameW)
    gStrict = missing.empty();
    return missing;
}

bool StrictLayerOn() { return gStrict; }

std::string WrappedStubs() { return gStubs; }

bool CodePagePretenceOn() {
    return gReal[kRealGetACP] && gReal[kRealGetOEMCP] && gReal[kRealWideCharToMultiByte] &&
           gReal[kRealMultiByteToWideChar];
}

std::string WineVersion() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    using Version = const char*(CDECL*)();
    const auto version = ntdll ? reinterpret_cast<Version>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version"))) : nullptr;
    return version != nullptr ? version() : "";
}

void PretendCodePages(unsigned ansi, unsigned oem) {
    gAnsi = ansi;
    gOem = oem;
}

int TakeStrictCount(StrictRule rule) { return gCounts[rule].exchange(0); }

void CountStrictRule(StrictRule rule) { ++gCounts[rule]; }

}  // namespace harness
