// Wrapping a system function through its export stubs.
//
// On 32-bit Windows 7 and later, and under WoW64, most KERNEL32 exports are stubs
// into KERNELBASE, in shapes that differ from build to build:
//   8B FF 55 8B EC 5D FF 25 a32   mov edi,edi; push ebp; mov ebp,esp; pop ebp;
//                                 jmp [a32]                     (Windows 7)
//   FF 25 a32                     jmp [a32] at once             (Windows 8 and later)
//   E9 r32 / EB r8                a relative jump, as a hooking tool or an
//                                 incremental linker leaves it
// The function that does the work mostly starts with the hot-patch prologue
// 8B FF 55 8B EC; Wine's own builds start with push ebp and mov ebp,esp, or, for a
// leaf such as GetACP in Wine 8's KERNELBASE, with a movzx of a global. A wrapper
// goes on the function that does the work: every caller's path leads there,
// whether it came through KERNEL32's stub, KERNELBASE or GetProcAddress.
#include "detour.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "harness.h"

namespace harness {
namespace {

constexpr int kMaxHops = 8;
const std::uint8_t kHotPatchPrologue[] = {0x8B, 0xFF, 0x55, 0x8B, 0xEC};

std::string Hex(const void* address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(address)));
    return text;
}

bool Readable(const void* at, std::size_t size) {
    for (const auto* byte : {static_cast<const std::uint8_t*>(at), static_cast<const std::uint8_t*>(at) + size - 1}) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(byte, &info, sizeof info) == 0 || info.State != MEM_COMMIT) return false;
        if ((info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 || info.Protect == 0) return false;
    }
    return true;
}

std::int32_t Read32(const std::uint8_t* at) {
    std::int32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

// Whether p holds a jump, and where it goes. A hot-patch prologue that is undone
// at once (pop ebp) before a jump belongs to the stub. False with why set: the
// jump's target cannot be read.
bool JumpTarget(const std::uint8_t* p, const std::uint8_t** target, std::string* why) {
    *target = nullptr;
    if (std::memcmp(p, kHotPatchPrologue, 5) == 0 && p[5] == 0x5D) {
        const std::uint8_t* after = p + 6;
        const bool jump = after[0] == 0xEB || after[0] == 0xE9 || (after[0] == 0xFF && after[1] == 0x25);
        return !jump || JumpTarget(after, target, why);
    }
    if (p[0] == 0xEB) *target = p + 2 + static_cast<std::int8_t>(p[1]);
    if (p[0] == 0xE9) *target = p + 5 + Read32(p + 1);
    if (p[0] == 0xFF && p[1] == 0x25) {
        const auto* slot = reinterpret_cast<const std::uint8_t* const*>(
            static_cast<std::uintptr_t>(static_cast<std::uint32_t>(Read32(p + 2))));
        if (!Readable(slot, sizeof *slot)) {
            *why = "its jump at " + Hex(p) + " reads its target from " + Hex(slot) + ", which cannot be read";
            return false;
        }
        *target = *slot;
    }
    return true;
}

// Bytes of a ModRM operand: the ModRM byte, a SIB byte, a displacement. In 32-bit
// code every such operand means the same wherever the instruction stands.
std::size_t OperandLength(const std::uint8_t* modrm) {
    const int mod = modrm[0] >> 6, rm = modrm[0] & 7;
    std::size_t length = 1;
    if (mod != 3 && rm == 4) {
        ++length;
        if (mod == 0 && (modrm[1] & 7) == 5) length += 4;
    }
    if (mod == 0 && rm == 5) length += 4;
    if (mod == 1) length += 1;
    if (mod == 2) length += 4;
    return length;
}

// Length of one instruction that may be copied elsewhere unchanged (no relative
// operand), or 0: the few that begin functions of KERNELBASE and of Wine's builds
// (pushes and pops, moves and arithmetic on registers and memory, movzx of a
// global, a read of the TEB through fs).
std::size_t MovableLength(const std::uint8_t* at) {
    const std::uint8_t op = at[0];
    if (op == 0x64 || op == 0x65) {  // fs:, gs:
        const std::size_t length = MovableLength(at + 1);
        return length == 0 ? 0 : 1 + length;
    }
    if (op >= 0x50 && op <= 0x5F) return 1;  // push reg, pop reg
    if (op >= 0xB8 && op <= 0xBF) return 5;  // mov reg, imm32
    switch (op) {
        case 0x6A: return 2;  // push imm8
        case 0x68: return 5;  // push imm32
        case 0xA1: case 0xA3: return 5;  // mov eax, [abs32] and back
        case 0x01: case 0x03: case 0x09: case 0x0B: case 0x21: case 0x23: case 0x29: case 0x2B:
        case 0x31: case 0x33: case 0x39: case 0x3B: case 0x85:
        case 0x88: case 0x89: case 0x8A: case 0x8B: case 0x8D:
            return 1 + OperandLength(at + 1);
        case 0x83: return 1 + OperandLength(at + 1) + 1;  // arithmetic r/m32, imm8
        case 0x81: return 1 + OperandLength(at + 1) + 4;  // arithmetic r/m32, imm32
        case 0xC7: return (at[1] & 0x38) == 0 ? 1 + OperandLength(at + 1) + 4 : 0;  // mov r/m32, imm32
        case 0x0F:  // movzx, movsx
            return at[1] == 0xB6 || at[1] == 0xB7 || at[1] == 0xBE || at[1] == 0xBF ? 2 + OperandLength(at + 2) : 0;
        default: return 0;
    }
}

std::uint8_t* gBlock = nullptr;
std::size_t gUsed = 0;
constexpr std::size_t kBlockSize = 0x1000;

std::uint8_t* TrampolineSpace(std::size_t size) {
    if (gBlock == nullptr || gUsed + size > kBlockSize) {
        gBlock = static_cast<std::uint8_t*>(
            VirtualAlloc(nullptr, kBlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
        gUsed = 0;
        if (gBlock == nullptr) return nullptr;
    }
    std::uint8_t* space = gBlock + gUsed;
    gUsed += (size + 15) & ~std::size_t{15};
    return space;
}

void PutRelative(std::uint8_t* at, std::uint8_t opcode, const void* target) {
    at[0] = opcode;
    const std::uint32_t displacement = static_cast<std::uint32_t>(
        reinterpret_cast<std::uintptr_t>(target) - reinterpret_cast<std::uintptr_t>(at + 5));
    std::memcpy(at + 1, &displacement, 4);
}

// The file name of the module that holds address, or false when none does.
bool ModuleNameOf(const void* address, std::wstring* name) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module)) {
        return false;
    }
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    name->assign(path, length < MAX_PATH ? length : 0);
    *name = name->substr(name->find_last_of(L"\\/") + 1);
    return true;
}

}  // namespace

