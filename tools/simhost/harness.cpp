#include "harness.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <mutex>

namespace harness {
namespace {

std::mutex gLock;
std::vector<ProtectCall> gProtectCalls;
std::vector<MessageCall> gMessages;
std::atomic<bool> gFailProtection{false};
std::atomic<int> gThreadAttaches{0};
std::atomic<int> gScenarioNumber{0};

std::vector<std::uint8_t> gPristine;
std::vector<std::uint32_t> gPristineProtection;  // one per page

constexpr std::uint32_t kPage = 0x1000;

BOOL ProtectDirect(void* address, SIZE_T size, DWORD protection, DWORD* previous) {
    return VirtualProtectEx(GetCurrentProcess(), address, size, protection, previous);
}

BOOL WINAPI RecordVirtualProtect(LPVOID address, SIZE_T size, DWORD protection, PDWORD previous) {
    ProtectCall call{static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address)),
                     static_cast<std::uint32_t>(size), protection, 0, false};
    BOOL result = FALSE;
    if (previous == nullptr) {
        CountStrictRule(kRuleOldProtect);  // Windows refuses it; Wine does not
        SetLastError(ERROR_NOACCESS);
    } else if (gFailProtection) {
        SetLastError(ERROR_INVALID_ADDRESS);
    } else {
        result = ProtectDirect(address, size, protection, previous);
    }
    call.Succeeded = result != FALSE;
    if (result && previous != nullptr) call.Previous = *previous;
    std::lock_guard<std::mutex> hold(gLock);
    gProtectCalls.push_back(call);
    return result;
}

int WINAPI RecordMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::lock_guard<std::mutex> hold(gLock);
    gMessages.push_back({reinterpret_cast<std::uintptr_t>(owner), text ? text : "",
                         caption ? caption : "", type});
    return IDOK;
}

// Writes over code whatever its protection, which it keeps, and flushes the bytes.
void WriteCode(void* at, const void* bytes, std::size_t size) {
    DWORD old = 0;
    ProtectDirect(at, size, PAGE_EXECUTE_READWRITE, &old);
    std::memcpy(at, bytes, size);
    ProtectDirect(at, size, old, &old);
    FlushInstructionCache(GetCurrentProcess(), at, size);
}

// Overwrites the first bytes of a system function with a jump to ours.
void Redirect(void* function, const void* replacement) {
    std::uint8_t jump[5] = {0xE9};
    const std::uint32_t displacement = static_cast<std::uint32_t>(
        reinterpret_cast<std::uintptr_t>(replacement) - (reinterpret_cast<std::uintptr_t>(function) + 5));
    std::memcpy(jump + 1, &displacement, 4);
    WriteCode(function, jump, sizeof jump);
}

void Redirect(const wchar_t* module, const char* name, const void* replacement) {
    HMODULE handle = GetModuleHandleW(module);
    if (handle == nullptr) handle = LoadLibraryW(module);
    void* function = handle ? reinterpret_cast<void*>(GetProcAddress(handle, name)) : nullptr;
    if (function != nullptr) Redirect(function, replacement);
}

// "ret 4": the debug-output functions do nothing.
void MakeReturnFour(void* function) {
    static const std::uint8_t kReturnFour[] = {0xC2, 0x04, 0x00};
    WriteCode(function, kReturnFour, sizeof kReturnFour);
}

