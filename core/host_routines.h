// The host routines the plugin calls. In the plugin they are the host's own code at
// fixed addresses (host_routines_win32.cpp); the tools and the native tests link a
// stand-in (host_routines_stand_in.cpp).
#pragma once

#include <cstdint>

namespace zk {

// 0x436680, cdecl: the 32-bit key of a NUL-terminated name.
std::uint32_t HostNameHash(const char* name);

// 0x754CD0: the attribute set in ECX, then the key and 0 on the stack, removed by
// the callee. Returns the attribute's record, or null when the set has none.
const void* HostAttributeLookup(const void* attributeSet, std::uint32_t key, std::uint32_t zero);

}  // namespace zk
