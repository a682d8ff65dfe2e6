// A host object as the attribute site reads it, for the tests and the report tool.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "harness.h"

namespace harness {

// The keys of the two attribute records the site asks the host's lookup for.
constexpr std::uint32_t kKeyLow = 0xFDE70341, kKeyHigh = 0x2FC42D62;

inline std::uint32_t Address(const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// Its holder (at 0x3F0) has the attribute set at holder + 0xD8; Answer() makes the
// host's lookup find the records of the low and/or high key.
struct HostObject {
    std::uint8_t Bytes[0x400] = {};
    std::uint8_t Holder[0x200] = {};
    struct {
        std::uint32_t Head;
        float Value;
    } Low{0, 0}, High{0, 0};

    HostObject() {
        const std::uint32_t holder = Address(Holder);
        std::memcpy(Bytes + 0x3F0, &holder, 4);
    }
    std::uint32_t ObjectAddress() const { return Address(Bytes); }
    std::uint32_t Set() const { return Address(Holder + 0xD8); }
    void Answer(bool low, bool high) const {
        std::vector<sim::LookupEntry> table;
        if (low) table.push_back({Set(), kKeyLow, Address(&Low)});
        if (high) table.push_back({Set(), kKeyHigh, Address(&High)});
        SetLookupTable(table);
    }
};

}  // namespace harness
