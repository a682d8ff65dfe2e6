// Windows' own strictness, for a process that runs under Wine. Wine accepts calls
// that Windows refuses; each wrapper below refuses what Microsoft documents that
// Windows refuses, then calls the real function. The rules, each with the behaviour
// of Windows it stands for:
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
//  VirtualProtect (in the recorder of harness.cpp)
//    old-protect     a null pointer for the old protection fails (ERROR_NOACCESS).
#include "harness.h"

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

// Where the real functions start: their first whole instructions, copied, then a
// jump to the rest.
struct Original {
    const char* Name;
    void* Function;
    std::uint8_t* Trampoline;
};

std::uint8_t* gTrampolines = nullptr;
std::size_t gTrampolineUsed = 0;

// Length of one prologue instruction that may be copied elsewhere unchanged (no
// relative operand), or 0.
std::size_t MovableLength(const std::uint8_t* at) {
    switch (at[0]) {
        case 0x50: case 0x51: case 0x52: case 0x53: case 0x55: case 0x56: case 0x57:
            return 1;  // push reg
        case 0x8B: case 0x89:  // mov reg, reg
            return (at[1] & 0xC0) == 0xC0 ? 2 : 0;
        case 0x6A: return 2;  // push imm8
        case 0x68: return 5;  // push imm32
        case 0x83: return at[1] == 0xEC ? 3 : 0;  // sub esp, imm8
        case 0x81: return at[1] == 0xEC ? 6 : 0;  // sub esp, imm32
        default: return 0;
    }
}

void* MakeTrampoline(void* function) {
    if (gTrampolines == nullptr) {
        gTrampolines = static_cast<std::uint8_t*>(
            VirtualAlloc(nullptr, 0x1000, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
        if (gTrampolines == nullptr) return nullptr;
    }
    const auto* start = static_cast<const std::uint8_t*>(function);
    std::size_t copied = 0;
    while (copied < 5) {
        const std::size_t length = MovableLength(start + copied);
        if (length == 0) return nullptr;
        copied += length;
    }
    if (gTrampolineUsed + copied + 5 > 0x1000) return nullptr;
    std::uint8_t* trampoline = gTrampolines + gTrampolineUsed;
    std::memcpy(trampoline, start, copied);
    trampoline[copied] = 0xE9;
    const std::uint32_t displacement = static_cast<std::uint32_t>(
        reinterpret_cast<std::uintptr_t>(start + copied) -
        reinterpret_cast<std::uintptr_t>(trampoline + copied + 5));
    std::memcpy(trampoline + copied + 1, &displacement, 4);
    gTrampolineUsed += (copied + 5 + 15) & ~std::size_t{15};
    return trampoline;
}

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

bool Wrap(const char* name, RealFunction real, const void* replacement) {
    if (gReal[real] != nullptr) return true;  // wrapped already
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    void* function = kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, name)) : nullptr;
    if (function == nullptr) return false;
    void* trampoline = MakeTrampoline(function);
    if (trampoline == nullptr) return false;
    gReal[real] = trampoline;
    RedirectFunction(function, replacement);
    return true;
}

}  // namespace

// The replacement must have the real function's type.
#define ZK_WRAP(name)                                                                 \
    if (!Wrap(#name, kReal##name,                                                     \
              reinterpret_cast<const void*>(static_cast<decltype(&::name)>(&Strict##name)))) { \
        missing += std::string(missing.empty() ? "" : " ") + #name;                   \
    }

std::string InstallStrictKernel() {
    std::string missing;
    ZK_WRAP(GetACP)
    ZK_WRAP(GetOEMCP)
    ZK_WRAP(WideCharToMultiByte)
    ZK_WRAP(MultiByteToWideChar)
    ZK_WRAP(CreateFileW)
    ZK_WRAP(FindFirstFileW)
    ZK_WRAP(GetFileAttributesW)
    ZK_WRAP(LoadLibraryW)
    ZK_WRAP(GetModuleFileNameW)
    return missing;
}

void PretendCodePages(unsigned ansi, unsigned oem) {
    gAnsi = ansi;
    gOem = oem;
}

int TakeStrictCount(StrictRule rule) { return gCounts[rule].exchange(0); }

void CountStrictRule(StrictRule rule) { ++gCounts[rule]; }

}  // namespace harness
