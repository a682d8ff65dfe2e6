// Recorders and fault injection: every VirtualProtect and MessageBoxA call of the
// process, the debug-output functions silenced (OutputDebugString would end an
// emulated process), protection that fails on request, a listing that breaks
// after so many advances; and the writes over code they are installed by.
#include "harness_parts.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace harness {
namespace {

std::mutex gLock;
std::vector<ProtectCall> gProtectCalls;
std::vector<MessageCall> gMessages;
std::atomic<bool> gFailProtection{false};
std::atomic<int> gThreadAttaches{0};

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

}  // namespace

BOOL ProtectDirect(void* address, SIZE_T size, DWORD protection, DWORD* previous) {
    return VirtualProtectEx(GetCurrentProcess(), address, size, protection, previous);
}

// Writes over code whatever its protection, which it keeps, and flushes the bytes.
void WriteCode(void* at, const void* bytes, std::size_t size) {
    DWORD old = 0;
    ProtectDirect(at, size, PAGE_EXECUTE_READWRITE, &old);
    std::memcpy(at, bytes, size);
    ProtectDirect(at, size, old, &old);
    FlushInstructionCache(GetCurrentProcess(), at, size);
}

void RedirectFunction(void* function, const void* replacement) { Redirect(function, replacement); }

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

}  // namespace harness
