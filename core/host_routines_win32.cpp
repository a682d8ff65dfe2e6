#include "core/host_routines.h"

#include "core/host_addresses.h"

namespace zk {
namespace {

using NameHashRoutine = std::uint32_t(__attribute__((cdecl)) *)(const char*);
using AttributeLookupRoutine = const void*(__attribute__((thiscall)) *)(const void*, std::uint32_t,
                                                                        std::uint32_t);

}  // namespace

std::uint32_t HostNameHash(const char* name) {
    return reinterpret_cast<NameHashRoutine>(kHostNameHash)(name);
}

const void* HostAttributeLookup(const void* attributeSet, std::uint32_t key, std::uint32_t zero) {
    return reinterpret_cast<AttributeLookupRoutine>(kHostAttributeLookup)(attributeSet, key, zero);
}

}  // namespace zk