std::uint8_t* HostByte(std::uint32_t address) {
    return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring NativeRelative(const std::string& relative) {
    std::wstring wide = Widen(relative);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

}  // namespace

void RedirectFunction(void* function, const void* replacement) { Redirect(function, replacement); }

std::wstring Literal(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC" + path.substr(1);
    return path;
}

void NoteThreadAttach() { ++gThreadAttaches; }
int ThreadAttachCount() { return gThreadAttaches; }

void SilenceDebugOutput() {
    for (const wchar_t* module : {L"kernelbase.dll", L"kernel32.dll"}) {
        HMODULE handle = GetModuleHandleW(module);
        if (handle == nullptr) continue;
        for (const char* name : {"OutputDebugStringA", "OutputDebugStringW"}) {
            if (void* function = reinterpret_cast<void*>(GetProcAddress(handle, name))) {
                MakeReturnFour(function);
            }
        }
    }
}

void InstallRecorders() {
    Redirect(L"kernel32.dll", "VirtualProtect", reinterpret_cast<const void*>(&RecordVirtualProtect));
    Redirect(L"user32.dll", "MessageBoxA", reinterpret_cast<const void*>(&RecordMessageBoxA));
}

std::vector<ProtectCall> TakeProtectCalls() {
    std::lock_guard<std::mutex> hold(gLock);
    std::vector<ProtectCall> calls;
    calls.swap(gProtectCalls);
    return calls;
}

void FailProtection(bool fail) { gFailProtection = fail; }

namespace {

std::uint8_t* gFindNext = nullptr;
std::uint8_t gFindNextStart[5];
int gFindNextBudget = -1;

void SetFindNextRedirected(bool redirected);

// Counts down the advances it lets through, each by the real function with its
// first bytes put back for the call.
BOOL WINAPI LimitedFindNext(HANDLE listing, LPWIN32_FIND_DATAW found) {
    if (gFindNextBudget == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    --gFindNextBudget;
    SetFindNextRedirected(false);
    const BOOL result = reinterpret_cast<BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW)>(gFindNext)(listing, found);
    SetFindNextRedirected(true);
    return result;
}

void SetFindNextRedirected(bool redirected) {
    if (redirected) {
        Redirect(gFindNext, reinterpret_cast<const void*>(&LimitedFindNext));
        return;
    }
    WriteCode(gFindNext, gFindNextStart, sizeof gFindNextStart);
}

}  // namespace

void FailListingAfter(int advances) {
    if (gFindNext == nullptr) {
        gFindNext = reinterpret_cast<std::uint8_t*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "FindNextFileW"));
        std::memcpy(gFindNextStart, gFindNext, 5);
    }
    const bool wasArmed = gFindNextBudget >= 0;
    gFindNextBudget = advances;
    if (wasArmed != (advances >= 0)) SetFindNextRedirected(advances >= 0);
}

std::vector<MessageCall> TakeMessages() {
    std::lock_guard<std::mutex> hold(gLock);
    std::vector<MessageCall> messages;
    messages.swap(gMessages);
    return messages;
}

std::uint32_t HostImageSize() {
    const auto* base = HostByte(SIM_IMAGE_BASE);
    std::uint32_t lfanew = 0, size = 0;
    std::memcpy(&lfanew, base + 0x3C, 4);
    std::memcpy(&size, base + lfanew + 0x50, 4);  // SizeOfImage
    return size;
}

void TakeHostSnapshot() {
    const std::uint32_t size = HostImageSize();
    gPristine.assign(HostByte(SIM_IMAGE_BASE), HostByte(SIM_IMAGE_BASE) + size);
    gPristineProtection.clear();
    for (std::uint32_t at = SIM_IMAGE_BASE; at < SIM_IMAGE_BASE + size; at += kPage) {
        gPristineProtection.push_back(CurrentProtection(at));
    }
}

const std::vector<std::uint8_t>& PristineImage() { return gPristine; }

std::vector<std::uint8_t> CurrentImage() {
    return std::vector<std::uint8_t>(HostByte(SIM_IMAGE_BASE),
                                     HostByte(SIM_IMAGE_BASE) + gPristine.size());
}

std::uint32_t PristineProtection(std::uint32_t address) {
    return gPristineProtection.at((address - SIM_IMAGE_BASE) / kPage);
}

std::uint32_t CurrentProtection(std::uint32_t address) {
    MEMORY_BASIC_INFORMATION region{};
    VirtualQuery(HostByte(address), &region, sizeof region);
    return region.Protect;
}

void RestoreHostImage() {
    for (std::uint32_t offset = 0; offset < gPristine.size(); offset += kPage) {
        std::uint8_t* live = HostByte(SIM_IMAGE_BASE + offset);
        const std::uint32_t length = std::min<std::uint32_t>(kPage, gPristine.size() - offset);
        if (std::memcmp(live, gPristine.data() + offset, length) != 0) {
            DWORD old = 0;
            ProtectDirect(live, length, PAGE_EXECUTE_READWRITE, &old);
            std::memcpy(live, gPristine.data() + offset, length);
            FlushInstructionCache(GetCurrentProcess(), live, length);
        }
    }
    for (std::uint32_t offset = 0; offset < gPristine.size();) {
        MEMORY_BASIC_INFORMATION region{};
        VirtualQuery(HostByte(SIM_IMAGE_BASE + offset), &region, sizeof region);
        const std::uint32_t wanted = gPristineProtection[offset / kPage];
        if (region.Protect != wanted) {
            DWORD old = 0;
            ProtectDirect(HostByte(SIM_IMAGE_BASE + offset), kPage, wanted, &old);
            offset += kPage;
        } else {
            const std::uint32_t regionEnd = static_cast<std::uint32_t>(
                reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize);
            offset = std::max(offset + kPage, regionEnd - SIM_IMAGE_BASE);
        }
    }
}

void PokeHost(std::uint32_t address, const void* bytes, std::size_t size) {
    WriteCode(HostByte(address), bytes, size);
}

std::uint32_t PeekHost32(std::uint32_t address) {
    std::uint32_t value = 0;
    std::memcpy(&value, HostByte(address), 4);
    return value;
}

