#include "core/host_routines.h"
#include "core/host_stand_in.h"

namespace zk {

std::vector<StandInAttribute> StandInAttributes;

std::uint32_t StandInNameHash(const char* name) {
    std::uint32_t hash = 0xFFFFFFFFu;
    for (const unsigned char* at = reinterpret_cast<const unsigned char*>(name); *at != 0; ++at) {
        hash = hash * 33u + *at;
    }
    return hash;
}

std::uint32_t HostNameHash(const char* name) { return StandInNameHash(name); }

const void* HostAttributeLookup(const void* attributeSet, std::uint32_t key, std::uint32_t) {
    for (const StandInAttribute& attribute : StandInAttributes) {
        if (attribute.AttributeSet == attributeSet && attribute.Key == key) return attribute.Record;
    }
    return nullptr;
}

}  // namespace zk
