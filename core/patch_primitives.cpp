#include "core/patch_primitives.h"

#include "core/os.h"

namespace zk {
namespace {

// x86 stores of any alignment, each exactly one instruction of its width.
typedef std::uint16_t UnalignedU16 __attribute__((aligned(1), may_alias));
typedef std::uint32_t UnalignedU32 __attribute__((aligned(1), may_alias));

template <typename Store>
void StoreProtected(std::uint32_t site, std::uint32_t size, Store store) {
    std::uint32_t previous = 0;
    const bool opened = os::ProtectMemory(site, size, os::kPageExecuteReadWrite, &previous);
    // A range that could not be opened is written only if it is writable already;
    // a store into read-only memory would crash the host.
    if (opened || os::IsRangeWritable(site, size)) store(static_cast<std::uintptr_t>(site));
    if (opened) {
        std::uint32_t scratch = 0;
        os::ProtectMemory(site, size, previous, &scratch);
    }
}

}  // namespace

void PatchValue(std::uint32_t site, std::uint8_t value) {
    StoreProtected(site, 1, [value](std::uintptr_t at) {
        *reinterpret_cast<volatile std::uint8_t*>(at) = value;
    });
}

void PatchValue(std::uint32_t site, std::uint16_t value) {
    StoreProtected(site, 2, [value](std::uintptr_t at) {
        *reinterpret_cast<volatile UnalignedU16*>(at) = value;
    });
}

void PatchValue(std::uint32_t site, std::uint32_t value) {
    StoreProtected(site, 4, [value](std::uintptr_t at) {
        *reinterpret_cast<volatile UnalignedU32*>(at) = value;
    });
}

void PatchNops(std::uint32_t site, std::uint32_t count) {
    if (count == 0) return;
    StoreProtected(site, count, [count](std::uintptr_t at) {
        std::uint32_t left = count;
        for (; left >= 4; left -= 4, at += 4) {
            *reinterpret_cast<volatile UnalignedU32*>(at) = 0x90909090u;
        }
        if (left >= 2) {
            *reinterpret_cast<volatile UnalignedU16*>(at) = 0x9090u;
            left -= 2;
            at += 2;
        }
        if (left == 1) *reinterpret_cast<volatile std::uint8_t*>(at) = kNopOpcode;
    });
}

void PatchCall(std::uint32_t site, std::uint32_t target) {
    PatchValue(site, kCallOpcode);
    PatchValue(site + 1, RelativeDisplacement(site, target));
}

void PatchJump(std::uint32_t site, std::uint32_t target) {
    PatchValue(site, kJumpOpcode);
    PatchValue(site + 1, RelativeDisplacement(site, target));
}

}  // namespace zk