float PeekHostFloat(std::uint32_t address) { return BitsFloat(PeekHost32(address)); }

std::vector<ByteChange> ChangedBytes() {
    std::vector<ByteChange> changes;
    const std::uint8_t* live = HostByte(SIM_IMAGE_BASE);
    for (std::uint32_t offset = 0; offset < gPristine.size(); offset += kPage) {
        const std::uint32_t length = std::min<std::uint32_t>(kPage, gPristine.size() - offset);
        if (std::memcmp(live + offset, gPristine.data() + offset, length) == 0) continue;
        for (std::uint32_t i = offset; i < offset + length; ++i) {
            if (live[i] != gPristine[i]) {
                changes.push_back({SIM_IMAGE_BASE + i, gPristine[i], live[i]});
            }
        }
    }
    return changes;
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

Scenario::Scenario(const std::wstring& subfolder) {
    RestoreHostImage();
    TakeProtectCalls();
    TakeMessages();
    // Per process as well: the test program and the report tool may run at once.
    root_ = ProgramFolder() + L"scenarios\\p" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++gScenarioNumber);
    DeleteTree(root_);
    pluginFolder_ = root_ + L"\\";
    if (!subfolder.empty()) pluginFolder_ += subfolder + L"\\";
    MakeFolder(pluginFolder_.substr(0, pluginFolder_.size() - 1));
    CopyFileW(Literal(ProgramFolder() + L"ZorbelKavrin.asi").c_str(), Literal(PluginPath()).c_str(), FALSE);
}

Scenario::Scenario(const Fixture& fixture) : root_(fixture.Folder), fixture_(true) {
    RestoreHostImage();
    TakeProtectCalls();
    TakeMessages();
    pluginFolder_ = root_ + L"\\";
    CopyFileW(Literal(ProgramFolder() + L"ZorbelKavrin.asi").c_str(), Literal(PluginPath()).c_str(), FALSE);
}

Scenario::~Scenario() {
    Unload();
    if (fixture_) {
        DeleteFileW(Literal(PluginPath()).c_str());
    } else {
        DeleteTree(root_);
    }
    RestoreHostImage();
    FailProtection(false);
}

void Scenario::File(const std::string& relative, const std::string& bytes) {
    const std::wstring path = pluginFolder_ + NativeRelative(relative);
    const std::wstring parent = FolderOf(path).substr(0, FolderOf(path).size() - 1);
    if (GetFileAttributesW(Literal(parent).c_str()) == INVALID_FILE_ATTRIBUTES) MakeFolder(parent);
    WriteBytes(path, bytes);
}

void Scenario::Folder(const std::string& relative) { MakeFolder(pluginFolder_ + NativeRelative(relative)); }

bool Scenario::Load(bool extendedPath) {
    Unload();
    module_ = LoadLibraryW(((extendedPath ? L"\\\\?\\" : L"") + PluginPath()).c_str());
    return module_ != nullptr;
}

void Scenario::Unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
}

void PassLodSite(sim::LodPass& pass) {
    reinterpret_cast<void(__cdecl*)(sim::LodPass*)>(SIM_LOD_PASS)(&pass);
}

void PassAttributeSite(sim::AttrPass& pass) {
    reinterpret_cast<void(__cdecl*)(sim::AttrPass*)>(SIM_ATTR_PASS)(&pass);
}

void PassSculptSite(sim::SculptPass& pass) {
    reinterpret_cast<void(__cdecl*)(sim::SculptPass*)>(SIM_SCULPT_PASS)(&pass);
}

std::uint32_t CallHostNameHash(const char* name) {
    return reinterpret_cast<std::uint32_t(__cdecl*)(const char*)>(0x436680)(name);
}

void SetLookupTable(const std::vector<sim::LookupEntry>& entries) {
    const std::uint32_t count = static_cast<std::uint32_t>(std::min<size_t>(entries.size(), SIM_LOOKUP_CAPACITY));
    std::memcpy(HostByte(SIM_LOOKUP_TABLE), entries.data(), count * sizeof(sim::LookupEntry));
    std::memcpy(HostByte(SIM_LOOKUP_COUNT), &count, 4);
}

int X87Depth(const std::uint8_t* env) {
    std::uint16_t tags = 0;
    std::memcpy(&tags, env + 8, 2);  // FTW in the 28-byte protected-mode image
    int depth = 0;
    for (int i = 0; i < 8; ++i) depth += ((tags >> (2 * i)) & 3) != 3;
    return depth;
}

std::uint32_t FloatBits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

float BitsFloat(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

std::uint32_t RelativeTarget(std::uint32_t site) {
    return site + 5 + PeekHost32(site + 1);
}

}  // namespace harness
