// Writes into host code and read-only data at absolute addresses. Each write opens
// exactly the bytes it changes for writing, stores, and gives them back their
// earlier protection. Used only while the plugin starts, on the loading thread.
#pragma once

#include <cstdint>

namespace zk {

constexpr std::uint8_t kNopOpcode = 0x90;
constexpr std::uint8_t kCallOpcode = 0xE8;
constexpr std::uint8_t kJumpOpcode = 0xE9;

// One store of the value's width (1, 2 or 4 bytes), in one protection window.
void PatchValue(std::uint32_t site, std::uint8_t value);
void PatchValue(std::uint32_t site, std::uint16_t value);
void PatchValue(std::uint32_t site, std::uint32_t value);

// n bytes of 0x90 in one protection window: a 32-bit store per whole group of four,
// then a 16-bit store for a remaining pair (and a byte store for a last odd byte).
void PatchNops(std::uint32_t site, std::uint32_t count);

// A five-byte relative CALL or JMP: the opcode in one window, then the displacement
// target - (site + 5), modulo 2^32, in a second one.
void PatchCall(std::uint32_t site, std::uint32_t target);
void PatchJump(std::uint32_t site, std::uint32_t target);

constexpr std::uint32_t RelativeDisplacement(std::uint32_t site, std::uint32_t target) {
    return target - (site + 5u);
}

}  // namespace zk
