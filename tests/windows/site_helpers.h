// What several Windows tests put through the host's sites: a host object with an
// attribute set, and a probe of the level-of-detail hook.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace sites {

constexpr std::uint32_t kKeyLow = 0xFDE70341, kKeyHigh = 0x2FC42D62;

inline std::uint32_t Address(const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// A host object whose holder (at 0x3F0) has its attribute set at holder + 0xD8;
// Answer() makes the host's lookup find the records of the low and/or high key.
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
        harness::SetLookupTable(table);
    }
};

// EBX ECX EDX ESI EDI EBP as they went in (EAX and ESP are each site's own).
inline void ExpectSixRegistersKept(const sim::Registers& in, const sim::Registers& out) {
    EXPECT_EQ(out.Ebx, in.Ebx);
    EXPECT_EQ(out.Ecx, in.Ecx);
    EXPECT_EQ(out.Edx, in.Edx);
    EXPECT_EQ(out.Esi, in.Esi);
    EXPECT_EQ(out.Edi, in.Edi);
    EXPECT_EQ(out.Ebp, in.Ebp);
}

// Does a name passed through 0x777D11 with the host's key of this car file get
// its 'A'?
inline bool CarForced(const std::string& narrowFileName) {
    char name[] = "CARC";
    sim::LodPass pass{};
    pass.Name = Address(name);
    pass.Key = harness::CallHostNameHash(narrowFileName.c_str());
    harness::PassLodSite(pass);
    return name[3] == 'A';
}

}  // namespace sites