bool InSystemModule(const void* target, std::string* why) {
    std::wstring name;
    if (!ModuleNameOf(target, &name)) {
        *why = "it jumps to " + Hex(target) + ", in no module: hooked by something else";
        return false;
    }
    for (const wchar_t* system : {L"kernel32.dll", L"kernelbase.dll", L"ntdll.dll"}) {
        if (_wcsicmp(name.c_str(), system) == 0) return true;
    }
    *why = "it jumps to " + Hex(target) + ", in " + Narrow(name) + ": hooked by something else";
    return false;
}

const std::uint8_t* FollowStubs(const void* entry, JumpCheck check, std::string* why) {
    const auto* at = static_cast<const std::uint8_t*>(entry);
    std::vector<const std::uint8_t*> seen;
    for (int hops = 0;; ++hops) {
        if (!Readable(at, 8)) {
            *why = "its code at " + Hex(at) + " cannot be read";
            return nullptr;
        }
        const std::uint8_t* next;
        if (!JumpTarget(at, &next, why)) return nullptr;
        if (next == nullptr) return at;
        seen.push_back(at);
        for (const std::uint8_t* earlier : seen) {
            if (next == earlier) {
                *why = "its jumps loop (back to " + Hex(next) + ")";
                return nullptr;
            }
        }
        if (hops + 1 == kMaxHops) {
            *why = "more than " + std::to_string(kMaxHops) + " jumps lead from it";
            return nullptr;
        }
        if (check != nullptr && !check(next, why)) return nullptr;
        at = next;
    }
}

std::string DescribeStubs(const void* entry) {
    std::string why;
    const std::uint8_t* body = FollowStubs(entry, nullptr, &why);
    auto bytes = [](const std::uint8_t* at, int count) {
        std::string text;
        char byte[4];
        for (int i = 0; i < count; ++i) {
            std::snprintf(byte, sizeof byte, "%s%02X", i ? " " : "", at[i]);
            text += byte;
        }
        return text;
    };
    if (body == nullptr) return bytes(static_cast<const std::uint8_t*>(entry), 6) + " -> " + why;
    if (body == entry) return bytes(body, 5) + ", no stub";
    std::wstring name = L"?";
    ModuleNameOf(body, &name);
    return bytes(static_cast<const std::uint8_t*>(entry), 6) + " -> " + bytes(body, 5) + " in " + Narrow(name);
}

void* InstallDetour(void* entry, const void* replacement, JumpCheck check, std::string* why) {
    const std::uint8_t* body = FollowStubs(entry, check, why);
    if (body == nullptr) return nullptr;
    // At most 5 bytes of instructions (the last may reach 5 further), one
    // relocated call (as long as its original), and the jump back.
    std::uint8_t copy[16];
    std::size_t copied = 0;
    if (std::memcmp(body, kHotPatchPrologue, 5) == 0) {
        std::memcpy(copy, body, 5);
        copied = 5;
    }
    std::vector<std::size_t> calls;  // offsets of relocated calls in copy
    while (copied < 5) {
        std::size_t length = MovableLength(body + copied);
        if (body[copied] == 0xE8) {
            calls.push_back(copied);
            length = 5;
        } else if (length == 0) {
            char detail[64];
            std::snprintf(detail, sizeof detail, "byte %02X at +%u", body[copied], static_cast<unsigned>(copied));
            *why = "the first instructions of its code at " + Hex(body) + " cannot be moved (" + detail + ")";
            return nullptr;
        }
        std::memcpy(copy + copied, body + copied, length);
        copied += length;
    }
    std::uint8_t* trampoline = TrampolineSpace(copied + 5);
    if (trampoline == nullptr) {
        *why = "no memory for its trampoline";
        return nullptr;
    }
    std::memcpy(trampoline, copy, copied);
    for (std::size_t call : calls) {
        PutRelative(trampoline + call, 0xE8, body + call + 5 + Read32(body + call + 1));
    }
    PutRelative(trampoline + copied, 0xE9, body + copied);
    FlushInstructionCache(GetCurrentProcess(), trampoline, copied + 5);
    RedirectFunction(const_cast<std::uint8_t*>(body), replacement);
    return trampoline;
}

}  // namespace harness
