// Where the loaded plugin lies, and checks of the routines its written CALL and JMP
// instructions reach.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace harness {

struct ModuleRange {
    std::uint32_t Base = 0;
    std::uint32_t Size = 0;
    std::uint32_t CodeStart = 0;  // the executable section
    std::uint32_t CodeEnd = 0;
    bool Holds(std::uint32_t address) const { return address >= Base && address < Base + Size; }
    bool HoldsCode(std::uint32_t address) const { return address >= CodeStart && address < CodeEnd; }
};

inline ModuleRange RangeOf(HMODULE module) {
    ModuleRange range;
    const auto* base = reinterpret_cast<const std::uint8_t*>(module);
    if (base == nullptr) return range;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    range.Base = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(base));
    range.Size = nt->OptionalHeader.SizeOfImage;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (section->Characteristics & IMAGE_SCN_MEM_EXECUTE) {
            range.CodeStart = range.Base + section->VirtualAddress;
            range.CodeEnd = range.CodeStart + section->Misc.VirtualSize;
            break;
        }
    }
    return range;
}

inline std::uint32_t Load32(std::uint32_t address) {
    std::uint32_t value;
    std::memcpy(&value, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)), 4);
    return value;
}

// "jmp dword ptr [constant]" at `at`: the constant lies in the module and holds
// `destination`.
inline bool IsJumpThroughConstant(const ModuleRange& module, std::uint32_t at,
                                  std::uint32_t destination) {
    const auto* code = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(at));
    if (code[0] != 0xFF || code[1] != 0x25) return false;
    const std::uint32_t slot = Load32(at + 2);
    return module.Holds(slot) && !module.HoldsCode(slot) && Load32(slot) == destination;
}

// `head` (its last byte the CALL opcode), the call's rel32 into the module's code,
// `tail`, then a jump through a constant to `resume`.
template <std::size_t HeadSize, std::size_t TailSize>
bool IsCallingEntry(const ModuleRange& module, std::uint32_t at, const std::uint8_t (&head)[HeadSize],
                    const std::uint8_t (&tail)[TailSize], std::uint32_t resume) {
    const auto* code = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(at));
    const std::uint32_t afterCall = at + HeadSize + 4;
    return module.HoldsCode(at) && std::memcmp(code, head, HeadSize) == 0 &&
           module.HoldsCode(afterCall + Load32(at + HeadSize)) &&
           std::memcmp(code + HeadSize + 4, tail, TailSize) == 0 &&
           IsJumpThroughConstant(module, afterCall + TailSize, resume);
}

// The level-of-detail entry: push [esp+8]; push [esp+8]; call; add esp, 8; jmp [->0x4366B0].
inline bool IsLodOverrideHook(const ModuleRange& module, std::uint32_t at) {
    static const std::uint8_t kPushes[] = {0xFF, 0x74, 0x24, 0x08, 0xFF, 0x74, 0x24, 0x08, 0xE8};
    static const std::uint8_t kPop[] = {0x83, 0xC4, 0x08};
    return IsCallingEntry(module, at, kPushes, kPop, 0x4366B0);
}

// The attribute entry: pushal ... popal; mov eax, [esp+0x10]; jmp [->0x773D44].
inline bool IsAttributeValueEntryStub(const ModuleRange& module, std::uint32_t at) {
    static const std::uint8_t kHead[] = {0x60, 0xFF, 0x74, 0x24, 0x34, 0x55, 0xFF, 0x74, 0x24, 0x2C, 0xE8};
    static const std::uint8_t kTail[] = {0x83, 0xC4, 0x0C, 0x61, 0x8B, 0x44, 0x24, 0x10};
    return IsCallingEntry(module, at, kHead, kTail, 0x773D44);
}

// The autosculpt entry: fld dword [2.56f]; fstp dword [esp+4]; jmp [->0x7E7E7F].
inline bool IsAutosculptSliderStub(const ModuleRange& module, std::uint32_t at) {
    const auto* code = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(at));
    static const std::uint8_t kStore[] = {0xD9, 0x5C, 0x24, 0x04};
    if (!module.HoldsCode(at) || code[0] != 0xD9 || code[1] != 0x05) return false;
    const std::uint32_t constant = Load32(at + 2);
    return module.Holds(constant) && Load32(constant) == 0x4023D70A &&
           std::memcmp(code + 6, kStore, sizeof kStore) == 0 &&
           IsJumpThroughConstant(module, at + 10, 0x7E7E7F);
}

}  // namespace harness
