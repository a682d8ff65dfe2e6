// What the stand-in host routines answer, outside the host process.
#pragma once

#include <cstdint>
#include <vector>

namespace zk {

// Keys as the stand-in HostNameHash gives them: h = 0xFFFFFFFF, then h = h * 33 + byte.
std::uint32_t StandInNameHash(const char* name);

// Answers of the stand-in HostAttributeLookup, searched front to back.
struct StandInAttribute {
    const void* AttributeSet;
    std::uint32_t Key;
    const void* Record;
};
extern std::vector<StandInAttribute> StandInAttributes;

}  // namespace zk
